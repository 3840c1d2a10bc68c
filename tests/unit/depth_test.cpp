// Colour depth and construction: bit-field unpacking, arrays to images,
// depth reduction and increase with their exact arithmetic, grey, negative
// and the dither methods.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Vistel.h"

namespace {

// Blue, green, red of pixel (x, y) of a 24-bit image, read from the rows.
struct Bgr {
    BYTE b, g, r;
};
Bgr RawPixel(const Vistel& img, long x, long y)
{
    const BYTE* p = img.GetBits((DWORD)y) + 3 * x;
    return {p[0], p[1], p[2]};
}

void Put16(std::vector<BYTE>& buf, size_t at, WORD w)
{
    buf[at] = (BYTE)(w & 0xFF);
    buf[at + 1] = (BYTE)(w >> 8);
}

}  // namespace

TEST(DepthBitfield, Unpacks565And555)
{
    // Three pixels a row: 16-bit source rows are 8 bytes apart.
    Vistel img(3, 2, 24);
    std::vector<BYTE> src(16, 0);
    Put16(src, 0, 0xF800);  // row 0: red, green, blue in 5-6-5
    Put16(src, 2, 0x07E0);
    Put16(src, 4, 0x001F);
    Put16(src, 8, 0x8410);  // row 1: mid grey, then white
    Put16(src, 10, 0xFFFF);
    img.Bitfield2RGB(src.data(), 0xF800, 0x07E0, 0x001F, 16);
    Bgr p = RawPixel(img, 0, 0);
    EXPECT_EQ(p.r, 248);
    EXPECT_EQ(p.g, 0);
    EXPECT_EQ(p.b, 0);
    EXPECT_EQ(RawPixel(img, 1, 0).g, 252);
    EXPECT_EQ(RawPixel(img, 2, 0).b, 248);
    p = RawPixel(img, 0, 1);
    EXPECT_EQ(p.r, 128);
    EXPECT_EQ(p.g, 128);
    EXPECT_EQ(p.b, 128);
    p = RawPixel(img, 1, 1);
    EXPECT_EQ(p.r, 248);
    EXPECT_EQ(p.g, 252);
    EXPECT_EQ(p.b, 248);

    Put16(src, 0, 0x7C00);
    Put16(src, 2, 0x03E0);
    Put16(src, 4, 0x4210);  // 5-5-5 grey 16, 16, 16
    img.Bitfield2RGB(src.data(), 0x7C00, 0x03E0, 0x001F, 16);
    p = RawPixel(img, 0, 0);
    EXPECT_EQ(p.r, 248);
    EXPECT_EQ(p.g, 0);
    EXPECT_EQ(RawPixel(img, 1, 0).g, 248);
    p = RawPixel(img, 2, 0);
    EXPECT_EQ(p.r, 128);
    EXPECT_EQ(p.g, 128);
    EXPECT_EQ(p.b, 128);
}

TEST(DepthBitfield, ConvertsInPlaceLikeFromACopy)
{
    // The decoder unpacks inside the pixel block: 16-bit rows are narrower
    // than the result, and no row may overrun a later one.
    for (BYTE bpp : {16, 32}) {
        for (long width : {1L, 2L, 3L, 5L, 8L}) {
            const long height = 4;
            Vistel inplace(width, height, 24), copied(width, height, 24);
            const size_t stride = bpp == 16 ? (size_t)((width + 1) / 2) * 4 : (size_t)width * 4;
            std::vector<BYTE> src(stride * height);
            for (size_t i = 0; i < src.size(); i++) src[i] = (BYTE)(i * 37 + 11);
            // A 32-bit source fits the 24-bit block only for widths up to 3.
            if (src.size() > (size_t)inplace.GetEffWidth() * height) continue;
            memcpy(inplace.GetBits(), src.data(), src.size());
            inplace.Bitfield2RGB(inplace.GetBits(), 0x7C00, 0x03E0, 0x001F, bpp);
            copied.Bitfield2RGB(src.data(), 0x7C00, 0x03E0, 0x001F, bpp);
            for (long y = 0; y < height; y++)
                EXPECT_EQ(memcmp(inplace.GetBits(y), copied.GetBits(y), 3 * width), 0)
                    << "bpp " << (int)bpp << " width " << width << " row " << y;
        }
    }
}

TEST(DepthBitfield, ThirtyTwoBitsTakesFirstThreeBytesAndOddMasksAreSafe)
{
    Vistel img(2, 1, 24);
    BYTE src[8] = {10, 20, 30, 40, 50, 60, 70, 80};
    img.Bitfield2RGB(src, 0, 0, 0, 32);
    Bgr p = RawPixel(img, 1, 0);
    EXPECT_EQ(p.b, 50);
    EXPECT_EQ(p.g, 60);
    EXPECT_EQ(p.r, 70);

    // Masks wider than 8 bits or empty keep the top bits or give 0.
    BYTE w[4] = {0x34, 0x12, 0, 0};
    img.Bitfield2RGB(w, 0xFFFF, 0x0000, 0x000F, 16);
    p = RawPixel(img, 0, 0);
    EXPECT_EQ(p.r, 0x12);
    EXPECT_EQ(p.g, 0);
    EXPECT_EQ(p.b, 0x40);

    // Other depths and non-24-bit images are left alone.
    Vistel eight(2, 1, 8);
    eight.Clear(7);
    eight.Bitfield2RGB(src, 0xF800, 0x07E0, 0x001F, 16);
    EXPECT_EQ(eight.GetBits()[0], 7);
}

namespace {

// An 8-bit identity-grey image holding rows of levels, rows[0] at the bottom.
Vistel GrayImage(const std::vector<std::vector<BYTE>>& rows)
{
    Vistel img((DWORD)rows[0].size(), (DWORD)rows.size(), 8);
    img.SetGrayPalette();
    for (size_t y = 0; y < rows.size(); y++)
        for (size_t x = 0; x < rows[y].size(); x++) img.SetPixelIndex((long)x, (long)y, rows[y][x]);
    return img;
}

// The indices of a 1-bit image as one string of 0 and 1 per row, bottom up.
std::vector<std::string> Bits(Vistel& img)
{
    std::vector<std::string> rows;
    for (long y = 0; y < (long)img.GetHeight(); y++) {
        std::string row;
        for (long x = 0; x < (long)img.GetWidth(); x++) row += (char)('0' + img.GetPixelIndex(x, y));
        rows.push_back(row);
    }
    return rows;
}

RGBQUAD Bgra(BYTE b, BYTE g, BYTE r, BYTE a = 0)
{
    return RGBQUAD{b, g, r, a};
}

bool SameRgb(RGBQUAD a, RGBQUAD b)
{
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed;
}

// A 24-bit image of pseudo-random colours.
Vistel NoiseImage(long w, long h, unsigned seed)
{
    Vistel img(w, h, 24);
    for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++) {
            seed = seed * 1103515245u + 12345u;
            img.SetPixelColor(x, y, Bgra((BYTE)(seed >> 8), (BYTE)(seed >> 16), (BYTE)(seed >> 24)));
        }
    return img;
}

// Error diffusion to a palette exactly as defined pixel by pixel: nearest
// colour, then 7, 2, 4, 1 sixteenths of the error into the source.
void ReferenceDiffusion(Vistel& src, Vistel& dst)
{
    const long w = src.GetWidth(), h = src.GetHeight();
    const int taps[4][3] = {{1, 0, 7}, {-1, 1, 2}, {0, 1, 4}, {1, 1, 1}};
    for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++) {
            RGBQUAD c = src.GetPixelColor(x, y, true);
            dst.SetPixelColor(x, y, c, false);
            RGBQUAD q = dst.GetPixelColor(x, y, true);
            long e[3] = {c.rgbBlue - q.rgbBlue, c.rgbGreen - q.rgbGreen, c.rgbRed - q.rgbRed};
            for (auto& t : taps) {
                if (!src.IsInside(x + t[0], y + t[1])) continue;
                RGBQUAD n = src.GetPixelColor(x + t[0], y + t[1], true);
                BYTE* ch[3] = {&n.rgbBlue, &n.rgbGreen, &n.rgbRed};
                for (int k = 0; k < 3; k++) {
                    long v = *ch[k] + e[k] * t[2] / 16;
                    *ch[k] = (BYTE)(v < 0 ? 0 : v > 255 ? 255 : v);
                }
                src.SetPixelColor(x + t[0], y + t[1], n, false);
            }
        }
}

}  // namespace

TEST(DepthCreateFromArray, EightBitRowsWithAndWithoutFlip)
{
    BYTE array[2 * 4] = {1, 2, 0, 0, 3, 4, 0, 0};
    Vistel img;
    ASSERT_TRUE(img.CreateFromArray(array, 2, 2, 8, 4, true));
    EXPECT_EQ(img.GetBpp(), 8);
    EXPECT_TRUE(img.IsGrayScale());
    EXPECT_EQ(img.GetPixelIndex(0, 1), 1);  // array row 0 is the top
    EXPECT_EQ(img.GetPixelIndex(1, 0), 4);
    ASSERT_TRUE(img.CreateFromArray(array, 2, 2, 8, 4, false));
    EXPECT_EQ(img.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(img.GetPixelIndex(1, 1), 4);
}

TEST(DepthCreateFromArray, TwentyFourAndThirtyTwoBits)
{
    // 24 bits, rows of 6 bytes: no more than dwBytesperline bytes are read.
    BYTE rgb[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Vistel img;
    ASSERT_TRUE(img.CreateFromArray(rgb, 2, 2, 24, 6, true));
    EXPECT_TRUE(SameRgb(img.GetPixelColor(1, 1), Bgra(4, 5, 6)));
    EXPECT_TRUE(SameRgb(img.GetPixelColor(0, 0), Bgra(7, 8, 9)));
    EXPECT_FALSE(img.AlphaIsValid());

    // 32 bits: blue, green, red, alpha; a 24-bit image with an alpha plane.
    BYTE bgra[16] = {1, 2, 3, 40, 5, 6, 7, 80, 9, 10, 11, 120, 13, 14, 15, 160};
    ASSERT_TRUE(img.CreateFromArray(bgra, 2, 2, 32, 8, true));
    EXPECT_EQ(img.GetBpp(), 24);
    ASSERT_TRUE(img.AlphaIsValid());
    EXPECT_TRUE(SameRgb(img.GetPixelColor(1, 1), Bgra(5, 6, 7)));
    EXPECT_EQ(img.AlphaGet(1, 1), 80);
    EXPECT_EQ(img.AlphaGet(0, 0), 120);
    ASSERT_TRUE(img.CreateFromArray(bgra, 2, 2, 32, 8, false));
    EXPECT_EQ(img.AlphaGet(0, 0), 40);
    EXPECT_EQ(img.AlphaGet(1, 1), 160);

    // Lines shorter than the pixels leave the rest black.
    ASSERT_TRUE(img.CreateFromArray(bgra, 2, 2, 32, 4, false));
    EXPECT_TRUE(SameRgb(img.GetPixelColor(0, 1), Bgra(5, 6, 7)));
    EXPECT_TRUE(SameRgb(img.GetPixelColor(1, 1), Bgra(0, 0, 0)));
}

TEST(DepthCreateFromArray, RefusalsLeaveTheImageAsItWas)
{
    BYTE array[16] = {0};
    Vistel img(3, 3, 8);
    img.Clear(9);
    EXPECT_FALSE(img.CreateFromArray(array, 2, 2, 16, 8, false));
    EXPECT_FALSE(img.CreateFromArray(nullptr, 2, 2, 8, 8, false));
    EXPECT_FALSE(img.CreateFromArray(array, 0, 2, 8, 8, false));
    // Sizes from a caller are bounded before anything is read or allocated.
    EXPECT_FALSE(img.CreateFromArray(array, 100000, 100000, 32, 0, false));
    EXPECT_STREQ(img.GetLastError(), "VISTEL_MAX_MEMORY exceeded");
    EXPECT_EQ(img.GetWidth(), 3u);
    EXPECT_EQ(img.GetPixelIndex(2, 2), 9);

    // A matrix with a missing row: that row stays black.
    BYTE row0[4] = {7, 8, 9, 0};
    BYTE* rows[2] = {row0, nullptr};
    ASSERT_TRUE(img.CreateFromMatrix(rows, 3, 2, 8, 4, false));
    EXPECT_EQ(img.GetPixelIndex(2, 0), 9);
    EXPECT_EQ(img.GetPixelIndex(2, 1), 0);
}

TEST(DepthDecrease, ErrorDiffusionSevenTwoFourOneByHand)
{
    // Grey levels, bottom row first, to black and white. Worked by hand:
    // (0,0) 94 black, e 94: (1,0) 76+41=117, (0,1) 90+23=113, (1,1) 186+5=191.
    // (1,0) 117 black, e 117: (2,0) 125+51=176, (0,1) 113+14=127, (1,1) 220,
    //   (2,1) 175+7=182.
    // (2,0) 176 white, e -79: (1,1) 220-9=211, (2,1) 182-19=163.
    // (0,1) 127 black, e 127: (1,1) 211+55 clamps to 255; then white, white.
    // Floyd-Steinberg's 3 and 5 would turn (0,1) white.
    const BYTE levels[2][3] = {{94, 76, 125}, {90, 186, 175}};
    Vistel img(3, 2, 24);
    for (long y = 0; y < 2; y++)
        for (long x = 0; x < 3; x++) {
            BYTE v = levels[y][x];
            img.SetPixelColor(x, y, Bgra(v, v, v));
        }
    ASSERT_TRUE(img.DecreaseBpp(1, true));
    EXPECT_EQ(img.GetBpp(), 1);
    EXPECT_EQ(Bits(img), (std::vector<std::string>{"001", "011"}));
}

TEST(DepthDecrease, FastPathsMatchThePixelByPixelDefinition)
{
    for (bool diffuse : {false, true}) {
        Vistel img = NoiseImage(37, 11, 7);
        Vistel src(img), expect(37, 11, 8);
        expect.SetStdPalette();
        if (diffuse) {
            ReferenceDiffusion(src, expect);
        } else {
            for (long y = 0; y < 11; y++)
                for (long x = 0; x < 37; x++) expect.SetPixelColor(x, y, src.GetPixelColor(x, y));
        }
        ASSERT_TRUE(img.DecreaseBpp(8, diffuse));
        EXPECT_TRUE(img.IsSamePalette(expect));
        for (long y = 0; y < 11; y++)
            EXPECT_EQ(memcmp(img.GetBits(y), expect.GetBits(y), 37), 0) << "row " << y;
    }
    // Pure red is entry 249 of the standard palette.
    Vistel red(2, 1, 24);
    red.SetPixelColor(0, 0, Bgra(0, 0, 255));
    red.SetPixelColor(1, 0, Bgra(0, 0, 254));
    ASSERT_TRUE(red.DecreaseBpp(8, false));
    EXPECT_EQ(red.GetPixelIndex(0, 0), 249);
    EXPECT_EQ(red.GetPixelIndex(1, 0), 40);
}

TEST(DepthDecrease, BlackAndWhiteGivenPaletteAndImportantColours)
{
    Vistel img(2, 1, 24);
    img.SetPixelColor(0, 0, Bgra(127, 127, 127));
    img.SetPixelColor(1, 0, Bgra(128, 128, 128));
    img.AlphaCreate();
    img.AlphaSet(1, 0, 33);
    ASSERT_TRUE(img.DecreaseBpp(1, false));
    EXPECT_EQ(Bits(img)[0], "01");
    EXPECT_EQ(img.AlphaGet(1, 0), 33);

    // Only the first clrimportant entries of a given palette are used.
    RGBQUAD pal[256] = {};
    pal[1] = Bgra(0, 0, 255);
    pal[2] = Bgra(0, 255, 0);
    pal[3] = Bgra(255, 0, 0);
    pal[4] = Bgra(0, 255, 255);  // exact yellow, beyond the important four
    Vistel yellow(1, 1, 24);
    yellow.SetPixelColor(0, 0, Bgra(0, 255, 255));
    ASSERT_TRUE(yellow.DecreaseBpp(8, false, pal, 4));
    EXPECT_EQ(yellow.GetClrImportant(), 4u);
    EXPECT_EQ(yellow.GetPixelIndex(0, 0), 1);  // red and green tie: lower index
    EXPECT_TRUE(SameRgb(yellow.GetPalette()[4], pal[4]));

    // Same depth: nothing to do without clrimportant, a remap with it.
    Vistel eight(2, 1, 8);
    eight.SetStdPalette();
    eight.SetPixelIndex(0, 0, 255);
    eight.SetPixelIndex(1, 0, 249);
    ASSERT_TRUE(eight.DecreaseBpp(8, false));
    EXPECT_EQ(eight.GetPixelIndex(0, 0), 255);
    ASSERT_TRUE(eight.DecreaseBpp(8, false, nullptr, 8));
    EXPECT_EQ(eight.GetPixelIndex(0, 0), 7);  // white -> light grey c0c0c0
    EXPECT_EQ(eight.GetPixelIndex(1, 0), 1);  // red -> dark red 000080

    // Deeper than the image: refused, image untouched.
    Vistel four(2, 1, 4);
    EXPECT_FALSE(four.DecreaseBpp(8, false));
    EXPECT_EQ(four.GetBpp(), 4);
    Vistel same = NoiseImage(3, 3, 1), before(same);
    EXPECT_TRUE(same.DecreaseBpp(24, true));
    EXPECT_EQ(memcmp(same.GetDIB(), before.GetDIB(), same.GetSize()), 0);
}

TEST(DepthIncrease, TransparencySurvivesTrueColour)
{
    Vistel img(3, 1, 8);
    img.SetStdPalette();
    img.SetPixelIndex(0, 0, 3);
    img.SetPixelIndex(1, 0, 9);
    img.SetPixelIndex(2, 0, 255);
    img.SetTransIndex(3);
    ASSERT_TRUE(img.IncreaseBpp(24));
    EXPECT_EQ(img.GetBpp(), 24);
    ASSERT_TRUE(img.AlphaIsValid());
    EXPECT_EQ(img.AlphaGet(0, 0), 0);
    EXPECT_EQ(img.AlphaGet(1, 0), 255);
    EXPECT_EQ(img.AlphaGet(2, 0), 255);
    EXPECT_TRUE(SameRgb(img.GetPixelColor(1, 0), Bgra(0xf0, 0xca, 0xa6)));
    RGBQUAD t = img.GetTransColor();
    EXPECT_TRUE(SameRgb(t, Bgra(0, 0x80, 0x80)));
    EXPECT_EQ(t.rgbReserved, 0);

    // An existing plane is carried over instead.
    Vistel four(2, 1, 4);
    four.SetStdPalette();
    four.SetPixelIndex(1, 0, 12);
    four.AlphaCreate();
    four.AlphaSet(1, 0, 17);
    ASSERT_TRUE(four.IncreaseBpp(24));
    EXPECT_EQ(four.AlphaGet(1, 0), 17);
    EXPECT_TRUE(SameRgb(four.GetPixelColor(1, 0), Bgra(255, 0, 0)));
}

TEST(DepthIncrease, IndicesAndPaletteKeptAndBadDepthsRefused)
{
    Vistel img(9, 2, 1);
    img.SetPaletteColor(0, 10, 20, 30);
    img.SetPaletteColor(1, 40, 50, 60);
    img.Clear(0);
    img.SetPixelIndex(8, 1, 1);
    ASSERT_TRUE(img.IncreaseBpp(8));
    EXPECT_EQ(img.GetBpp(), 8);
    EXPECT_EQ(img.GetPixelIndex(8, 1), 1);
    EXPECT_EQ(img.GetPixelIndex(7, 1), 0);
    EXPECT_TRUE(SameRgb(img.GetPalette()[1], Bgra(60, 50, 40)));
    EXPECT_TRUE(img.IncreaseBpp(8));
    EXPECT_FALSE(img.IncreaseBpp(4));
    EXPECT_FALSE(img.IncreaseBpp(16));
    EXPECT_EQ(img.GetBpp(), 8);
}

TEST(DepthGrayScale, TrueColourAndIndexed)
{
    Vistel img(2, 1, 24);
    img.SetPixelColor(0, 0, Bgra(0, 0, 255));
    img.SetPixelColor(1, 0, Bgra(255, 255, 255));
    img.AlphaCreate();
    img.AlphaSet(0, 0, 5);
    ASSERT_TRUE(img.GrayScale());
    EXPECT_EQ(img.GetBpp(), 8);
    EXPECT_TRUE(img.IsGrayScale());
    EXPECT_EQ(img.GetPixelIndex(0, 0), 76);
    EXPECT_EQ(img.GetPixelIndex(1, 0), 255);
    EXPECT_EQ(img.AlphaGet(0, 0), 5);

    // 4 bits: indices become the grey levels of their entries, and the
    // transparent index follows its entry.
    Vistel four(3, 1, 4);
    four.SetStdPalette();
    four.SetPixelIndex(0, 0, 2);   // green 008000 -> 75
    four.SetPixelIndex(1, 0, 12);  // blue ff0000 -> 29
    four.SetPixelIndex(2, 0, 15);
    four.SetTransIndex(12);
    ASSERT_TRUE(four.GrayScale());
    EXPECT_EQ(four.GetBpp(), 8);
    EXPECT_EQ(four.GetPixelIndex(0, 0), 75);
    EXPECT_EQ(four.GetPixelIndex(1, 0), 29);
    EXPECT_EQ(four.GetPixelIndex(2, 0), 255);
    EXPECT_EQ(four.GetTransIndex(), 29);

    // 8 bits, in place.
    Vistel eight(1, 1, 8);
    eight.SetStdPalette();
    eight.SetPixelIndex(0, 0, 249);
    ASSERT_TRUE(eight.GrayScale());
    EXPECT_EQ(eight.GetPixelIndex(0, 0), 76);
    EXPECT_TRUE(eight.IsGrayScale());
}

TEST(DepthNegative, PixelsOrPaletteByKind)
{
    Vistel grey = GrayImage({{10, 200}});
    ASSERT_TRUE(grey.Negative());
    EXPECT_EQ(grey.GetPixelIndex(0, 0), 245);
    EXPECT_EQ(grey.GetPixelIndex(1, 0), 55);
    EXPECT_TRUE(grey.IsGrayScale());

    Vistel colour(1, 1, 8);
    colour.SetStdPalette();
    colour.SetPixelIndex(0, 0, 249);
    ASSERT_TRUE(colour.Negative());
    EXPECT_EQ(colour.GetPixelIndex(0, 0), 249);
    EXPECT_TRUE(SameRgb(colour.GetPixelColor(0, 0), Bgra(255, 255, 0)));

    Vistel rgb(1, 1, 24);
    rgb.SetPixelColor(0, 0, Bgra(0, 100, 255));
    rgb.SetTransColor(Bgra(1, 2, 3));
    ASSERT_TRUE(rgb.Negative());
    EXPECT_TRUE(SameRgb(rgb.GetPixelColor(0, 0), Bgra(255, 155, 0)));
    EXPECT_TRUE(SameRgb(rgb.GetTransColor(), Bgra(254, 253, 252)));

    // A 1-bit grey ramp (0, 1): every index flips, the row padding does not.
    Vistel bits(3, 1, 1);
    bits.SetPaletteColor(1, 1, 1, 1);
    bits.Clear(0);
    bits.SetPixelIndex(1, 0, 1);
    ASSERT_TRUE(bits.Negative());
    EXPECT_EQ(Bits(bits)[0], "101");
    EXPECT_EQ(bits.GetBits()[0], 0xA0);
}

TEST(DepthDither, OrderedMethods)
{
    // Grey 128: 128 * 16 / 255 = 8, so the matrix entries 0-7 are white.
    std::vector<std::vector<BYTE>> flat(4, std::vector<BYTE>(8, 128));
    Vistel img = GrayImage(flat);
    ASSERT_TRUE(img.Dither(1));
    EXPECT_EQ(img.GetBpp(), 1);
    EXPECT_EQ(Bits(img), (std::vector<std::string>{"10101010", "01010101", "10101010",
                                                    "01010101"}));
    EXPECT_TRUE(SameRgb(img.GetPalette()[1], Bgra(255, 255, 255)));

    // Method 7 against the scaled Bayer thresholds.
    std::vector<std::vector<BYTE>> levels(4, std::vector<BYTE>(4, 100));
    levels[0][0] = 0;
    levels[3][3] = 255;
    img = GrayImage(levels);
    ASSERT_TRUE(img.Dither(7));
    EXPECT_EQ(Bits(img), (std::vector<std::string>{"0010", "0100", "1010", "0101"}));
}

TEST(DepthDither, ErrorDiffusionKernels)
{
    // Expected patterns worked from the kernel tables, bottom row first.
    const std::vector<std::vector<BYTE>> levels = {{100, 160, 60, 128, 60, 129},
                                                   {129, 129, 200, 129, 100, 60},
                                                   {129, 60, 129, 129, 160, 60},
                                                   {200, 129, 128, 200, 100, 160}};
    const struct {
        long method;
        std::vector<std::string> bits;
    } cases[] = {
        {0, {"010101", "101000", "001110", "110101"}},
        {2, {"010100", "101010", "001100", "110101"}},
        {3, {"010100", "101010", "001010", "110101"}},
        {4, {"010001", "101100", "101110", "100101"}},
        {5, {"010100", "101000", "001110", "110101"}},
        {6, {"010001", "011100", "001110", "100101"}},
        {99, {"010101", "101000", "001110", "110101"}},  // unknown: as 0
    };
    for (const auto& c : cases) {
        Vistel img = GrayImage(levels);
        ASSERT_TRUE(img.Dither(c.method));
        EXPECT_EQ(Bits(img), c.bits) << "method " << c.method;
    }

    // Colour and alpha: grey levels first, the plane is kept.
    Vistel rgb(2, 1, 24);
    rgb.SetPixelColor(0, 0, Bgra(0, 0, 255));  // grey 76
    rgb.SetPixelColor(1, 0, Bgra(255, 255, 255));
    rgb.AlphaCreate();
    rgb.AlphaSet(0, 0, 9);
    ASSERT_TRUE(rgb.Dither(0));
    EXPECT_EQ(Bits(rgb)[0], "01");
    EXPECT_EQ(rgb.AlphaGet(0, 0), 9);
}

TEST(DepthWorkImages, FrameSetStaysWithTheImage)
{
    // Work images start from the image's info block; neither a refused nor
    // a finished conversion may free (or drop) the image's frame set.
    struct Access : Vistel {
        static tagVistelInfo& Info(Vistel& v) { return static_cast<Access&>(v).info; }
    };
    Vistel img = NoiseImage(4, 4, 3);
    img.RetreiveAllFrame();
    Vistel** set = new Vistel*[2]{new Vistel(2, 2, 8), new Vistel(2, 2, 8)};
    Access::Info(img).GifFrames = set;
    Access::Info(img).nNumFrames = 2;

    BYTE array[4] = {0};
    EXPECT_FALSE(img.CreateFromArray(array, 100000, 100000, 8, 0, false));
    EXPECT_TRUE(img.DecreaseBpp(4, true));
    EXPECT_TRUE(img.IncreaseBpp(24));
    EXPECT_TRUE(img.Dither(3));
    EXPECT_TRUE(img.GrayScale());
    EXPECT_TRUE(img.CreateFromArray(array, 1, 1, 8, 4, false));
    EXPECT_EQ(img.GetFrameNo(1), set[1]);
}
