// Colour depth and construction: bit-field unpacking, arrays to images,
// depth changes with their exact arithmetic, grey, negative and dithering.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Vistel.h"
#include "test_images.h"

namespace {

RGBQUAD Bgr(BYTE b, BYTE g, BYTE r)
{
    return RGBQUAD{b, g, r, 0};
}

bool SameRgb(RGBQUAD a, RGBQUAD b)
{
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed;
}

// An 8-bit identity-grey image of the given levels, rows[0] at the bottom.
Vistel GrayImage(const std::vector<std::vector<BYTE>>& rows)
{
    Vistel img((DWORD)rows[0].size(), (DWORD)rows.size(), 8);
    img.SetGrayPalette();
    for (size_t y = 0; y < rows.size(); y++)
        for (size_t x = 0; x < rows[y].size(); x++) img.SetPixelIndex((long)x, (long)y, rows[y][x]);
    return img;
}

// Pixel indices as one string per row, bottom row first.
std::vector<std::string> Indices(Vistel& img)
{
    std::vector<std::string> rows(img.GetHeight());
    for (long y = 0; y < (long)img.GetHeight(); y++)
        for (long x = 0; x < (long)img.GetWidth(); x++)
            rows[y] += (char)('0' + img.GetPixelIndex(x, y));
    return rows;
}

// Pseudo-random colours; coarse ones take only the levels 0, 63, ... 252.
Vistel NoiseImage(long w, long h, unsigned seed, bool coarse = false)
{
    Vistel img(w, h, 24);
    for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++) {
            seed = seed * 1103515245u + 12345u;
            BYTE c[3] = {(BYTE)(seed >> 8), (BYTE)(seed >> 16), (BYTE)(seed >> 24)};
            if (coarse)
                for (BYTE& v : c) v = (BYTE)(v % 5 * 63);
            img.SetPixelColor(x, y, Bgr(c[0], c[1], c[2]));
        }
    return img;
}

}  // namespace

TEST(DepthBitfield, Unpacks565And555)
{
    // 5-6-5 red, green, blue, white: bit replication makes full channels 255.
    BYTE src[8] = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF};
    Vistel img(4, 1, 24);
    img.Bitfield2RGB(src, 0xF800, 0x07E0, 0x001F, 16);
    EXPECT_TRUE(SameRgb(img.GetPixelColor(0, 0), Bgr(0, 0, 255)));
    EXPECT_TRUE(SameRgb(img.GetPixelColor(1, 0), Bgr(0, 255, 0)));
    EXPECT_TRUE(SameRgb(img.GetPixelColor(2, 0), Bgr(255, 0, 0)));
    EXPECT_TRUE(SameRgb(img.GetPixelColor(3, 0), Bgr(255, 255, 255)));
    // 5-5-5 grey 16 of 31: 10000 repeated is 10000100.
    BYTE grey[8] = {0x10, 0x42};
    img.Bitfield2RGB(grey, 0x7C00, 0x03E0, 0x001F, 16);
    EXPECT_TRUE(SameRgb(img.GetPixelColor(0, 0), Bgr(132, 132, 132)));
    // Masks wider than 8 bits keep their top bits; empty masks give 0.
    img.Bitfield2RGB(src, 0xFFFF, 0, 0x000F, 16);
    EXPECT_TRUE(SameRgb(img.GetPixelColor(0, 0), Bgr(0, 0, 0xF8)));
    BYTE bgra[16] = {10, 20, 30, 40};
    img.Bitfield2RGB(bgra, 0, 0, 0, 32);
    EXPECT_TRUE(SameRgb(img.GetPixelColor(0, 0), Bgr(10, 20, 30)));
}

TEST(DepthBitfield, SixteenBitsConvertInPlace)
{
    // Unpacking inside the pixel block: no row may overrun source bytes
    // still to be read.
    for (long width : {1L, 2L, 3L, 5L, 8L}) {
        Vistel inplace(width, 4, 24), copied(width, 4, 24);
        std::vector<BYTE> src((size_t)((width + 1) / 2) * 4 * 4);
        for (size_t i = 0; i < src.size(); i++) src[i] = (BYTE)(i * 37 + 11);
        memcpy(inplace.GetBits(), src.data(), src.size());
        inplace.Bitfield2RGB(inplace.GetBits(), 0xF800, 0x07E0, 0x001F, 16);
        copied.Bitfield2RGB(src.data(), 0xF800, 0x07E0, 0x001F, 16);
        for (DWORD y = 0; y < 4; y++)
            EXPECT_EQ(memcmp(inplace.GetBits(y), copied.GetBits(y), 3 * width), 0) << width;
    }
}

TEST(DepthCreateFromArray, DepthsFlipAndRefusals)
{
    BYTE gray[8] = {1, 2, 0, 0, 3, 4, 0, 0};
    Vistel img;
    ASSERT_TRUE(img.CreateFromArray(gray, 2, 2, 8, 4, true));
    EXPECT_TRUE(img.IsGrayScale());
    EXPECT_EQ(Indices(img), (std::vector<std::string>{"34", "12"}));  // array row 0 on top
    ASSERT_TRUE(img.CreateFromArray(gray, 2, 2, 8, 4, false));
    EXPECT_EQ(Indices(img), (std::vector<std::string>{"12", "34"}));

    BYTE rgb[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // lines of 6 bytes
    ASSERT_TRUE(img.CreateFromArray(rgb, 2, 2, 24, 6, true));
    EXPECT_TRUE(SameRgb(img.GetPixelColor(1, 1), Bgr(4, 5, 6)));
    EXPECT_TRUE(SameRgb(img.GetPixelColor(0, 0), Bgr(7, 8, 9)));

    // 32 bits: blue, green, red, alpha into a 24-bit image with a plane.
    BYTE bgra[16] = {1, 2, 3, 40, 5, 6, 7, 80, 9, 10, 11, 120, 13, 14, 15, 160};
    ASSERT_TRUE(img.CreateFromArray(bgra, 2, 2, 32, 8, true));
    EXPECT_EQ(img.GetBpp(), 24);
    EXPECT_TRUE(SameRgb(img.GetPixelColor(1, 1), Bgr(5, 6, 7)));
    EXPECT_EQ(img.AlphaGet(1, 1), 80);
    EXPECT_EQ(img.AlphaGet(0, 0), 120);
    // Lines shorter than the pixels are read no further; the rest is black.
    ASSERT_TRUE(img.CreateFromArray(bgra, 2, 2, 32, 4, false));
    EXPECT_EQ(img.AlphaGet(0, 1), 80);
    EXPECT_TRUE(SameRgb(img.GetPixelColor(1, 1), Bgr(0, 0, 0)));

    // Refusals leave the image as it was; caller sizes meet the ceiling.
    img.Create(3, 3, 8);
    img.Clear(9);
    EXPECT_FALSE(img.CreateFromArray(gray, 2, 2, 16, 4, false));
    EXPECT_FALSE(img.CreateFromArray(nullptr, 2, 2, 8, 4, false));
    EXPECT_FALSE(img.CreateFromArray(gray, 100000, 100000, 32, 0, false));
    EXPECT_STREQ(img.GetLastError(), vssize::kTooLarge);
    EXPECT_EQ(img.GetPixelIndex(2, 2), 9);

    BYTE* rows[2] = {gray, nullptr};  // a missing matrix row stays black
    ASSERT_TRUE(img.CreateFromMatrix(rows, 2, 2, 8, 4, false));
    EXPECT_EQ(Indices(img), (std::vector<std::string>{"12", "00"}));
}

TEST(DepthDecrease, ErrorDiffusionSevenTwoFourOneByHand)
{
    // To black and white; rows bottom first. (0,0) 94 black, e 94: (1,0)
    // 76+41=117, (0,1) 90+23=113, (1,1) 186+5=191. (1,0) 117 black, e 117:
    // (2,0) 125+51=176, (0,1) 113+14=127, (1,1) 220, (2,1) 175+7=182.
    // (2,0) 176 white, e -79: (1,1) 220-9=211, (2,1) 182-19=163. (0,1) 127
    // black, e 127: (1,1) clamps at 255. Weights 3 and 5 would whiten (0,1).
    const BYTE levels[2][3] = {{94, 76, 125}, {90, 186, 175}};
    Vistel img(3, 2, 24);
    for (long y = 0; y < 2; y++)
        for (long x = 0; x < 3; x++) {
            const BYTE v = levels[y][x];
            img.SetPixelColor(x, y, Bgr(v, v, v));
        }
    ASSERT_TRUE(img.DecreaseBpp(1, true));
    EXPECT_EQ(Indices(img), (std::vector<std::string>{"001", "011"}));
}

TEST(DepthDecrease, FastPathsMatchThePixelByPixelDefinition)
{
    // The standard palette, and a coarse one full of duplicates and
    // equidistant entries searched among its first 100: ties go low.
    RGBQUAD coarse[256];
    for (int i = 0; i < 256; i++) coarse[i] = Bgr(i * 7 % 5 * 63, i * 3 % 5 * 63, i % 5 * 63);
    for (RGBQUAD* pal : {(RGBQUAD*)nullptr, coarse})
        for (bool diffuse : {false, true}) {
            const DWORD important = pal ? 100 : 0;
            Vistel img = NoiseImage(37, 11, 7, pal != nullptr), src(img), expect(37, 11, 8);
            if (pal) expect.SetPalette(pal);
            else expect.SetStdPalette();
            expect.SetClrImportant(important);
            for (long y = 0; y < 11; y++)
                for (long x = 0; x < 37; x++) {
                    RGBQUAD c = src.GetPixelColor(x, y, true);
                    expect.SetPixelColor(x, y, c, false);
                    if (!diffuse) continue;
                    RGBQUAD q = expect.GetPixelColor(x, y, true);
                    const int taps[4][3] = {{1, 0, 7}, {-1, 1, 2}, {0, 1, 4}, {1, 1, 1}};
                    for (auto& t : taps) {
                        if (!src.IsInside(x + t[0], y + t[1])) continue;
                        RGBQUAD n = src.GetPixelColor(x + t[0], y + t[1], true);
                        auto add = [&](BYTE& ch, int a, int b) {
                            ch = (BYTE)std::min(255, std::max(0, ch + (a - b) * t[2] / 16));
                        };
                        add(n.rgbBlue, c.rgbBlue, q.rgbBlue);
                        add(n.rgbGreen, c.rgbGreen, q.rgbGreen);
                        add(n.rgbRed, c.rgbRed, q.rgbRed);
                        src.SetPixelColor(x + t[0], y + t[1], n, false);
                    }
                }
            ASSERT_TRUE(img.DecreaseBpp(8, diffuse, pal, important));
            EXPECT_TRUE(img.IsSamePalette(expect));
            for (DWORD y = 0; y < 11; y++)
                EXPECT_EQ(memcmp(img.GetBits(y), expect.GetBits(y), 37), 0) << diffuse << " " << y;
        }
}

TEST(DepthDecrease, NearestColourGivenPaletteAndImportantColours)
{
    Vistel img(2, 1, 24);
    img.SetPixelColor(0, 0, Bgr(127, 127, 127));
    img.SetPixelColor(1, 0, Bgr(128, 128, 128));
    img.AlphaCreate();
    img.AlphaSet(1, 0, 33);
    ASSERT_TRUE(img.DecreaseBpp(1, false));
    EXPECT_EQ(Indices(img)[0], "01");
    EXPECT_EQ(img.AlphaGet(1, 0), 33);

    // Only the first clrimportant entries of a given palette compete.
    RGBQUAD pal[256] = {};
    pal[1] = Bgr(0, 0, 255);
    pal[2] = Bgr(0, 255, 0);
    pal[4] = Bgr(0, 255, 255);
    Vistel yellow(1, 1, 24);
    yellow.SetPixelColor(0, 0, Bgr(0, 255, 255));
    ASSERT_TRUE(yellow.DecreaseBpp(8, false, pal, 4));
    EXPECT_EQ(yellow.GetClrImportant(), 4u);
    EXPECT_EQ(yellow.GetPixelIndex(0, 0), 1);  // red and green tie: lower index
    EXPECT_TRUE(SameRgb(yellow.GetPalette()[4], pal[4]));

    // Same depth: nothing to do without clrimportant or with more than
    // before; fewer remap to the standard palette's first entries.
    EXPECT_TRUE(yellow.DecreaseBpp(8, false, nullptr, 16));
    EXPECT_EQ(yellow.GetClrImportant(), 4u);
    ASSERT_TRUE(yellow.DecreaseBpp(8, false, nullptr, 2));
    EXPECT_EQ(yellow.GetClrImportant(), 2u);
    EXPECT_TRUE(SameRgb(yellow.GetPixelColor(0, 0), Bgr(0, 0, 0x80)));
    EXPECT_FALSE(yellow.DecreaseBpp(24, false));
}

TEST(DepthDecrease, EscapeEndsTheLoopWithDefinedRows)
{
    Vistel img = NoiseImage(5, 3, 5);
    img.SetEscape(1);
    ASSERT_TRUE(img.DecreaseBpp(4, true));
    EXPECT_EQ(img.GetBpp(), 4);
    EXPECT_EQ(Indices(img), (std::vector<std::string>{"00000", "00000", "00000"}));
}

TEST(DepthIncrease, TransparencyAndAlphaSurviveTrueColour)
{
    Vistel img(3, 1, 8);
    img.SetStdPalette();
    img.SetPixelIndex(0, 0, 3);
    img.SetPixelIndex(1, 0, 9);
    img.SetPixelIndex(2, 0, 255);
    img.SetTransIndex(3);
    ASSERT_TRUE(img.IncreaseBpp(24));
    EXPECT_EQ(img.AlphaGet(0, 0), 0);
    EXPECT_EQ(img.AlphaGet(1, 0), 255);
    EXPECT_TRUE(SameRgb(img.GetPixelColor(1, 0), Bgr(0xf0, 0xca, 0xa6)));
    EXPECT_TRUE(SameRgb(img.GetTransColor(), Bgr(0, 0x80, 0x80)));

    Vistel four(9, 1, 1);  // indices and palette kept going up to 8 bits
    four.SetPaletteColor(1, 40, 50, 60);
    four.Clear(0);
    four.SetPixelIndex(8, 0, 1);
    four.AlphaCreate();
    four.AlphaSet(8, 0, 17);
    ASSERT_TRUE(four.IncreaseBpp(8));
    EXPECT_EQ(Indices(four)[0], "000000001");
    EXPECT_FALSE(four.IncreaseBpp(4));
    ASSERT_TRUE(four.IncreaseBpp(24));  // an existing plane wins
    EXPECT_EQ(four.AlphaGet(8, 0), 17);
    EXPECT_TRUE(SameRgb(four.GetPixelColor(8, 0), Bgr(60, 50, 40)));
}

TEST(DepthGrayAndNegative, IndexedAndTrueColour)
{
    Vistel rgb(2, 1, 24);
    rgb.SetPixelColor(0, 0, Bgr(0, 0, 255));
    rgb.SetPixelColor(1, 0, Bgr(0, 100, 255));
    rgb.SetTransColor(Bgr(1, 2, 3));
    ASSERT_TRUE(rgb.Negative());
    EXPECT_TRUE(SameRgb(rgb.GetPixelColor(1, 0), Bgr(255, 155, 0)));
    EXPECT_TRUE(SameRgb(rgb.GetTransColor(), Bgr(254, 253, 252)));
    ASSERT_TRUE(rgb.Negative());
    ASSERT_TRUE(rgb.GrayScale());
    EXPECT_TRUE(rgb.IsGrayScale());
    EXPECT_EQ(rgb.GetPixelIndex(0, 0), 76);

    // 4 bits: each index becomes its entry's grey level, and so does the
    // transparent index.
    Vistel four(2, 1, 4);
    four.SetStdPalette();
    four.SetPixelIndex(0, 0, 2);   // 008000: 75
    four.SetPixelIndex(1, 0, 12);  // ff0000: 29
    four.SetTransIndex(12);
    ASSERT_TRUE(four.GrayScale());
    EXPECT_EQ(four.GetPixelIndex(0, 0), 75);
    EXPECT_EQ(four.GetTransIndex(), 29);
    // Identity grey: indices are inverted, the palette stays.
    ASSERT_TRUE(four.Negative());
    EXPECT_EQ(four.GetPixelIndex(0, 0), 180);
    EXPECT_TRUE(four.IsGrayScale());

    Vistel colour(1, 1, 8);  // colour palette: the palette is inverted
    colour.SetStdPalette();
    colour.SetPixelIndex(0, 0, 249);
    ASSERT_TRUE(colour.Negative());
    EXPECT_EQ(colour.GetPixelIndex(0, 0), 249);
    EXPECT_TRUE(SameRgb(colour.GetPixelColor(0, 0), Bgr(255, 255, 0)));

    Vistel bits(3, 1, 1);  // 1-bit ramp 0, 1: pixels flip, padding does not
    bits.SetPaletteColor(1, 1, 1, 1);
    bits.Clear(0);
    bits.SetPixelIndex(1, 0, 1);
    ASSERT_TRUE(bits.Negative());
    EXPECT_EQ(bits.GetBits()[0], 0xA0);
}

TEST(DepthDither, OrderedAndDiffusionMethods)
{
    // Grey 128: 128 * 16 / 255 = 8, so the matrix entries 0-7 are white.
    // The other patterns are worked from the kernel tables; each method
    // gives its own.
    const std::vector<std::vector<BYTE>> flat(4, std::vector<BYTE>(4, 128)),
        corners = {{0, 100, 100, 100}, {100, 100, 100, 100}, {100, 100, 100, 100},
                   {100, 100, 100, 255}},
        levels = {{100, 160, 60, 128, 60, 129},
                  {129, 129, 200, 129, 100, 60},
                  {129, 60, 129, 129, 160, 60},
                  {200, 129, 128, 200, 100, 160}};
    const struct {
        long method;
        const std::vector<std::vector<BYTE>>* in;
        std::vector<std::string> out;
    } cases[] = {
        {1, &flat, {"1010", "0101", "1010", "0101"}},
        {7, &corners, {"0010", "0100", "1010", "0101"}},
        {0, &levels, {"010101", "101000", "001110", "110101"}},
        {2, &levels, {"010100", "101010", "001100", "110101"}},
        {3, &levels, {"010100", "101010", "001010", "110101"}},
        {4, &levels, {"010001", "101100", "101110", "100101"}},
        {5, &levels, {"010100", "101000", "001110", "110101"}},
        {6, &levels, {"010001", "011100", "001110", "100101"}},
        {99, &levels, {"010101", "101000", "001110", "110101"}}};
    for (const auto& c : cases) {
        Vistel img = GrayImage(*c.in);
        ASSERT_TRUE(img.Dither(c.method));
        EXPECT_EQ(Indices(img), c.out) << "method " << c.method;
    }

    Vistel rgb(2, 1, 24);  // colour goes through its grey; alpha is kept
    rgb.SetPixelColor(0, 0, Bgr(0, 0, 255));
    rgb.SetPixelColor(1, 0, Bgr(255, 255, 255));
    rgb.AlphaCreate();
    rgb.AlphaSet(0, 0, 9);
    ASSERT_TRUE(rgb.Dither(0));
    EXPECT_EQ(Indices(rgb)[0], "01");
    EXPECT_EQ(rgb.AlphaGet(0, 0), 9);
}

