// Colour depth. Writing a photo as GIF reduces it to 8 bits with error
// diffusion (DecreaseBpp): its fast paths are checked against the
// pixel-by-pixel definition and its weights by hand. The construction and
// depth helpers the extension does not call keep one property each.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "SafeSize.h"
#include "Vistel.h"
#include "test_images.h"

using namespace testimages;

namespace {

RGBQUAD Bgr(BYTE b, BYTE g, BYTE r)
{
    return RGBQUAD{b, g, r, 0};
}

// Pixel indices as one string per row, bottom row first.
std::vector<std::string> Indices(Vistel& img)
{
    std::vector<std::string> rows(img.GetHeight());
    for (long y = 0; y < (long)img.GetHeight(); y++)
        for (long x = 0; x < (long)img.GetWidth(); x++) rows[y] += (char)('0' + img.GetPixelIndex(x, y));
    return rows;
}

// Grey levels into a 24-bit image, or an 8-bit identity-grey one; rows[0]
// at the bottom.
Vistel Levels(const std::vector<std::vector<BYTE>>& rows, DWORD bpp = 24)
{
    Vistel img((DWORD)rows[0].size(), (DWORD)rows.size(), bpp);
    img.SetGrayPalette();
    for (size_t y = 0; y < rows.size(); y++)
        for (size_t x = 0; x < rows[y].size(); x++) {
            const BYTE v = rows[y][x];
            if (bpp == 24) img.SetPixelColor((long)x, (long)y, Bgr(v, v, v));
            else img.SetPixelIndex((long)x, (long)y, v);
        }
    return img;
}

}  // namespace

// The standard palette, and a coarse one full of duplicates and equidistant
// entries searched among its first 100 (ties go low), each with and without
// Floyd-Steinberg diffusion, against the definition: each pixel takes the
// nearest entry and passes 7/16, 2/16, 4/16 and 1/16 of its error on.
TEST(DepthDecrease, FastPathsMatchThePixelByPixelDefinition)
{
    RGBQUAD coarse[256];
    for (int i = 0; i < 256; i++) coarse[i] = Bgr(i * 7 % 5 * 63, i * 3 % 5 * 63, i % 5 * 63);
    for (RGBQUAD* pal : {(RGBQUAD*)nullptr, coarse})
        for (bool diffuse : {false, true}) {
            const DWORD important = pal ? 100 : 0;
            Vistel img, expect(37, 11, 8);
            MakeNoisy(img, 37, 11, 24, false, 7);
            for (DWORD i = 0; pal && i < img.GetEffWidth() * 11; i++)  // coarse: levels 0, 63, ... 252
                img.GetBits()[i] = (BYTE)(img.GetBits()[i] % 5 * 63);
            if (pal) expect.SetPalette(pal);
            else expect.SetStdPalette();
            expect.SetClrImportant(important);
            Vistel src(img);
            for (long y = 0; y < 11; y++)
                for (long x = 0; x < 37; x++) {
                    RGBQUAD c = src.GetPixelColor(x, y, true);
                    expect.SetPixelColor(x, y, c, false);
                    if (!diffuse) continue;
                    RGBQUAD q = expect.GetPixelColor(x, y, true);
                    for (auto& t : {std::array<int, 3>{1, 0, 7}, {-1, 1, 2}, {0, 1, 4}, {1, 1, 1}}) {
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

// To black and white; rows bottom first. (0,0) 94 black, e 94: (1,0)
// 76+41=117, (0,1) 90+23=113, (1,1) 186+5=191. (1,0) 117 black, e 117:
// (2,0) 125+51=176, (0,1) 113+14=127, (1,1) 220, (2,1) 175+7=182. (2,0) 176
// white, e -79: (1,1) 220-9=211, (2,1) 182-19=163. (0,1) 127 black, e 127:
// (1,1) clamps at 255. Weights 3 and 5 would whiten (0,1). The plane stays.
TEST(DepthDecrease, ErrorDiffusionSevenTwoFourOneByHand)
{
    Vistel img = Levels({{94, 76, 125}, {90, 186, 175}});
    img.AlphaCreate();
    img.AlphaSet(1, 0, 33);
    ASSERT_TRUE(img.DecreaseBpp(1, true));
    EXPECT_EQ(Indices(img), (std::vector<std::string>{"001", "011"}));
    EXPECT_EQ(img.AlphaGet(1, 0), 33);
}

// 16-bit rows are narrower than the result: unpacking in place must not
// overrun source bytes still to be read. Arrays to images: 32 bits become
// 24 and a plane, array row 0 on top; a missing matrix row stays black.
TEST(DepthHelpers, TrueColourFromBitfieldsAndArrays)
{
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
    // The fields as the BMP decoder reads them: narrow channels widen by bit
    // replication, masks wider than 8 bits keep their top bits, empty ones
    // give 0.
    const struct { WORD pixel, r, g, b; RGBQUAD want; } fields[] = {
        {0xFFFF, 0xF800, 0x07E0, 0x001F, Bgr(255, 255, 255)},
        {0x4210, 0x7C00, 0x03E0, 0x001F, Bgr(132, 132, 132)},  // 5-5-5 grey 16 of 31
        {0xF800, 0xFFFF, 0, 0x000F, Bgr(0, 0, 0xF8)}};
    for (const auto& f : fields) {
        BYTE px[2] = {(BYTE)f.pixel, (BYTE)(f.pixel >> 8)};
        Vistel one(1, 1, 24);
        one.Bitfield2RGB(px, f.r, f.g, f.b, 16);
        EXPECT_TRUE(Same(one.GetPixelColor(0, 0), f.want)) << f.pixel;
    }

    BYTE bgra[16] = {1, 2, 3, 40, 5, 6, 7, 80, 9, 10, 11, 120, 13, 14, 15, 160};
    Vistel img;
    ASSERT_TRUE(img.CreateFromArray(bgra, 2, 2, 32, 8, true));
    EXPECT_TRUE(Same(img.GetPixelColor(1, 1, false), Bgr(5, 6, 7)));
    EXPECT_EQ(img.AlphaGet(0, 0), 120);
    // Caller sizes meet the ceiling; a refusal leaves the image as it was.
    EXPECT_FALSE(img.CreateFromArray(bgra, 100000, 100000, 32, 0, false));
    EXPECT_STREQ(img.GetLastError(), vssize::kTooLarge);
    EXPECT_EQ(img.AlphaGet(0, 0), 120);
    BYTE* rows[2] = {bgra, nullptr};
    ASSERT_TRUE(img.CreateFromMatrix(rows, 2, 2, 8, 4, false));
    EXPECT_EQ(Indices(img), (std::vector<std::string>{"12", "00"}));
}

TEST(DepthHelpers, IncreaseGreyNegativeAndDither)
{
    Vistel img(2, 1, 8);  // the transparent index becomes alpha 0
    img.SetStdPalette();
    img.SetPixelIndex(0, 0, 3);
    img.SetPixelIndex(1, 0, 9);
    img.SetTransIndex(3);
    ASSERT_TRUE(img.IncreaseBpp(24));
    EXPECT_EQ(img.AlphaGet(0, 0), 0);
    EXPECT_TRUE(Same(img.GetPixelColor(1, 0, false), Bgr(0xf0, 0xca, 0xa6)));

    Vistel rgb(1, 1, 24);
    rgb.SetPixelColor(0, 0, Bgr(0, 100, 255));
    ASSERT_TRUE(rgb.Negative());
    EXPECT_TRUE(Same(rgb.GetPixelColor(0, 0, false), Bgr(255, 155, 0)));
    ASSERT_TRUE(rgb.GrayScale());
    EXPECT_TRUE(rgb.IsGrayScale());
    EXPECT_EQ(rgb.GetPixelIndex(0, 0), (255 * 117 + 155 * 601) >> 10);

    // Ordered dither of grey 128: 128 * 16 / 255 = 8, so the matrix
    // entries 0-7 are white.
    Vistel ordered = Levels(std::vector<std::vector<BYTE>>(4, std::vector<BYTE>(4, 128)), 8);
    ASSERT_TRUE(ordered.Dither(1));
    EXPECT_EQ(Indices(ordered), (std::vector<std::string>{"1010", "0101", "1010", "0101"}));
}
