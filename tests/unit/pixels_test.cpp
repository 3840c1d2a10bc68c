// Pixels and palette: palette entries and the transparency rule, pixel
// access at 1, 4, 8 and 24 bits inside and outside the image, the
// nearest-colour search and its cache, blending, line drawing, index
// swapping, the important-colour count and the standard palettes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "Vistel.h"
#include "test_images.h"

namespace {

using namespace testimages;

RGBQUAD Quad(BYTE b, BYTE g, BYTE r, BYTE a = 0)
{
    return RGBQUAD{b, g, r, a};
}

// Palette entry i = (i, 2i, 3i) with reserved 100 + i.
void DistinctPalette(Vistel& img)
{
    for (DWORD i = 0; i < img.GetNumColors(); i++)
        img.GetPalette()[i] = Quad((BYTE)i, (BYTE)(2 * i), (BYTE)(3 * i), (BYTE)(100 + i));
}

std::vector<BYTE> PixelBytes(const Vistel& img)
{
    return std::vector<BYTE>(img.GetBits(0), img.GetBits(0) + img.GetEffWidth() * img.GetHeight());
}

}  // namespace

// ------------------------------------------------------------ palette

TEST(Palette, TransparencyRuleRewritesReservedBytes)
{
    Vistel img(2, 2, 8);
    DistinctPalette(img);
    EXPECT_EQ(img.GetPaletteColor(3).rgbReserved, 103);
    EXPECT_EQ(img.GetPaletteColor(4).rgbReserved, 104);
    img.SetTransIndex(3);
    EXPECT_EQ(img.GetPaletteColor(3).rgbReserved, 0);
    EXPECT_EQ(img.GetPaletteColor(4).rgbReserved, 255);
    EXPECT_EQ(img.GetPaletteColor(4).rgbRed, 12);
    // The three-channel form ignores the rule and the stored reserved byte.
    BYTE r, g, b;
    ASSERT_TRUE(img.GetPaletteColor(4, &r, &g, &b));
    EXPECT_EQ(r, 12);
    EXPECT_EQ(g, 8);
    EXPECT_EQ(b, 4);
}

TEST(Palette, EntriesBeyondThePaletteAreNeitherReadNorWritten)
{
    Vistel img(16, 2, 1);
    DistinctPalette(img);
    img.Clear(0);
    const std::vector<BYTE> before = PixelBytes(img);
    EXPECT_TRUE(Same(img.GetPaletteColor(2), Quad(0, 0, 0, 0)));
    BYTE r, g, b;
    EXPECT_FALSE(img.GetPaletteColor(2, &r, &g, &b));
    // Entry 2 of a 2-entry palette would be the first pixel bytes.
    img.SetPaletteColor(2, 9, 9, 9, 9);
    img.SetPaletteColor(2, Quad(9, 9, 9, 9));
    img.SetPaletteColor(2, RGB(9, 9, 9));
    EXPECT_EQ(PixelBytes(img), before);

    Vistel empty, truecolour(2, 2, 24);
    EXPECT_TRUE(Same(empty.GetPaletteColor(0), Quad(0, 0, 0, 0)));
    EXPECT_TRUE(Same(truecolour.GetPaletteColor(0), Quad(0, 0, 0, 0)));
    EXPECT_FALSE(truecolour.GetPaletteColor(0, &r, &g, &b));
    truecolour.SetPaletteColor(0, RGB(1, 2, 3));  // must not crash or write
}

TEST(Palette, WholePaletteSettersStopAtThePaletteSize)
{
    Vistel img(4, 1, 1);
    img.Clear(0);
    const std::vector<BYTE> before = PixelBytes(img);
    RGBQUAD big[256];
    for (int i = 0; i < 256; i++) big[i] = Quad(0xEE, 0xEE, 0xEE, 0xEE);
    img.SetPalette(big, 256);
    EXPECT_EQ(PixelBytes(img), before);
    EXPECT_TRUE(Same(img.GetPalette()[1], big[1]));

    Vistel img8(2, 2, 8);
    DistinctPalette(img8);
    img8.SetPalette(big, 3);
    EXPECT_TRUE(Same(img8.GetPalette()[2], big[2]));
    EXPECT_EQ(img8.GetPalette()[3].rgbRed, 9);

    // Channel arrays: missing green and blue repeat red; reserved survives.
    BYTE red[3] = {5, 6, 7};
    img8.SetPalette(3, red);
    EXPECT_TRUE(Same(img8.GetPalette()[1], Quad(6, 6, 6, 0xEE)));
    EXPECT_EQ(img8.GetPalette()[3].rgbRed, 9);
    BYTE green[3] = {15, 16, 17};
    img8.SetPalette(2, red, green);
    EXPECT_TRUE(Same(img8.GetPalette()[1], Quad(16, 16, 6, 0xEE)));

    Vistel::rgb_color rgb[2] = {{1, 2, 3}, {4, 5, 6}};
    img8.SetPalette(rgb, 2);
    EXPECT_TRUE(Same(img8.GetPalette()[1], Quad(6, 5, 4, 0xEE)));
    EXPECT_EQ(img8.GetPalette()[2].rgbBlue, 7);
}

TEST(Palette, GreyRampsAndGreyTest)
{
    Vistel one(2, 2, 1), four(2, 2, 4), eight(2, 2, 8);
    one.SetGrayPalette();
    four.SetGrayPalette();
    eight.SetGrayPalette();
    EXPECT_EQ(one.GetPalette()[1].rgbGreen, 255);
    EXPECT_TRUE(Same(four.GetPalette()[7], Quad(119, 119, 119)));
    EXPECT_TRUE(Same(eight.GetPalette()[200], Quad(200, 200, 200)));
    EXPECT_FALSE(one.IsGrayScale());
    EXPECT_FALSE(four.IsGrayScale());
    EXPECT_TRUE(eight.IsGrayScale());
    eight.SetPaletteColor(200, 200, 201, 200);
    EXPECT_FALSE(eight.IsGrayScale());
    Vistel truecolour(2, 2, 24);
    EXPECT_FALSE(truecolour.IsGrayScale());
}

TEST(Palette, StandardPalettesMatchTheTables)
{
    Vistel four(2, 2, 4);
    four.GetPalette()[7].rgbReserved = 9;
    four.SetStdPalette();
    EXPECT_TRUE(Same(four.GetPalette()[7], Quad(192, 192, 192)));  // reserved byte reset
    EXPECT_TRUE(Same(four.GetPalette()[9], Quad(0, 0, 255)));

    Vistel eight(2, 2, 8);
    eight.SetStdPalette();
    const struct { int idx; DWORD bgr; } spots[] = {
        {8, 0xc0dcc0}, {40, 0x0000fe}, {137, 0xdc9200}, {226, 0xf2f2f2}, {247, 0xa4a0a0}};
    for (const auto& s : spots) {
        SCOPED_TRACE(s.idx);
        EXPECT_TRUE(Same(eight.GetPalette()[s.idx],
                         Quad(s.bgr >> 16, (s.bgr >> 8) & 255, s.bgr & 255)));
    }
    // Entries 249-255 repeat the last seven of the 16-entry table.
    for (int i = 9; i < 16; i++) EXPECT_TRUE(Same(eight.GetPalette()[240 + i], four.GetPalette()[i]));

    Vistel one(2, 2, 1);
    one.SetPaletteColor(1, 1, 2, 3);
    one.SetStdPalette();
    EXPECT_TRUE(Same(one.GetPalette()[1], Quad(3, 2, 1)));
}

TEST(Palette, BlendPaletteMixesAndCapsAtFullStrength)
{
    Vistel img(2, 2, 4);
    DistinctPalette(img);
    img.BlendPalette(RGB(200, 100, 50), 150);
    for (int i = 0; i < 16; i++) EXPECT_TRUE(Same(img.GetPalette()[i], Quad(50, 100, 200, 100 + i)));
    img.SetPaletteColor(0, Quad(0, 0, 0, 0));
    img.SetPaletteColor(1, Quad(255, 255, 255, 0));
    img.BlendPalette(RGB(101, 0, 255), 50);
    EXPECT_TRUE(Same(img.GetPalette()[0], Quad(127, 0, 50)));
    EXPECT_TRUE(Same(img.GetPalette()[1], Quad(255, 127, 178)));
}

TEST(Palette, IsSamePaletteComparesThroughTheTransparencyRule)
{
    Vistel a(2, 2, 8), b(2, 2, 8), c(2, 2, 4), d(2, 2, 24), e(2, 2, 24);
    DistinctPalette(a);
    DistinctPalette(b);
    EXPECT_TRUE(a.IsSamePalette(b));
    EXPECT_FALSE(a.IsSamePalette(c));
    EXPECT_FALSE(d.IsSamePalette(e));
    b.SetPaletteColor(5, Quad(5, 10, 15, 0));
    EXPECT_FALSE(a.IsSamePalette(b, true));
    EXPECT_TRUE(a.IsSamePalette(b, false));
    // The rule reports 0 for the transparent entry whatever is stored.
    a.SetTransIndex(5);
    b.SetTransIndex(5);
    EXPECT_TRUE(a.IsSamePalette(b, true));
    b.SetPaletteColor(5, Quad(5, 10, 16, 105));
    EXPECT_FALSE(a.IsSamePalette(b, false));
}

TEST(Palette, SwapIndexExchangesEntriesAndPixels)
{
    Vistel img(5, 2, 4);
    DistinctPalette(img);
    const BYTE idx[2][5] = {{1, 2, 3, 2, 1}, {0, 2, 2, 1, 15}};
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 5; x++) img.SetPixelIndex(x, y, idx[y][x]);
    img.SetTransIndex(2);
    img.SwapIndex(1, 2);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 5; x++) {
            const BYTE want = idx[y][x] == 1 ? 2 : idx[y][x] == 2 ? 1 : idx[y][x];
            EXPECT_EQ(img.GetPixelIndex(x, y), want) << x << "," << y;
        }
    // Entries went through the transparency rule on their way.
    EXPECT_TRUE(Same(img.GetPalette()[1], Quad(2, 4, 6, 0)));
    EXPECT_TRUE(Same(img.GetPalette()[2], Quad(1, 2, 3, 255)));
}

// ------------------------------------------------------------ pixels

TEST(PixelIndex, PackedLayoutPerDepth)
{
    Vistel one(17, 2, 1);
    one.Clear(0);
    one.SetPixelIndex(9, 0, 3);  // masked to 1
    EXPECT_EQ(one.GetBits(0)[1], 0x40);
    EXPECT_EQ(one.GetPixelIndex(9, 0), 1);
    EXPECT_EQ(one.GetPixelIndex(8, 0), 0);
    one.SetPixelIndex(16, 1, 1);
    EXPECT_EQ(one.GetBits(1)[2], 0x80);

    Vistel four(5, 1, 4);
    four.Clear(0);
    four.SetPixelIndex(2, 0, 0x1A);  // masked to 10, high nibble
    four.SetPixelIndex(3, 0, 0x05);  // low nibble
    four.SetPixelIndex(4, 0, 0x0F);
    EXPECT_EQ(four.GetBits(0)[1], 0xA5);
    EXPECT_EQ(four.GetBits(0)[2], 0xF0);
    EXPECT_EQ(four.GetPixelIndex(2, 0), 10);
    EXPECT_EQ(four.BlindGetPixelIndex(3, 0), 5);

    Vistel eight(3, 2, 8);
    eight.SetPixelIndex(2, 1, 200);
    EXPECT_EQ(eight.GetBits(1)[2], 200);
    EXPECT_EQ(eight.GetPixelIndex(2, 1), 200);

    Vistel full(3, 2, 24);
    full.Clear(7);
    EXPECT_EQ(full.GetPixelIndex(1, 1), 0);
    full.SetPixelIndex(1, 1, 5);
    EXPECT_EQ(full.GetBits(1)[3], 7);
}

TEST(PixelIndex, OutsideReadsBackgroundAndNeverWrites)
{
    Vistel img(3, 2, 8);  // rows of 4 bytes: one padding byte each
    img.Clear(0);
    img.SetPixelIndex(0, 0, 42);
    img.SetTransIndex(5);
    EXPECT_EQ(img.GetPixelIndex(-1, 0), 5);
    EXPECT_EQ(img.GetPixelIndex(3, 1), 5);
    img.SetTransIndex(-1);
    EXPECT_EQ(img.GetPixelIndex(-1, 0), 42);
    EXPECT_EQ(img.GetPixelIndex(0, 2), 42);

    const std::vector<BYTE> before = PixelBytes(img);
    for (long x : {-1L, 3L, 4L, 100000L}) img.SetPixelIndex(x, 0, 9);
    for (long y : {-1L, 2L}) img.SetPixelIndex(0, y, 9);
    EXPECT_EQ(PixelBytes(img), before);

    Vistel empty;
    EXPECT_EQ(empty.GetPixelIndex(0, 0), 0);
    empty.SetPixelIndex(0, 0, 1);
}

TEST(PixelColor, IndexedColoursFollowTheTransparencyRuleAndAlpha)
{
    Vistel img(2, 2, 8);
    DistinctPalette(img);
    img.SetPixelIndex(0, 0, 3);
    img.SetPixelIndex(1, 0, 4);
    img.SetTransIndex(3);
    EXPECT_TRUE(Same(img.GetPixelColor(0, 0), Quad(3, 6, 9, 0)));
    EXPECT_TRUE(Same(img.GetPixelColor(1, 0), Quad(4, 8, 12, 255)));
    EXPECT_TRUE(Same(img.BlindGetPixelColor(1, 0), Quad(4, 8, 12, 255)));
    // Outside: the transparent entry.
    EXPECT_TRUE(Same(img.GetPixelColor(5, 5), Quad(3, 6, 9, 0)));

    img.AlphaCreate();
    img.AlphaSet(1, 0, 60);
    EXPECT_EQ(img.GetPixelColor(1, 0, true).rgbReserved, 60);
    EXPECT_EQ(img.GetPixelColor(1, 0, false).rgbReserved, 255);
    EXPECT_EQ(img.BlindGetPixelColor(1, 0).rgbReserved, 255);

    // Setting a colour picks the nearest entry and leaves the plane alone.
    img.SetStdPalette();
    img.SetPixelColor(1, 0, Quad(255, 0, 0, 3), true);
    EXPECT_EQ(img.GetPixelIndex(1, 0), 252);
    img.SetPixelColor(1, 0, Quad(253, 0, 0, 3), true);
    EXPECT_EQ(img.GetPixelIndex(1, 0), 112);
    EXPECT_EQ(img.AlphaGet(1, 0), 60);
}

TEST(PixelColor, TrueColourChannelsAlphaAndOutside)
{
    Vistel img(3, 2, 24);
    img.Clear(0);
    img.SetPixelColor(0, 0, Quad(1, 2, 3, 200), true);  // no plane: alpha ignored
    img.SetPixelColor(2, 1, RGB(30, 20, 10));
    EXPECT_EQ(img.GetBits(0)[0], 1);
    EXPECT_EQ(img.GetBits(0)[2], 3);
    EXPECT_TRUE(Same(img.GetPixelColor(2, 1), Quad(10, 20, 30, 0)));
    EXPECT_EQ(img.BlindGetPixelPointer(2, 1), img.GetBits(1) + 6);
    EXPECT_EQ(img.GetPixelGray(2, 1), (10 * 117 + 20 * 601 + 30 * 306) >> 10);

    // Outside without a transparent index: the colour of pixel (0, 0).
    EXPECT_TRUE(Same(img.GetPixelColor(-1, 0), Quad(1, 2, 3, 0)));
    EXPECT_TRUE(Same(img.GetPixelColor(3, 2), Quad(1, 2, 3, 0)));
    img.SetTransIndex(0);
    img.SetTransColor(Quad(7, 8, 9));
    EXPECT_TRUE(Same(img.GetPixelColor(3, 2), Quad(7, 8, 9)));

    img.AlphaCreate();
    img.SetPixelColor(1, 0, Quad(4, 5, 6, 77), true);
    img.SetPixelColor(2, 0, Quad(4, 5, 6, 88), false);
    EXPECT_EQ(img.AlphaGet(1, 0), 77);
    EXPECT_EQ(img.AlphaGet(2, 0), 255);
    EXPECT_EQ(img.GetPixelColor(1, 0).rgbReserved, 77);
    EXPECT_EQ(img.GetPixelColor(1, 0, false).rgbReserved, 0);
    EXPECT_EQ(img.BlindGetPixelColor(1, 0).rgbReserved, 77);

    Vistel empty;
    empty.SetTransColor(Quad(1, 1, 1));
    EXPECT_TRUE(Same(empty.GetPixelColor(0, 0), Quad(1, 1, 1)));
    Vistel indexed(2, 2, 8);
    EXPECT_EQ(indexed.BlindGetPixelPointer(0, 0), nullptr);
}

TEST(PixelColor, IsTransparentByIndexColourOrAlpha)
{
    Vistel indexed(2, 1, 8);
    indexed.SetPixelIndex(0, 0, 7);
    indexed.SetPixelIndex(1, 0, 8);
    EXPECT_FALSE(indexed.IsTransparent(0, 0));
    indexed.SetTransIndex(7);
    EXPECT_TRUE(indexed.IsTransparent(0, 0));
    EXPECT_FALSE(indexed.IsTransparent(1, 0));
    indexed.AlphaCreate();
    indexed.AlphaSet(1, 0, 0);
    EXPECT_TRUE(indexed.IsTransparent(1, 0));

    Vistel full(2, 1, 24);
    full.SetPixelColor(0, 0, RGB(1, 2, 3));
    full.SetPixelColor(1, 0, RGB(1, 2, 4));
    full.SetTransIndex(0);
    full.SetTransColor(RGBtoRGBQUAD(RGB(1, 2, 3)));
    EXPECT_TRUE(full.IsTransparent(0, 0));
    EXPECT_FALSE(full.IsTransparent(1, 0));

    Vistel empty;
    EXPECT_FALSE(empty.IsTransparent(0, 0));
}

TEST(PixelColor, RGBtoBGRSwapsWithinOneRow)
{
    Vistel img(2, 1, 24);  // dwEffWidth 8
    BYTE buf[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    img.RGBtoBGR(buf, 12);
    const BYTE want[12] = {3, 2, 1, 6, 5, 4, 7, 8, 9, 10, 11, 12};
    EXPECT_EQ(0, memcmp(buf, want, 12));
    img.RGBtoBGR(buf, 2);
    EXPECT_EQ(0, memcmp(buf, want, 12));

    Vistel indexed(2, 1, 8);
    indexed.RGBtoBGR(buf, 12);
    EXPECT_EQ(0, memcmp(buf, want, 12));
}

// ------------------------------------------------------------ nearest colour

TEST(NearestIndex, ExactThenClosestWithTiesToTheLowerIndex)
{
    Vistel img(1, 1, 8);
    for (int i = 0; i < 256; i++) img.SetPaletteColor(i, Quad(255, 255, 255));
    img.SetPaletteColor(3, Quad(0, 0, 100));
    img.SetPaletteColor(4, Quad(0, 0, 110));
    img.SetPaletteColor(9, Quad(0, 0, 110));
    EXPECT_EQ(img.GetNearestIndex(Quad(0, 0, 105)), 3);
    EXPECT_EQ(img.GetNearestIndex(Quad(0, 0, 106)), 4);
    EXPECT_EQ(img.GetNearestIndex(Quad(0, 0, 110)), 4);
    // Reserved bytes take no part in the distance.
    EXPECT_EQ(img.GetNearestIndex(Quad(0, 0, 110, 9)), 4);

    Vistel full(1, 1, 24), empty;
    EXPECT_EQ(full.GetNearestIndex(Quad(1, 2, 3)), 0);
    EXPECT_EQ(empty.GetNearestIndex(Quad(1, 2, 3)), 0);
}

TEST(NearestIndex, ClrImportantLimitsTheSearchAndDropsTheCache)
{
    Vistel img(1, 1, 8);
    img.SetGrayPalette();
    img.SetClrImportant(4);
    EXPECT_EQ(img.GetNearestIndex(Quad(200, 200, 200)), 3);
    // The same colour again: a cached answer from the narrower search
    // would be wrong.
    img.SetClrImportant(0);
    EXPECT_EQ(img.GetNearestIndex(Quad(200, 200, 200)), 200);
}

TEST(NearestIndex, CacheAnswersRepeatsUntilThePaletteChanges)
{
    Vistel img(1, 1, 8);
    img.SetGrayPalette();
    const RGBQUAD c = Quad(50, 50, 50);
    ASSERT_EQ(img.GetNearestIndex(c), 50);
    // A write behind the palette setters' back is not seen: the cache answers.
    img.GetPalette()[50] = Quad(0, 0, 0);
    EXPECT_EQ(img.GetNearestIndex(c), 50);
    // The cache key includes the reserved byte.
    EXPECT_EQ(img.GetNearestIndex(Quad(50, 50, 50, 1)), 49);

    // Every palette setter drops the cached answer.
    const std::function<void(Vistel&)> setters[] = {
        [](Vistel& v) { v.SetPaletteColor(7, 50, 50, 50); },
        [](Vistel& v) { v.SetPaletteColor(7, Quad(50, 50, 50)); },
        [](Vistel& v) { v.SetPaletteColor(7, RGB(50, 50, 50)); },
        [](Vistel& v) { RGBQUAD p[8] = {}; p[7] = Quad(50, 50, 50); v.SetPalette(p, 8); },
        [](Vistel& v) { BYTE r[8] = {1, 1, 1, 1, 1, 1, 1, 50}; v.SetPalette(8, r); },
        [](Vistel& v) { Vistel::rgb_color p[8] = {}; p[7] = {50, 50, 50}; v.SetPalette(p, 8); },
        [](Vistel& v) { v.SwapIndex(7, 48); },  // 48 ties with 52, lower index wins
        [](Vistel& v) { v.BlendPalette(RGB(50, 50, 50), 100); },
    };
    for (size_t n = 0; n < sizeof setters / sizeof setters[0]; n++) {
        SCOPED_TRACE(n);
        img.SetGrayPalette();
        img.GetPalette()[50] = Quad(0, 0, 0);
        img.GetPalette()[49] = Quad(0, 0, 0);
        img.GetPalette()[51] = Quad(0, 0, 0);
        ASSERT_NE(img.GetNearestIndex(c), 7);
        setters[n](img);
        EXPECT_EQ(img.GetNearestIndex(c), n == 7 ? 0 : 7);
    }

    // SetGrayPalette, SetStdPalette and Create clear it as well.
    ASSERT_EQ(img.GetNearestIndex(c), 0);  // after the blend every entry is c
    img.SetGrayPalette();
    EXPECT_EQ(img.GetNearestIndex(c), 50);
    img.SetStdPalette();
    EXPECT_EQ(img.GetNearestIndex(c), 242);
    img.Create(1, 1, 8);  // zeroed palette: every entry ties
    EXPECT_EQ(img.GetNearestIndex(c), 0);
}

// ------------------------------------------------------------ blending and lines

TEST(BlendPixel, MixesChannelsByWeight)
{
    Vistel img(2, 1, 24);
    img.Clear(0);
    img.AlphaCreate();
    img.BlendPixelColor(0, 0, Quad(255, 255, 255, 9), 0.5f);
    EXPECT_TRUE(Same(img.GetPixelColor(0, 0, false), Quad(127, 127, 127)));
    EXPECT_EQ(img.AlphaGet(0, 0), 255);
    img.BlendPixelColor(1, 0, Quad(200, 100, 50, 9), 1.0f, true);
    EXPECT_TRUE(Same(img.GetPixelColor(1, 0, false), Quad(200, 100, 50)));
    EXPECT_EQ(img.AlphaGet(1, 0), 9);
    img.BlendPixelColor(1, 0, Quad(0, 0, 0), 0.0f);
    EXPECT_TRUE(Same(img.GetPixelColor(1, 0, false), Quad(200, 100, 50)));
    img.BlendPixelColor(2, 0, Quad(0, 0, 0), 0.5f);  // outside: nothing

    Vistel indexed(1, 1, 8);
    indexed.SetGrayPalette();
    indexed.SetPixelIndex(0, 0, 0);
    indexed.BlendPixelColor(0, 0, Quad(200, 200, 200), 0.25f);
    EXPECT_EQ(indexed.GetPixelIndex(0, 0), 50);
}

TEST(DrawLine, StepsAlongTheMajorAxis)
{
    using P = std::vector<std::pair<int, int>>;
    const struct { long x0, x1, y0, y1; P lit; } lines[] = {
        {0, 3, 0, 1, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        // From the other end the minor step comes at other pixels.
        {0, 4, 0, 1, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}}},
        {4, 0, 1, 0, {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}}},
        {1, 1, 3, 0, {{1, 0}, {1, 1}, {1, 2}, {1, 3}}},
        // Partly outside: the inside part is drawn, nothing else.
        {-2, 6, -2, 6, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}}};
    Vistel img(5, 4, 1);
    img.SetPaletteColor(1, RGB(255, 255, 255));
    for (const auto& l : lines) {
        SCOPED_TRACE(testing::Message() << l.x0 << "," << l.y0 << " to " << l.x1 << "," << l.y1);
        img.Clear(0);
        img.DrawLine(l.x0, l.x1, l.y0, l.y1, Quad(255, 255, 255));
        P on;
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 5; x++)
                if (img.GetPixelIndex(x, y)) on.emplace_back(x, y);
        EXPECT_EQ(on, l.lit);
    }
}
