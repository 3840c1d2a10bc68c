// A reference for GIF files as web browsers show them, for the tests: its own
// block parser, LZW decoder and composition, written from the GIF89a standard
// and the rules our photos follow (tests/tcl/gif.test lists them). It shares
// no code with codecs/, so that a fault there cannot hide here.
//
//   gif_reference info FILE            frames, delays (ms), loops, still, size
//   gif_reference compare FILE PNG...  frame i against the i-th PNG (RGBA)
//   gif_reference rgba FILE N          frame N as raw RGBA bytes on stdout
//
// "frames" counts the frames a photo shows: a tile still (several images, all
// delays 0, no loop block) is one frame, its final composition. A file that
// ends inside or right after an image descriptor still counts that frame: it
// paints what its data reaches (nothing at all when the data is missing).
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

// The extension's ceiling: a canvas past it may be refused, so it is never
// composed here.
const uint64_t kMaxCanvasBytes = 256000000;

struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    Bytes table;      // RGB triples: the local table, else the global one
    int transparent = -1;
    int disposal = 0;
    int delay = 0;    // hundredths of a second, as stored
    Bytes indices;    // in stored order, as far as the data reaches
};

struct Gif {
    int width = 0, height = 0;
    int loops = -1;   // -1: no loop block
    std::vector<Frame> frames;
};

// Reads bytes; past the end Byte() gives -1.
struct Reader {
    const Bytes& data;
    size_t pos = 0;
    int Byte() { return pos < data.size() ? data[pos++] : -1; }
    bool Take(size_t n, Bytes* out)
    {
        if (data.size() - pos < n) return false;
        out->assign(data.begin() + (long)pos, data.begin() + (long)(pos + n));
        pos += n;
        return true;
    }
    // The data sub-blocks up to the empty one or the end of the file.
    Bytes SubBlocks()
    {
        Bytes all;
        for (int n = Byte(); n > 0; n = Byte()) {
            size_t take = std::min((size_t)n, data.size() - pos);
            all.insert(all.end(), data.begin() + (long)pos, data.begin() + (long)(pos + take));
            pos += take;
        }
        return all;
    }
};

// GIF's variable-width LZW; output stops at `limit` pixels, at the end code,
// at a code past the next free slot and where the data ends.
Bytes Lzw(int minSize, const Bytes& data, size_t limit)
{
    Bytes out;
    if (minSize < 1 || minSize > 11) return out;
    const int clear = 1 << minSize;
    std::vector<Bytes> table(4096);
    for (int i = 0; i < clear; i++) table[i] = Bytes(1, (uint8_t)i);
    int width = minSize + 1, next = clear + 2, prev = -1;
    size_t bit = 0;
    while (out.size() < limit && bit + width <= data.size() * 8) {
        int code = 0;
        for (int i = 0; i < width; i++, bit++)
            code |= (data[bit / 8] >> (bit % 8) & 1) << i;
        if (code == clear) {
            width = minSize + 1, next = clear + 2, prev = -1;
            continue;
        }
        if (code == clear + 1 || code > next || (prev < 0 && code >= clear)) break;
        Bytes entry = code < next ? table[code] : table[prev];
        if (code == next) entry.push_back(table[prev][0]);
        if (prev >= 0 && next < 4096) {
            table[next] = table[prev];
            table[next++].push_back(entry[0]);
        }
        out.insert(out.end(), entry.begin(), entry.end());
        prev = code;
        if (next == 1 << width && width < 12) width++;
    }
    if (out.size() > limit) out.resize(limit);
    return out;
}

// Reads the file's blocks; false when it is no GIF.
bool Parse(const Bytes& data, Gif* gif)
{
    Reader in{data};
    Bytes head, global;
    if (!in.Take(13, &head) || (memcmp(head.data(), "GIF87a", 6) && memcmp(head.data(), "GIF89a", 6)))
        return false;
    gif->width = head[6] | head[7] << 8;
    gif->height = head[8] | head[9] << 8;
    if ((head[10] & 0x80) && !in.Take(3u << ((head[10] & 7) + 1), &global)) return false;
    Frame next;  // what the control block says for the coming frame
    for (;;) {
        int block = in.Byte();
        if (block == 0x21) {
            int label = in.Byte();
            Bytes body = in.SubBlocks();
            if (label == 0xF9 && body.size() >= 4) {
                next.disposal = body[0] >> 2 & 7;
                next.delay = body[1] | body[2] << 8;
                next.transparent = body[0] & 1 ? body[3] : -1;
            } else if (label == 0xFF && body.size() >= 14 && body[11] == 1 &&
                       (!memcmp(body.data(), "NETSCAPE2.0", 11) || !memcmp(body.data(), "ANIMEXTS1.0", 11))) {
                gif->loops = body[12] | body[13] << 8;
            }
            continue;
        }
        if (block != 0x2C) break;  // the trailer, the end of the data, or (as browsers do) any other byte
        Bytes d;
        if (!in.Take(9, &d)) break;
        Frame f = next;
        next = Frame();
        f.left = d[0] | d[1] << 8, f.top = d[2] | d[3] << 8;
        f.width = d[4] | d[5] << 8, f.height = d[6] | d[7] << 8;
        f.interlaced = d[8] & 0x40;
        f.table = global;
        if ((d[8] & 0x80) && !in.Take(3u << ((d[8] & 7) + 1), &f.table)) f.table.clear();
        int minSize = in.Byte();
        f.indices = Lzw(minSize, in.SubBlocks(), (size_t)f.width * f.height);
        gif->frames.push_back(f);
    }
    // A first frame larger than the screen makes the screen, at 0,0.
    if (!gif->frames.empty()) {
        Frame& first = gif->frames[0];
        if (first.width > gif->width || first.height > gif->height) {
            gif->width = first.width, gif->height = first.height;
            first.left = first.top = 0;
        }
    }
    return true;
}

bool IsTileStill(const Gif& gif)
{
    if (gif.frames.size() < 2 || gif.loops >= 0) return false;
    for (const Frame& f : gif.frames)
        if (f.delay != 0) return false;
    return true;
}

// The picture row that stored row `r` of a frame `h` rows high fills.
int PictureRow(int r, int h, bool interlaced)
{
    if (!interlaced) return r;
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; pass++) {
        int rows = h > start[pass] ? (h - start[pass] + step[pass] - 1) / step[pass] : 0;
        if (r < rows) return start[pass] + r * step[pass];
        r -= rows;
    }
    return h;
}

void Paint(const Frame& f, int canvasW, int canvasH, Bytes& canvas)
{
    for (size_t i = 0; i < f.indices.size(); i++) {
        int x = f.left + (int)(i % f.width);
        int y = f.top + PictureRow((int)(i / f.width), f.height, f.interlaced);
        int index = f.indices[i];
        if (index == f.transparent || x >= canvasW || y >= canvasH) continue;
        uint8_t* px = &canvas[((size_t)y * canvasW + x) * 4];
        bool known = (size_t)index * 3 + 2 < f.table.size();
        for (int c = 0; c < 3; c++) px[c] = known ? f.table[index * 3 + c] : 0;
        px[3] = 255;
    }
}

void Clear(const Frame& f, int canvasW, int canvasH, Bytes& canvas)
{
    for (int y = f.top; y < f.top + f.height && y < canvasH; y++)
        for (int x = f.left; x < f.left + f.width && x < canvasW; x++)
            memset(&canvas[((size_t)y * canvasW + x) * 4], 0, 4);
}

// Calls `show` with each frame a photo shows, in order, as RGBA rows.
template <typename Show>
void Compose(const Gif& gif, Show show)
{
    bool still = IsTileStill(gif);
    Bytes canvas((size_t)gif.width * gif.height * 4, 0);
    for (size_t i = 0; i < gif.frames.size(); i++) {
        const Frame& f = gif.frames[i];
        Bytes before = f.disposal == 3 || f.disposal == 4 ? canvas : Bytes();
        Paint(f, gif.width, gif.height, canvas);
        if (!still || i + 1 == gif.frames.size()) show(canvas);
        if (f.disposal == 2) Clear(f, gif.width, gif.height, canvas);
        if (f.disposal == 3 || f.disposal == 4) canvas.swap(before);
    }
}

bool ReadPng(const char* path, int* w, int* h, Bytes* rgba)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) return false;
    image.format = PNG_FORMAT_RGBA;
    rgba->resize(PNG_IMAGE_SIZE(image));
    *w = (int)image.width, *h = (int)image.height;
    return png_image_finish_read(&image, nullptr, rgba->data(), 0, nullptr);
}

// Compares one frame; pixels transparent on both sides match whatever their colour.
bool SameFrame(size_t n, const Gif& gif, const Bytes& want, const char* png)
{
    int w, h;
    Bytes got;
    if (!ReadPng(png, &w, &h, &got)) {
        printf("frame %zu: cannot read %s\n", n, png);
        return false;
    }
    if (w != gif.width || h != gif.height) {
        printf("frame %zu: %dx%d, reference %dx%d\n", n, w, h, gif.width, gif.height);
        return false;
    }
    for (size_t i = 0; i < want.size(); i += 4) {
        const uint8_t *a = &got[i], *b = &want[i];
        if (memcmp(a, b, 4) && (a[3] || b[3])) {
            printf("frame %zu: pixel %zu,%zu is %d %d %d %d, reference %d %d %d %d\n", n,
                   i / 4 % w, i / 4 / w, a[0], a[1], a[2], a[3], b[0], b[1], b[2], b[3]);
            return false;
        }
    }
    return true;
}

int Usage()
{
    fprintf(stderr, "usage: gif_reference info FILE | compare FILE PNG... | rgba FILE N\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return Usage();
    std::string cmd = argv[1];
    std::ifstream file(argv[2], std::ios::binary);
    Bytes data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Gif gif;
    if (!file.is_open() || !Parse(data, &gif)) gif = Gif();
    // An empty canvas shows nothing: no frame.
    uint64_t canvasBytes = (uint64_t)gif.width * gif.height * 4;
    if (canvasBytes == 0) gif.frames.clear();
    bool still = IsTileStill(gif);
    if (cmd == "info" && argc == 3) {
        printf("frames %zu\ndelays", still ? 1 : gif.frames.size());
        for (size_t i = 0; i < gif.frames.size() && !still; i++) {
            int delay = gif.frames[i].delay;
            printf(" %d", delay <= 1 ? 100 : delay * 10);
        }
        printf("\nloops %d\nstill %d\nsize %d %d\nover_ceiling %d\n", gif.loops, still,
               gif.width, gif.height, canvasBytes > kMaxCanvasBytes);
        return 0;
    }
    if (gif.frames.empty() || canvasBytes > kMaxCanvasBytes) {
        fprintf(stderr, "%s: no canvas to compose (%dx%d)\n", argv[2], gif.width, gif.height);
        return 1;
    }
    size_t shown = 0;
    if (cmd == "rgba" && argc == 4) {
        size_t wanted = strtoul(argv[3], nullptr, 10);
        Compose(gif, [&](const Bytes& frame) {
            if (shown++ == wanted) fwrite(frame.data(), 1, frame.size(), stdout);
        });
        return wanted < shown ? 0 : 1;
    }
    if (cmd != "compare") return Usage();
    bool same = true;
    size_t pngs = (size_t)argc - 3;
    Compose(gif, [&](const Bytes& frame) {
        if (shown < pngs) same = SameFrame(shown, gif, frame, argv[shown + 3]) && same;
        shown++;
    });
    if (pngs > shown) printf("%zu PNGs for %zu frames\n", pngs, shown);
    return same && pngs <= shown ? 0 : 1;
}
