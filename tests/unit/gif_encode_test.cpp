// The GIF writer's image data, read by an independent LZW reader written
// here from the GIF standard: the LZW coder (the one the extension uses)
// gives the very codes of a plain dictionary coder, and each of the three
// compressors gives back the pixels, table clears included. The
// multi-frame and true-colour writers, which the extension does not call,
// keep one check each against Pillow. (tests/tcl/convert.test has Pillow
// read whole files of every kind.)
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Formats.h"
#include "VistelGIF.h"
#include "corpus.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Packs codes least significant bit first, each with its own width.
struct BitPacker {
    Bytes out;
    uint32_t acc = 0;
    int bits = 0;
    void Put(int code, int width)
    {
        acc |= (uint32_t)code << bits;
        for (bits += width; bits >= 8; bits -= 8, acc >>= 8) out.push_back((uint8_t)acc);
    }
    Bytes Finish()
    {
        if (bits > 0) out.push_back((uint8_t)acc);
        return out;
    }
};

// Plain LZW of palette indexes: a dictionary of strings, codes widened
// when the next free code passes the width, the table cleared when full.
Bytes PlainLzw(const std::vector<int>& pixels, int minSize)
{
    const int clear = 1 << minSize;
    BitPacker bits;
    int width = minSize + 1, next = clear + 2;
    std::map<std::pair<int, int>, int> table;
    auto output = [&](int code) {
        bits.Put(code, width);
        if (next > (1 << width) - 1 && width < 12) width++;
    };
    output(clear);
    int prefix = pixels[0];
    for (size_t i = 1; i < pixels.size(); i++) {
        const auto found = table.find({prefix, pixels[i]});
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        output(prefix);
        if (next < 4096) {
            table[{prefix, pixels[i]}] = next++;
        } else {
            output(clear);
            table.clear();
            next = clear + 2;
            width = minSize + 1;
        }
        prefix = pixels[i];
    }
    output(prefix);
    output(clear + 1);
    return bits.Finish();
}

struct ImageData {
    Bytes data;  // the sub-blocks' bytes, joined
    std::vector<int> pixels;
    bool sawEnd = false;
};

// Reads the first image's data of a GIF: its sub-blocks, and the indexes
// they decode to by the GIF standard's rules.
ImageData ReadImageData(const Bytes& gif)
{
    size_t pos = 13 + ((gif[10] & 0x80) ? 3 * (2 << (gif[10] & 7)) : 0);
    while (gif[pos] == 0x21) {  // an extension: introducer, label, sub-blocks
        for (pos += 2; gif[pos] != 0; pos += gif[pos] + 1) {}
        pos++;
    }
    EXPECT_EQ(gif[pos], 0x2C);
    pos += 10 + ((gif[pos + 9] & 0x80) ? 3 * (2 << (gif[pos + 9] & 7)) : 0);
    ImageData r;
    const int minSize = gif[pos++];
    for (; pos < gif.size() && gif[pos] != 0; pos += gif[pos] + 1)
        r.data.insert(r.data.end(), gif.begin() + pos + 1, gif.begin() + pos + 1 + gif[pos]);
    const int clear = 1 << minSize;
    int width = minSize + 1, next = clear + 2, prev = -1;
    std::vector<std::vector<int>> table(4096);
    for (int i = 0; i < clear; i++) table[i] = {i};
    for (size_t bit = 0; bit + width <= r.data.size() * 8;) {
        int code = 0;
        for (int i = 0; i < width; i++, bit++) code |= ((r.data[bit / 8] >> (bit % 8)) & 1) << i;
        if (code == clear) {
            width = minSize + 1, next = clear + 2, prev = -1;
            continue;
        }
        if (code == clear + 1) {
            r.sawEnd = true;
            break;
        }
        std::vector<int> entry;
        if (code < next && !table[code].empty()) {
            entry = table[code];
        } else {
            EXPECT_EQ(code, next) << "a code beyond the table";
            if (prev < 0 || code != next) return r;
            entry = table[prev];
            entry.push_back(table[prev][0]);
        }
        if (prev >= 0 && next < 4096) {
            table[next] = table[prev];
            table[next++].push_back(entry[0]);
            if (next == (1 << width) && width < 12) width++;
        }
        r.pixels.insert(r.pixels.end(), entry.begin(), entry.end());
        prev = code;
    }
    return r;
}

template <class F>
Vistel Indexed(long w, long h, WORD bpp, F pixel)
{
    Vistel img(w, h, bpp, VISTEL_FORMAT_GIF);
    for (DWORD i = 0; i < img.GetNumColors(); i++)
        img.SetPaletteColor((BYTE)i, (BYTE)i, (BYTE)(255 - i), (BYTE)(i * 7));
    for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++) img.SetPixelIndex(x, h - 1 - y, (BYTE)pixel(x, y));
    return img;
}

std::vector<int> Indexes(Vistel& img)
{
    std::vector<int> out;
    for (long y = (long)img.GetHeight() - 1; y >= 0; y--)
        for (long x = 0; x < (long)img.GetWidth(); x++) out.push_back(img.GetPixelIndex(x, y));
    return out;
}

Bytes Encode(Vistel& img)
{
    BYTE* buf = nullptr;
    long size = 0;
    EXPECT_TRUE(formats::Encode(img, buf, size, VISTEL_FORMAT_GIF)) << img.GetLastError();
    Bytes out(buf, buf + size);
    free(buf);
    return out;
}

int Noise(long x, long y)
{
    return (int)(((x * 2654435761u) ^ (y * 40503u)) >> 7 & 255);
}

// Where index 0 never follows index 0 (the one string the hash table of
// compress(1) can lose), at every depth and across table clears.
TEST(GifLzw, CodesAreThoseOfAPlainDictionaryCoder)
{
    for (WORD bpp : {1, 4, 8}) {
        SCOPED_TRACE(bpp);
        int previous = 0;
        Vistel img = Indexed(bpp == 8 ? 300 : 97, 61, bpp, [&](long x, long y) {
            const int noise = Noise(x, y) & ((1 << bpp) - 1);
            return previous = previous == 0 && noise == 0 ? 1 : noise;
        });
        EXPECT_EQ(ReadImageData(Encode(img)).data, PlainLzw(Indexes(img), bpp == 1 ? 2 : bpp));
    }
}

// LZW, plain codes (one per pixel) and the run-length compressor; the large
// pictures need table clears in each.
TEST(GifLzw, EveryCompressorGivesBackThePixels)
{
    struct Case {
        const char* what;
        long w, h;
        WORD bpp;
        int (*pixel)(long, long);
    } cases[] = {
        {"one colour", 1000, 1000, 8, [](long, long) { return 7; }},
        {"all different", 256, 3, 8, [](long x, long y) { return (int)((x + y * 13) & 255); }},
        {"noise", 300, 300, 8, Noise},
        {"stripes", 200, 50, 8, [](long x, long) { return (int)(x / 3 % 2); }},
        {"alternating, 1 bit", 90, 1, 1, [](long x, long) { return (int)(x & 1); }},
    };
    for (const Case& c : cases)
        for (DWORD option : {0u, 1u, 2u}) {
            SCOPED_TRACE(testing::Message() << c.what << ", compressor " << option);
            Vistel img = Indexed(c.w, c.h, c.bpp, c.pixel);
            img.SetCodecOption(option, VISTEL_FORMAT_GIF);
            const ImageData r = ReadImageData(Encode(img));
            EXPECT_TRUE(r.sawEnd);
            EXPECT_TRUE(r.pixels == Indexes(img));
        }
}

std::string RgbLine(Vistel& img, int delay)
{
    Bytes rgb;
    for (long y = (long)img.GetHeight() - 1; y >= 0; y--)
        for (long x = 0; x < (long)img.GetWidth(); x++) {
            const RGBQUAD c = img.GetPixelColor(x, y, false);
            rgb.insert(rgb.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
        }
    return std::to_string(img.GetWidth()) + " " + std::to_string(img.GetHeight()) + " " +
           corpus::Sha256Hex(rgb.data(), rgb.size()) + " " + std::to_string(delay);
}

// Frames with their delays, and a loop count of n plays (n - 1 repeats).
TEST(GifWriters, FramesAndTilesAsPillowReadsThem)
{
    Vistel a = Indexed(40, 30, 8, Noise), b = Indexed(40, 30, 8, [](long x, long y) { return (int)(x * y % 256); });
    a.SetFrameDelay(10);
    b.SetFrameDelay(20);
    Vistel* frames[2] = {&a, &b};
    VistelGIF writer;
    writer.Ghost(&a);
    writer.SetLoops(4);
    VsMemFile out;
    out.Open();
    ASSERT_TRUE(writer.Encode(&out, frames, 2, false));
    const Bytes animation(out.GetBuffer(false), out.GetBuffer(false) + out.Size());
    const std::vector<std::string> theirs = corpus::PillowDescribe(animation, true);
    if (theirs.empty()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    EXPECT_EQ(theirs, (std::vector<std::string>{RgbLine(a, 100), RgbLine(b, 200), "loop 3 dpi 0 0"}));

    // True colour is written as tiles with local tables; Pillow shows them
    // as frames, the last one the whole picture.
    Vistel tiles(53, 37, 24);
    for (long y = 0; y < 37; y++)
        for (long x = 0; x < 53; x++)
            tiles.SetPixelColor(x, y, RGBQUAD{(BYTE)(x * 4), (BYTE)(y * 6), (BYTE)(x ^ y), 0});
    const std::vector<std::string> shown = corpus::PillowDescribe(Encode(tiles), true);
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[shown.size() - 2], RgbLine(tiles, 0));
}

}  // namespace
