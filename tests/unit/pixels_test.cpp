// Pixels and palette as the codecs and transforms use them: the transparency
// rule, accesses that must stay inside the palette and the rows, packed
// indices, the standard palettes, the nearest-colour search and its cache.
// One property each for the helpers the extension does not call.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "Vistel.h"
#include "test_images.h"

using namespace testimages;

namespace {

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

// A transparent index makes its entry's alpha 0 and every other 255, for
// entries and pixels (outside ones being the transparent entry); a plane's
// alpha comes first when asked for.
TEST(Palette, TransparencyRule)
{
    Vistel img(2, 2, 8);
    DistinctPalette(img);
    EXPECT_EQ(img.GetPaletteColor(4).rgbReserved, 104);
    img.SetTransIndex(3);
    img.SetPixelIndex(1, 0, 4);
    EXPECT_TRUE(Same(img.GetPaletteColor(3), Quad(3, 6, 9, 0)));
    EXPECT_TRUE(Same(img.BlindGetPixelColor(1, 0), Quad(4, 8, 12, 255)));
    EXPECT_TRUE(Same(img.GetPixelColor(5, 5), Quad(3, 6, 9, 0)));
    img.AlphaCreate();
    img.AlphaSet(1, 0, 60);
    EXPECT_EQ(img.GetPixelColor(1, 0, true).rgbReserved, 60);
    EXPECT_EQ(img.GetPixelColor(1, 0, false).rgbReserved, 255);
}

// Entry 2 of a 2-entry palette would be the first pixel bytes.
TEST(Palette, NothingBeyondThePaletteIsReadOrWritten)
{
    Vistel img(4, 2, 1), truecolour(2, 2, 24);
    img.Clear(0);
    const std::vector<BYTE> before = PixelBytes(img);
    BYTE r, g, b, zeros[256 * 4] = {};
    RGBQUAD big[256];
    memset(big, 0xEE, sizeof big);
    EXPECT_TRUE(Same(img.GetPaletteColor(2), Quad(0, 0, 0, 0)));
    EXPECT_FALSE(img.GetPaletteColor(2, &r, &g, &b));
    img.SetPaletteColor(2, 9, 9, 9, 9);
    img.SetPaletteColor(2, Quad(9, 9, 9, 9));
    img.SetPaletteColor(2, RGB(9, 9, 9));
    img.SetPalette(big, 256);
    img.SetPalette(256, zeros, zeros, zeros);
    img.SetPalette((Vistel::rgb_color*)zeros, 256);
    EXPECT_EQ(PixelBytes(img), before);
    EXPECT_TRUE(Same(img.GetPalette()[1], Quad(0, 0, 0, 0xEE)));  // the reserved byte survives
    EXPECT_FALSE(truecolour.GetPaletteColor(0, &r, &g, &b));
    truecolour.SetPaletteColor(0, RGB(1, 2, 3));  // must not crash or write
}

TEST(Palette, GreyAndStandardPalettes)
{
    Vistel four(2, 2, 4), eight(2, 2, 8);
    four.SetGrayPalette();
    eight.SetGrayPalette();
    EXPECT_TRUE(Same(four.GetPalette()[7], Quad(119, 119, 119)));
    EXPECT_FALSE(four.IsGrayScale());  // only the 8-bit identity ramp counts
    EXPECT_TRUE(eight.IsGrayScale());
    eight.SetPaletteColor(200, 200, 201, 200);
    EXPECT_FALSE(eight.IsGrayScale());

    four.GetPalette()[7].rgbReserved = 9;
    four.SetStdPalette();
    eight.SetStdPalette();
    // {4-bit or 8-bit, index, blue-green-red}; the reserved bytes are reset.
    for (auto [bits, idx, bgr] : {std::tuple{4, 7, 0xc0c0c0}, {4, 9, 0x0000ff}, {8, 8, 0xc0dcc0}, {8, 40, 0x0000fe},
                                  {8, 137, 0xdc9200}, {8, 226, 0xf2f2f2}, {8, 247, 0xa4a0a0}}) {
        const RGBQUAD want = Quad(bgr >> 16, (bgr >> 8) & 255, bgr & 255);
        EXPECT_TRUE(Same((bits == 4 ? four : eight).GetPalette()[idx], want)) << bits << " " << idx;
    }
    // Entries 249-255 repeat the last seven of the 16-entry table.
    for (int i = 9; i < 16; i++) EXPECT_TRUE(Same(eight.GetPalette()[240 + i], four.GetPalette()[i]));
}

TEST(Pixels, PackedLayoutPerDepth)
{
    Vistel one(17, 2, 1), four(5, 1, 4), full(3, 2, 24);
    one.Clear(0);
    four.Clear(0);
    full.Clear(0);
    one.SetPixelIndex(9, 0, 3);  // masked to 1
    one.SetPixelIndex(16, 1, 1);
    four.SetPixelIndex(2, 0, 0x1A);  // masked to 10, high nibble
    four.SetPixelIndex(3, 0, 0x05);
    four.SetPixelIndex(4, 0, 0x0F);
    full.SetPixelColor(2, 1, RGB(30, 20, 10));
    full.SetPixelIndex(1, 1, 5);  // no index to set in true colour
    EXPECT_EQ(one.GetBits(0)[1], 0x40);
    EXPECT_EQ(one.GetBits(1)[2], 0x80);
    EXPECT_EQ(one.GetPixelIndex(9, 0), 1);
    EXPECT_EQ(four.GetBits(0)[1], 0xA5);
    EXPECT_EQ(four.GetBits(0)[2], 0xF0);
    EXPECT_EQ(four.BlindGetPixelIndex(2, 0), 10);
    EXPECT_EQ(full.BlindGetPixelPointer(2, 1), full.GetBits(1) + 6);
    EXPECT_EQ(0, memcmp(full.GetBits(1), "\0\0\0\0\0\0\x0A\x14\x1E", 9));  // blue, green, red
    EXPECT_EQ(full.GetPixelIndex(1, 1), 0);
}

// Outside reads give the transparent entry or colour, or else pixel (0, 0).
TEST(Pixels, OutsideReadsTheBackgroundAndNeverWrites)
{
    Vistel img(3, 2, 8), full(3, 2, 24);  // rows of 4 and 12 bytes: padding
    img.Clear(0);
    full.Clear(0);
    img.SetPixelIndex(0, 0, 42);
    full.SetPixelColor(0, 0, Quad(1, 2, 3));
    EXPECT_EQ(img.GetPixelIndex(0, 2), 42);
    EXPECT_TRUE(Same(full.GetPixelColor(3, 2), Quad(1, 2, 3)));
    img.SetTransIndex(5);
    full.SetTransIndex(0);
    full.SetTransColor(Quad(7, 8, 9));
    EXPECT_EQ(img.GetPixelIndex(-1, 0), 5);
    EXPECT_TRUE(Same(full.GetPixelColor(-1, 0), Quad(7, 8, 9)));

    const std::vector<BYTE> before = PixelBytes(img), fullBefore = PixelBytes(full);
    for (auto [x, y] : {std::pair{-1L, 0L}, {3L, 0L}, {4L, 0L}, {100000L, 0L}, {0L, -1L}, {0L, 2L}}) {
        img.SetPixelIndex(x, y, 9);
        img.SetPixelColor(x, y, Quad(9, 9, 9));
        full.SetPixelColor(x, y, Quad(9, 9, 9), true);
    }
    EXPECT_EQ(PixelBytes(img), before);
    EXPECT_EQ(PixelBytes(full), fullBefore);
}

TEST(Pixels, SetPixelColorWritesThePlaneOnlyWhenAsked)
{
    Vistel img(3, 1, 24);
    img.AlphaCreate();
    img.SetPixelColor(1, 0, Quad(4, 5, 6, 77), true);
    img.SetPixelColor(2, 0, Quad(4, 5, 6, 88), false);
    EXPECT_EQ(img.BlindGetPixelColor(1, 0).rgbReserved, 77);
    EXPECT_EQ(img.AlphaGet(2, 0), 255);
}

// The nearest entry, ties to the lower index, reserved bytes not counted;
// the search caches its last answer, and every way of changing the palette
// or the number of entries searched must drop it.
TEST(NearestIndex, ClosestEntryAndTheCache)
{
    Vistel img(1, 1, 8);
    for (int i = 0; i < 256; i++) img.SetPaletteColor(i, Quad(255, 255, 255));
    img.SetPaletteColor(3, Quad(0, 0, 100));
    img.SetPaletteColor(4, Quad(0, 0, 110));
    img.SetPaletteColor(9, Quad(0, 0, 110));
    EXPECT_EQ(img.GetNearestIndex(Quad(0, 0, 105)), 3);
    EXPECT_EQ(img.GetNearestIndex(Quad(0, 0, 106)), 4);
    EXPECT_EQ(img.GetNearestIndex(Quad(0, 0, 110, 9)), 4);

    const RGBQUAD c = Quad(50, 50, 50);
    img.SetGrayPalette();
    img.SetClrImportant(4);
    EXPECT_EQ(img.GetNearestIndex(c), 3);
    img.SetClrImportant(0);
    EXPECT_EQ(img.GetNearestIndex(c), 50);
    img.GetPalette()[50] = Quad(0, 0, 0);  // behind the setters' back: the cache answers
    EXPECT_EQ(img.GetNearestIndex(c), 50);
    EXPECT_EQ(img.GetNearestIndex(Quad(50, 50, 50, 1)), 49);  // the key includes the reserved byte
    const std::pair<std::function<void(Vistel&)>, int> setters[] = {
        {[](Vistel& v) { v.SetPaletteColor(7, 50, 50, 50); }, 7},
        {[](Vistel& v) { v.SetPaletteColor(7, Quad(50, 50, 50)); }, 7},
        {[](Vistel& v) { v.SetPaletteColor(7, RGB(50, 50, 50)); }, 7},
        {[](Vistel& v) { RGBQUAD p[8] = {}; p[7] = Quad(50, 50, 50); v.SetPalette(p, 8); }, 7},
        {[](Vistel& v) { BYTE r[8] = {1, 1, 1, 1, 1, 1, 1, 50}; v.SetPalette(8, r); }, 7},
        {[](Vistel& v) { Vistel::rgb_color p[8] = {}; p[7] = {50, 50, 50}; v.SetPalette(p, 8); }, 7},
        {[](Vistel& v) { v.SwapIndex(7, 48); }, 7},  // 48 ties with 52, lower index wins
        {[](Vistel& v) { v.SetGrayPalette(); }, 50},
        {[](Vistel& v) { v.SetStdPalette(); }, 242},
        {[](Vistel& v) { v.Create(1, 1, 8); }, 0},  // zeroed palette: every entry ties
    };
    for (const auto& [setter, want] : setters) {
        img.SetGrayPalette();
        for (int i : {49, 50, 51}) img.GetPalette()[i] = Quad(0, 0, 0);
        ASSERT_NE(img.GetNearestIndex(c), want);
        setter(img);
        EXPECT_EQ(img.GetNearestIndex(c), want);
    }
}

TEST(PixelHelpers, OnePropertyEach)
{
    Vistel img(5, 4, 24), indexed(2, 1, 8), a(2, 2, 8), b(2, 2, 8);
    img.Clear(0);
    img.BlendPixelColor(0, 0, Quad(255, 255, 255, 9), 0.5f);
    EXPECT_TRUE(Same(img.GetPixelColor(0, 0, false), Quad(127, 127, 127)));
    EXPECT_EQ(img.GetPixelGray(0, 0), 127);
    img.DrawLine(0, 4, 0, 1, RGB(255, 255, 255));  // the minor step comes halfway
    for (long n = 0; n < 20; n++) EXPECT_EQ(RawPixel(img, n % 5, n / 5) == 0xFFFFFFu, n / 5 == (n % 5 > 1)) << n;
    BYTE rgb[6] = {1, 2, 3, 4, 5, 6};
    img.RGBtoBGR(rgb, 6);
    EXPECT_EQ(0, memcmp(rgb, "\3\2\1\6\5\4", 6));
    indexed.SetPixelIndex(0, 0, 7);
    indexed.SetPixelIndex(1, 0, 8);
    indexed.SetTransIndex(7);
    EXPECT_TRUE(indexed.IsTransparent(0, 0) && !indexed.IsTransparent(1, 0));
    DistinctPalette(a);
    DistinctPalette(b);
    EXPECT_TRUE(a.IsSamePalette(b));
    b.BlendPalette(RGB(200, 100, 50), 150);  // capped at full strength
    EXPECT_TRUE(Same(b.GetPalette()[5], Quad(50, 100, 200, 105)));
    EXPECT_FALSE(a.IsSamePalette(b));
}
