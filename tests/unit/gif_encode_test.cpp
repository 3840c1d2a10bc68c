// GIF writing: block layout, the three compressors (checked by decoding the
// code stream independently), sub-block limits, tiles and animations.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "GifFile.h"
#include "VistelGIF.h"
#include "Formats.h"
#include "gif_test_util.h"

namespace {

typedef std::vector<BYTE> Bytes;

// Exposes the compressors' pure helpers.
struct GifProbe : VistelGIF {
    using VistelGIF::rle_compute_triangle_count;
    using VistelGIF::rle_isqrt;
};

Bytes EncodeToBytes(Vistel& img)
{
    BYTE* buf = nullptr;
    long size = 0;
    EXPECT_TRUE(formats::Encode(img, buf, size, VISTEL_FORMAT_GIF)) << img.GetLastError();
    Bytes out(buf, buf + size);
    Vistel::FreeMemory(buf);
    return out;
}

// An 8-bit image with a grey palette and pixels from `pixel(x, y)`, y
// counted from the top.
template <class F>
Vistel MakeIndexed(long w, long h, WORD bpp, F pixel)
{
    Vistel img(w, h, bpp, VISTEL_FORMAT_GIF);
    for (DWORD i = 0; i < img.GetNumColors(); i++)
        img.SetPaletteColor((BYTE)i, (BYTE)i, (BYTE)(255 - i), (BYTE)(i * 7));
    for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++) img.SetPixelIndex(x, h - 1 - y, (BYTE)pixel(x, y));
    return img;
}

// Independent reader of one image's data: returns the indexes in stream
// order and the largest sub-block length seen. `pos` points at the
// minimum code size byte.
struct LzwResult {
    Bytes data;  // the sub-blocks' bytes, joined
    std::vector<int> pixels;
    size_t maxBlock = 0;
    int clears = 0;
    bool sawEnd = false;
};

LzwResult ReadImageData(const Bytes& gif, size_t& pos)
{
    LzwResult r;
    const int minSize = gif[pos++];
    Bytes& data = r.data;
    while (pos < gif.size() && gif[pos] != 0) {
        size_t n = gif[pos++];
        r.maxBlock = std::max(r.maxBlock, n);
        data.insert(data.end(), gif.begin() + pos, gif.begin() + pos + n);
        pos += n;
    }
    pos++;
    const int clear = 1 << minSize, eoi = clear + 1;
    int width = minSize + 1, next = clear + 2, prev = -1;
    std::vector<std::vector<int>> table(4096);
    for (int i = 0; i < clear; i++) table[i] = {i};
    size_t bit = 0;
    while (bit + width <= data.size() * 8) {
        int code = 0;
        for (int i = 0; i < width; i++, bit++)
            code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
        if (code == clear) {
            r.clears++;
            width = minSize + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (code == eoi) {
            r.sawEnd = true;
            break;
        }
        std::vector<int> entry;
        if (code < next && !table[code].empty()) entry = table[code];
        else {
            EXPECT_EQ(code, next) << "code beyond the table";
            if (prev < 0) return r;
            entry = table[prev];
            entry.push_back(table[prev][0]);
        }
        if (prev >= 0 && next < 4096) {
            table[next] = table[prev];
            table[next].push_back(entry[0]);
            next++;
            if (next == (1 << width) && width < 12) width++;
        }
        r.pixels.insert(r.pixels.end(), entry.begin(), entry.end());
        prev = code;
    }
    return r;
}

// Position of the first image's minimum code size byte.
size_t FirstImageData(const Bytes& gif, bool localTable = false, int localEntries = 0)
{
    size_t pos = 13;
    if (gif[10] & 0x80) pos += 3 * (2 << (gif[10] & 7));
    while (gif[pos] == 0x21) {
        pos += 2;
        while (gif[pos] != 0) pos += gif[pos] + 1;
        pos++;
    }
    EXPECT_EQ(gif[pos], 0x2C);
    pos += 10;
    if (localTable) pos += 3 * localEntries;
    return pos;
}

std::vector<int> Indexes(Vistel& img)
{
    std::vector<int> out;
    for (long y = (long)img.GetHeight() - 1; y >= 0; y--)
        for (long x = 0; x < (long)img.GetWidth(); x++) out.push_back(img.GetPixelIndex(x, y));
    return out;
}

}  // namespace

TEST(GifEncodeBlocks, HeaderFlagsTablesAndControlBlock)
{
    Vistel mono = MakeIndexed(3, 2, 1, [](long x, long) { return x & 1; });
    Bytes g = EncodeToBytes(mono);
    ASSERT_GE(g.size(), 20u);
    EXPECT_EQ(0, memcmp(g.data(), "GIF89a", 6));
    EXPECT_EQ(g[10], 0x80);
    // Screen, 2-entry table, control block, then the image with code size 2.
    EXPECT_EQ(g[13 + 6], 0x21);
    size_t pos = FirstImageData(g);
    EXPECT_EQ(g[pos], 2);
    EXPECT_EQ(g.back(), 0x3B);

    Vistel img = MakeIndexed(4, 4, 8, [](long x, long y) { return x + y; });
    img.SetTransIndex(5);
    img.SetDisposalMethod(2);
    img.SetFrameDelay(10);
    g = EncodeToBytes(img);
    EXPECT_EQ(g[10], 0xF7);
    const BYTE control[8] = {0x21, 0xF9, 0x04, 0x09, 0x0A, 0x00, 0x05, 0x00};
    EXPECT_EQ(0, memcmp(g.data() + 13 + 768, control, 8));
}

TEST(GifEncodeCompressors, EveryCompressorDecodesToThePixels)
{
    struct Case {
        const char* name;
        long w, h;
        int (*pixel)(long, long);
    };
    const Case cases[] = {
        {"one colour", 64, 64, [](long, long) { return 7; }},
        {"all different", 256, 3, [](long x, long y) { return (int)((x + y * 13) & 255); }},
        {"noise", 97, 61, [](long x, long y) { return (int)((x * 7919 + y * 104729) % 251); }},
        {"stripes", 200, 50, [](long x, long) { return (int)(x / 3 % 2); }},
    };
    for (const Case& c : cases) {
        for (DWORD option : {0u, 1u, 2u}) {
            Vistel img = MakeIndexed(c.w, c.h, 8, c.pixel);
            img.SetCodecOption(option, VISTEL_FORMAT_GIF);
            Bytes g = EncodeToBytes(img);
            size_t pos = FirstImageData(g);
            LzwResult r = ReadImageData(g, pos);
            EXPECT_TRUE(r.sawEnd) << c.name << " option " << option;
            EXPECT_EQ(r.pixels, Indexes(img)) << c.name << " option " << option;
            EXPECT_LE(r.maxBlock, option == 2 ? 255u : 254u);
            // And through our own decoder.
            Vistel back;
            ASSERT_TRUE(formats::Decode(back, g.data(), (DWORD)g.size(), VISTEL_FORMAT_GIF))
                << back.GetLastError();
            EXPECT_EQ(Indexes(back), Indexes(img)) << c.name << " option " << option;
        }
    }
}

// Each compressor restarts its table before the decoder's 4096 entries run
// out: plain codes (one per pixel) past 4096 pixels, LZW on noise, the
// growing runs of one colour; with code size 2 the run-length coder's
// out_clear_init is 9, so alternating pixels clear after every nine codes.
TEST(GifEncodeCompressors, TablesAreClearedBeforeTheyOverflow)
{
    struct Case {
        const char* what;
        DWORD option;
        long w, h;
        WORD bpp;
        int (*pixel)(long, long);
        int clears;  // negative: at least -clears
    } cases[] = {
        {"plain codes", 1, 100, 50, 8, [](long x, long y) { return (int)((x ^ y) & 255); }, -2},
        {"lzw on noise", 0, 300, 300, 8,
         [](long x, long y) { return (int)(((x * 2654435761u) ^ (y * 40503u)) >> 7 & 255); }, -2},
        {"runs of one colour", 2, 1000, 1000, 8, [](long, long) { return 3; }, -2},
        {"two colours, no runs", 2, 90, 1, 1, [](long x, long) { return (int)(x & 1); }, 1 + 90 / 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Vistel img = MakeIndexed(c.w, c.h, c.bpp, c.pixel);
        img.SetCodecOption(c.option, VISTEL_FORMAT_GIF);
        Bytes g = EncodeToBytes(img);
        size_t pos = FirstImageData(g);
        LzwResult r = ReadImageData(g, pos);
        EXPECT_TRUE(r.sawEnd);
        EXPECT_EQ(r.pixels, Indexes(img));
        EXPECT_GE(r.clears, std::abs(c.clears));
        if (c.clears > 0) {
            EXPECT_EQ(r.clears, c.clears);
        }
        if (c.w == 1000) {
            EXPECT_LT(g.size(), 20000u);  // runs are really coded as runs
        }
    }
}

// Where index 0 never follows index 0 (the one string the hash table of
// compress(1) can lose), the LZW codes are those of a plain dictionary
// coder, at every depth and across table clears.
TEST(GifEncodeCompressors, LzwCodesAreThoseOfAPlainDictionaryCoder)
{
    for (WORD bpp : {1, 4, 8}) {
        SCOPED_TRACE(bpp);
        int previous = 0;
        Vistel img = MakeIndexed(bpp == 8 ? 300 : 97, 61, bpp, [&](long x, long y) {
            const int noise = (int)(((x * 2654435761u) ^ (y * 40503u)) >> 7 & ((1 << bpp) - 1));
            previous = previous == 0 && noise == 0 ? 1 : noise;
            return previous;
        });
        Bytes g = EncodeToBytes(img);
        size_t pos = FirstImageData(g);
        std::vector<uint8_t> indexes;
        for (int i : Indexes(img)) indexes.push_back((uint8_t)i);
        EXPECT_EQ(ReadImageData(g, pos).data, giftest::LzwCompress(indexes, bpp == 1 ? 2 : bpp));
    }
}

TEST(GifRunLength, IntegerSquareRootAndTriangleCounts)
{
    const unsigned in[] = {0, 1, 2, 15, 16, 17, 1000000};
    const unsigned out[] = {0, 1, 1, 3, 4, 4, 1000};
    for (int i = 0; i < 7; i++) EXPECT_EQ(GifProbe::rle_isqrt(in[i]), out[i]) << in[i];
    EXPECT_EQ(GifProbe::rle_compute_triangle_count(10, 4), 4u);
    EXPECT_EQ(GifProbe::rle_compute_triangle_count(11, 4), 5u);
    EXPECT_EQ(GifProbe::rle_compute_triangle_count(0, 4), 0u);
    EXPECT_EQ(GifProbe::rle_compute_triangle_count(20, 4), 8u);
}

TEST(GifEncodeTiles, TrueColourIsWrittenAsTilesWithLocalTables)
{
    Vistel img(40, 20, 24);
    for (long y = 0; y < 20; y++)
        for (long x = 0; x < 40; x++)
            img.SetPixelColor(x, y, RGBQUAD{(BYTE)(x * 6), (BYTE)(y * 12), (BYTE)(x * y), 0});
    Bytes g = EncodeToBytes(img);
    EXPECT_EQ(g[10], 0x11);
    // Walk the blocks and collect tile rectangles.
    std::vector<std::array<int, 4>> tiles;
    size_t pos = 13;
    while (pos < g.size() && g[pos] != 0x3B) {
        if (g[pos] == 0x21) {
            pos += 2;
            while (g[pos] != 0) pos += g[pos] + 1;
            pos++;
            continue;
        }
        ASSERT_EQ(g[pos], 0x2C);
        auto word = [&](size_t at) { return g[at] | g[at + 1] << 8; };
        tiles.push_back({word(pos + 1), word(pos + 3), word(pos + 5), word(pos + 7)});
        EXPECT_EQ(g[pos + 9], 0x87);
        pos += 10 + 768;
        LzwResult r = ReadImageData(g, pos);
        EXPECT_TRUE(r.sawEnd);
    }
    const std::vector<std::array<int, 4>> expected = {{0, 0, 17, 15},  {17, 0, 17, 15},
                                                      {34, 0, 6, 15},  {0, 15, 17, 5},
                                                      {17, 15, 17, 5}, {34, 15, 6, 5}};
    EXPECT_EQ(tiles, expected);

    // Our decoder reads it back as the same true-colour picture.
    Vistel back;
    ASSERT_TRUE(formats::Decode(back, g.data(), (DWORD)g.size(), VISTEL_FORMAT_GIF)) << back.GetLastError();
    ASSERT_EQ(back.GetWidth(), 40u);
    for (long y = 0; y < 20; y++)
        for (long x = 0; x < 40; x++) {
            RGBQUAD a = img.GetPixelColor(x, y, false), b = back.GetPixelColor(x, y, false);
            ASSERT_EQ(memcmp(&a, &b, 3), 0) << x << "," << y;
        }
}

TEST(GifEncodeFrames, ListFormWritesLoopsDelaysAndFrames)
{
    Vistel a = MakeIndexed(8, 8, 8, [](long x, long) { return (int)x; });
    Vistel b = MakeIndexed(8, 8, 8, [](long, long y) { return (int)y; });
    Vistel c = MakeIndexed(8, 8, 8, [](long x, long y) { return (int)(x * y); });
    a.SetFrameDelay(10);
    b.SetFrameDelay(20);
    c.SetFrameDelay(0);
    Vistel* frames[3] = {&a, &b, &c};

    VistelGIF writer;
    writer.Ghost(&a);
    VsMemFile out;
    out.Open();
    ASSERT_TRUE(writer.Encode(&out, frames, 3, false));
    Bytes g(out.GetBuffer(false), out.GetBuffer(false) + out.Size());
    const char netscape[] = "NETSCAPE2.0";
    auto it = std::search(g.begin(), g.end(), netscape, netscape + 11);
    ASSERT_NE(it, g.end());
    EXPECT_EQ(*(it + 13), 0);  // loop count 0: endless
    EXPECT_EQ(*(it + 14), 0);

    VsMemFile in(g.data(), (DWORD)g.size());
    GifFile back;
    ASSERT_TRUE(back.Read(&in, GifFile::kPixels, vssize::MaxPixels(), nullptr));
    ASSERT_EQ(back.frames.size(), 3u);
    EXPECT_EQ(back.frames[1].delay, 20);
    EXPECT_EQ(std::vector<int>(back.frames[2].indices.begin(), back.frames[2].indices.end()),
              Indexes(c));

    // A single play writes no loop extension; errors are named.
    VistelGIF once;
    once.Ghost(&a);
    once.SetLoops(1);
    VsMemFile out2;
    out2.Open();
    ASSERT_TRUE(once.Encode(&out2, frames, 3, false));
    Bytes g2(out2.GetBuffer(false), out2.GetBuffer(false) + out2.Size());
    EXPECT_EQ(std::search(g2.begin(), g2.end(), netscape, netscape + 11), g2.end());
    Vistel* bad[2] = {&a, nullptr};
    EXPECT_FALSE(once.Encode(&out2, bad, 2, false));
    EXPECT_STREQ(once.GetLastError(), "Bad image pointer");
    EXPECT_FALSE(once.Encode(&out2, bad, 0, false));
    EXPECT_STREQ(once.GetLastError(), "multipage GIF, no images!");
    EXPECT_FALSE(once.Encode(nullptr, frames, 3, false));
    EXPECT_STREQ(once.GetLastError(), "invalid file pointer");
}
