// Wu's colour quantizer on a 64-level grid, refined by k-means. The grid
// holds, per cell, the pixel count and the sums of the channels and of the
// squared colour lengths; turned into sums over every cell from the origin,
// it gives the same totals for any box of cells from eight lookups, so each
// candidate cut is weighed in constant time.
#include "PaletteDesign.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "PixelMemory.h"

namespace vsquant {
namespace {

constexpr int kShift = 2;                 // 256 channel values onto 64 levels
constexpr int kLevels = 256 >> kShift;
constexpr int kSide = kLevels + 1;        // levels 1..64 and a zero border at 0
constexpr size_t kCells = (size_t)kSide * kSide * kSide;
constexpr int kRefinePasses = 6;

inline size_t At(int r, int g, int b)
{
    return ((size_t)r * kSide + (size_t)g) * kSide + (size_t)b;
}

// Pixel count, channel sums and sum of squared colour lengths of a cell or
// a box of cells.
struct Moment {
    int64_t w, r, g, b, q;
};

inline Moment operator+(const Moment& a, const Moment& b)
{
    return {a.w + b.w, a.r + b.r, a.g + b.g, a.b + b.b, a.q + b.q};
}

inline Moment operator-(const Moment& a, const Moment& b)
{
    return {a.w - b.w, a.r - b.r, a.g - b.g, a.b - b.b, a.q - b.q};
}

// The part of a box's squared colour lengths its mean accounts for; a cut
// that maximises the sum over both parts minimises their total variance.
inline double Spread(const Moment& m)
{
    const double r = (double)m.r, g = (double)m.g, b = (double)m.b;
    return (r * r + g * g + b * b) / (double)m.w;
}

inline double Variance(const Moment& m)
{
    return m.w > 0 ? (double)m.q - Spread(m) : 0.0;
}

// Cells lo < level <= hi per channel (red, green, blue).
struct Box {
    int lo[3], hi[3];
};

Moment Volume(const Moment* m, const Box& x)
{
    const int r0 = x.lo[0], r1 = x.hi[0], g0 = x.lo[1], g1 = x.hi[1], b0 = x.lo[2],
              b1 = x.hi[2];
    return m[At(r1, g1, b1)] - m[At(r1, g1, b0)] - m[At(r1, g0, b1)] + m[At(r1, g0, b0)] -
           m[At(r0, g1, b1)] + m[At(r0, g1, b0)] + m[At(r0, g0, b1)] - m[At(r0, g0, b0)];
}

// A histogram cell's pixel count and mean colour, for the k-means passes.
struct Cell {
    float r, g, b;
    uint32_t count;
};

struct FreeDeleter {
    void operator()(void* p) const { free(p); }
};

void CountPixels(const PixelView& view, Moment* m)
{
    for (long y = 0; y < view.height; y++) {
        const BYTE* p = view.Row(y);
        const BYTE* a = view.AlphaRow(y);
        for (long x = 0; x < view.width; x++, p += view.pixelStride) {
            if (a && a[x * view.alphaPixelStride] < 128) continue;
            const int r = p[view.red], g = p[view.green], b = p[view.blue];
            Moment& c = m[At((r >> kShift) + 1, (g >> kShift) + 1, (b >> kShift) + 1)];
            c.w++;
            c.r += r;
            c.g += g;
            c.b += b;
            c.q += r * r + g * g + b * b;
        }
    }
}

std::vector<Cell> FilledCells(const Moment* m)
{
    std::vector<Cell> cells;
    for (size_t i = 0; i < kCells; i++) {
        const Moment& c = m[i];
        if (c.w == 0) continue;
        const float n = (float)c.w;
        cells.push_back({(float)c.r / n, (float)c.g / n, (float)c.b / n, (uint32_t)c.w});
    }
    return cells;
}

// Turns every cell into the sum of all cells at or below it on each axis.
void Accumulate(Moment* m)
{
    for (int r = 1; r < kSide; r++) {
        Moment area[kSide] = {};
        for (int g = 1; g < kSide; g++) {
            Moment line = {};
            for (int b = 1; b < kSide; b++) {
                Moment& c = m[At(r, g, b)];
                line = line + c;
                area[b] = area[b] + line;
                c = m[At(r - 1, g, b)] + area[b];
            }
        }
    }
}

// The level along `axis` at which cutting `box` leaves the two parts of
// least total variance, with its score; -1 when every cut leaves a part
// empty.
int BestCut(const Moment* m, const Box& box, int axis, const Moment& whole, double* score)
{
    int cut = -1;
    Box lower = box;
    for (int level = box.lo[axis] + 1; level < box.hi[axis]; level++) {
        lower.hi[axis] = level;
        const Moment part = Volume(m, lower);
        if (part.w == 0 || part.w == whole.w) continue;
        const double s = Spread(part) + Spread(whole - part);
        if (cut < 0 || s > *score) {
            *score = s;
            cut = level;
        }
    }
    return cut;
}

// Cuts `box` where it gains most, keeping the lower part in `box` and the
// upper in `upper`; false when no cut leaves both parts with pixels.
bool Split(const Moment* m, Box& box, Box& upper)
{
    const Moment whole = Volume(m, box);
    int bestAxis = -1, bestCut = -1;
    double best = 0;
    for (int axis = 0; axis < 3; axis++) {
        double score = 0;
        const int cut = BestCut(m, box, axis, whole, &score);
        if (cut >= 0 && (bestAxis < 0 || score > best)) {
            best = score;
            bestAxis = axis;
            bestCut = cut;
        }
    }
    if (bestAxis < 0) return false;
    upper = box;
    box.hi[bestAxis] = bestCut;
    upper.lo[bestAxis] = bestCut;
    return true;
}

// Splits the box of largest variance until there are `count` boxes or no
// box can be split.
std::vector<Box> CutBoxes(const Moment* m, int count)
{
    std::vector<Box> boxes = {Box{{0, 0, 0}, {kLevels, kLevels, kLevels}}};
    std::vector<double> variance = {Variance(Volume(m, boxes[0]))};
    size_t next = 0;
    while ((int)boxes.size() < count && variance[next] > 0) {
        Box upper;
        if (Split(m, boxes[next], upper)) {
            boxes.push_back(upper);
            variance[next] = Variance(Volume(m, boxes[next]));
            variance.push_back(Variance(Volume(m, upper)));
        } else {
            variance[next] = 0;
        }
        for (size_t i = 0; i < boxes.size(); i++)
            if (variance[i] > variance[next]) next = i;
    }
    return boxes;
}

inline BYTE Mean(int64_t sum, int64_t count)
{
    return (BYTE)((sum + count / 2) / count);
}

// Lloyd's passes over the histogram cells: each colour moves to the mean of
// the cells nearest to it, until none moves.
void Refine(const std::vector<Cell>& cells, std::vector<Colour>* palette)
{
    const size_t n = palette->size();
    std::vector<double> sums(n * 4);
    for (int pass = 0; pass < kRefinePasses; pass++) {
        NearestPalette nearest(*palette, (int)n);
        std::fill(sums.begin(), sums.end(), 0.0);
        for (const Cell& c : cells) {
            const int i = nearest.Find((int)(c.r + 0.5f), (int)(c.g + 0.5f), (int)(c.b + 0.5f));
            double* s = &sums[(size_t)i * 4];
            s[0] += c.count;
            s[1] += (double)c.r * c.count;
            s[2] += (double)c.g * c.count;
            s[3] += (double)c.b * c.count;
        }
        bool moved = false;
        for (size_t i = 0; i < n; i++) {
            const double* s = &sums[i * 4];
            if (s[0] == 0) continue;
            const Colour c = {(BYTE)lround(s[1] / s[0]), (BYTE)lround(s[2] / s[0]),
                              (BYTE)lround(s[3] / s[0])};
            Colour& old = (*palette)[i];
            moved = moved || c.r != old.r || c.g != old.g || c.b != old.b;
            old = c;
        }
        if (!moved) break;
    }
}

}  // namespace

bool DesignPalette(const PixelView& view, int maxColours, std::vector<Colour>* palette)
{
    palette->clear();
    std::unique_ptr<Moment[], FreeDeleter> m((Moment*)AllocPixelMemory(kCells * sizeof(Moment)));
    if (!m) return false;
    memset(m.get(), 0, kCells * sizeof(Moment));
    CountPixels(view, m.get());
    const std::vector<Cell> cells = FilledCells(m.get());
    if (cells.empty()) return true;
    Accumulate(m.get());
    for (const Box& box : CutBoxes(m.get(), maxColours)) {
        const Moment v = Volume(m.get(), box);
        palette->push_back({Mean(v.r, v.w), Mean(v.g, v.w), Mean(v.b, v.w)});
    }
    m.reset();
    Refine(cells, palette);
    return true;
}

}  // namespace vsquant
