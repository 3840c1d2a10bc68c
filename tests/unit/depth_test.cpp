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
