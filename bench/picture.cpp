#include "picture.h"

#include <algorithm>
#include <cmath>

namespace bench {
namespace {

// xorshift32: fast, deterministic, good enough for visual noise.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
    uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

struct Shape {
    bool circle;
    int cx, cy, r;  // centre and radius (or half side)
    uint8_t rgb[3];
    uint8_t alpha;
};

std::vector<Shape> MakeShapes(int width, int height, uint32_t seed, int count, int shift)
{
    Noise rnd(seed * 7919u + 17u);
    std::vector<Shape> shapes;
    int smaller = std::min(width, height);
    for (int i = 0; i < count; ++i) {
        Shape s;
        s.circle = (rnd.Next() & 1) != 0;
        s.cx = (int)(rnd.Next() % (uint32_t)width);
        s.cy = (int)(rnd.Next() % (uint32_t)height);
        s.r = smaller / 40 + (int)(rnd.Next() % (uint32_t)(smaller / 6 + 1));
        for (uint8_t& c : s.rgb) c = (uint8_t)rnd.Next();
        s.alpha = (uint8_t)(96 + rnd.Next() % 160);
        // Animation: each shape travels along its own direction.
        s.cx = (s.cx + shift * (int)(1 + i % 5)) % width;
        s.cy = (s.cy + shift * (int)(i % 3)) % height;
        shapes.push_back(s);
    }
    return shapes;
}

bool Inside(const Shape& s, int x, int y)
{
    int dx = x - s.cx, dy = y - s.cy;
    if (s.circle) return dx * dx + dy * dy <= s.r * s.r;
    return std::abs(dx) <= s.r && std::abs(dy) <= s.r * 2 / 3;
}

// Paints the picture row by row; shapes are tested only on the rows they
// cover so that a 4000 x 3000 picture takes well under a second.
void Paint(Picture& pic, uint32_t seed, uint32_t noiseSeed, int shift)
{
    const int w = pic.width, h = pic.height, ch = pic.channels;
    pic.pixels.assign((size_t)w * h * ch, 0);
    std::vector<Shape> shapes = MakeShapes(w, h, seed, 24, shift);
    Noise rnd(noiseSeed);
    const float fx = 1.0f / (float)std::max(1, w - 1), fy = 1.0f / (float)std::max(1, h - 1);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = pic.pixels.data() + (size_t)y * w * ch;
        const float v = (float)y * fy;
        for (int x = 0; x < w; ++x) {
            const float u = (float)x * fx;
            const uint32_t n = rnd.Next();
            // Two crossing gradients and a soft ripple, plus +-8 of noise.
            int r = (int)(255.0f * u) + (int)((n & 15) - 8);
            int g = (int)(255.0f * v * (1.0f - 0.5f * u)) + (int)(((n >> 4) & 15) - 8);
            int b = (int)(128.0f + 100.0f * std::sin(6.0f * u + 4.0f * v)) + (int)(((n >> 8) & 15) - 8);
            uint8_t* p = row + (size_t)x * ch;
            p[0] = (uint8_t)std::clamp(r, 0, 255);
            p[1] = (uint8_t)std::clamp(g, 0, 255);
            p[2] = (uint8_t)std::clamp(b, 0, 255);
            if (ch == 4) p[3] = (uint8_t)std::clamp(160 + (int)(95.0f * u) - (int)((n >> 12) & 7), 0, 255);
        }
        for (const Shape& s : shapes) {
            if (y < s.cy - s.r || y > s.cy + s.r) continue;
            const int x0 = std::max(0, s.cx - s.r), x1 = std::min(w - 1, s.cx + s.r);
            for (int x = x0; x <= x1; ++x) {
                if (!Inside(s, x, y)) continue;
                uint8_t* p = row + (size_t)x * ch;
                for (int c = 0; c < 3; ++c) p[c] = (uint8_t)((p[c] + 3 * s.rgb[c]) / 4);
                if (ch == 4) p[3] = s.alpha;
            }
        }
    }
}

}  // namespace

Picture MakePicture(int width, int height, int channels, uint32_t seed)
{
    Picture pic;
    pic.width = width;
    pic.height = height;
    pic.channels = channels;
    Paint(pic, seed, seed, 0);
    return pic;
}

Picture MakeFrame(int width, int height, int index)
{
    Picture pic;
    pic.width = width;
    pic.height = height;
    pic.channels = 3;
    Paint(pic, 4242u, 4242u + (uint32_t)index, index * 3);
    const uint8_t mark[3] = {(uint8_t)(index * 37), (uint8_t)(255 - index * 53), (uint8_t)(index * 91 + 40)};
    for (int y = 0; y < std::min(8, height); ++y)
        for (int x = 0; x < std::min(8, width); ++x)
            std::copy(mark, mark + 3, pic.pixels.data() + ((size_t)y * width + x) * 3);
    return pic;
}

std::vector<uint8_t> ToBGR(const Picture& pic)
{
    std::vector<uint8_t> out(pic.pixels);
    for (size_t i = 0; i + 2 < out.size(); i += (size_t)pic.channels) std::swap(out[i], out[i + 2]);
    return out;
}

}  // namespace bench
