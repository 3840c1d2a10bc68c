// Turns. ::Vistel::Rotate reaches Rotate2, which hands right angles to the
// quarter and half turns: those are checked pixel by pixel at every depth.
// Rotate, CropRotatedRectangle, Skew and CircleTransform, which the
// extension does not call, keep one property each.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "Vistel.h"
#include "test_images.h"

using namespace testimages;

namespace {

using V = Vistel;
using Pos = std::pair<long, long>;

const DWORD kDepths[] = {1, 4, 8, 24};

}  // namespace

// Sizes crossing the 64-pixel tiles, and odd ones, with and without alpha.
TEST(QuarterTurn, MappingAtEveryDepth)
{
    for (DWORD bpp : kDepths)
        for (auto [W, H] : {Pos{1, 1}, Pos{13, 7}, Pos{131, 67}})
            for (bool alpha : {false, true}) {
                SCOPED_TRACE(testing::Message() << bpp << " bpp " << W << "x" << H << (alpha ? " alpha" : ""));
                Vistel src, left, right, half;
                MakeNoisy(src, W, H, bpp, alpha, bpp * 7 + W, true);
                ASSERT_TRUE(src.RotateLeft(&left));
                ASSERT_TRUE(src.RotateRight(&right));
                ASSERT_TRUE(src.Rotate180(&half));
                const long w = W, h = H;
                ExpectMapped(left, src, H, W, [h](long x, long y) { return Pos{y, h - 1 - x}; });
                ExpectMapped(right, src, H, W, [w](long x, long y) { return Pos{w - 1 - y, x}; });
                ExpectMapped(half, src, W, H, [w, h](long x, long y) { return Pos{w - 1 - x, h - 1 - y}; });
                EXPECT_EQ(0, memcmp(left.GetPalette(), src.GetPalette(), src.GetPaletteSize()));
                EXPECT_EQ(half.GetType(), (DWORD)VISTEL_FORMAT_GIF);
            }
}

// Right angles take the exact turns; without that shortcut the sampler lands
// on pixel centres, so bilinear sampling gives the exact turn as well.
TEST(Rotate2, RightAnglesAreExact)
{
    for (DWORD bpp : kDepths) {
        SCOPED_TRACE(bpp);
        Vistel src, a, b;
        MakeNoisy(src, 13, 6, bpp, true, bpp + 3);
        const std::pair<float, std::function<bool(Vistel*)>> exact[] = {
            {90.0f, [&](Vistel* d) { return src.RotateRight(d); }},
            {-90.0f, [&](Vistel* d) { return src.RotateLeft(d); }},
            {180.0f, [&](Vistel* d) { return src.Rotate180(d); }},
            {0.0f, [&](Vistel* d) { d->Copy(src); return true; }}};
        for (const auto& e : exact) {
            ASSERT_TRUE(src.Rotate2(e.first, &a));
            ASSERT_TRUE(e.second(&b));
            ExpectSame(a, b);
        }
        if (bpp < 24) continue;
        ASSERT_TRUE(src.Rotate2(90, &a, V::IM_BILINEAR, V::OM_BACKGROUND, nullptr, false));
        ASSERT_TRUE(src.RotateRight(&b));
        ExpectSame(a, b);
    }
}

TEST(Rotate2, CanvasSizesAndRefusals)
{
    Vistel src, dst, empty;
    MakeNoisy(src, 100, 100, 24, false, 4);
    ASSERT_TRUE(src.Rotate2(45, &dst, V::IM_BICUBIC));
    EXPECT_EQ(dst.GetWidth(), 141u);
    EXPECT_EQ(dst.GetHeight(), 141u);
    ASSERT_TRUE(src.Rotate2(45, &dst, V::IM_BICUBIC, V::OM_BACKGROUND, nullptr, true, true));
    EXPECT_EQ(dst.GetWidth(), 100u);
    // The centre stays where it was; corners come from outside: white.
    EXPECT_EQ(RawPixel(dst, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(RawPixel(dst, 50, 50), RawPixel(src, 50, 50));
    EXPECT_FALSE(src.Rotate2(NAN, &dst));
    EXPECT_FALSE(empty.Rotate2(30));
}

// Rotate enlarges the canvas by 2 and truncates its source coordinates
// toward zero: the turned picture sits one column in.
TEST(Rotate, NinetyDegreesIsRotateRightOneColumnIn)
{
    Vistel src, turned, right;
    MakeNoisy(src, 9, 5, 24, true, 24);
    ASSERT_TRUE(src.Rotate(90, &turned));
    ASSERT_TRUE(src.RotateRight(&right));
    ASSERT_EQ(turned.GetWidth(), 5u + 2);
    ASSERT_EQ(turned.GetHeight(), 9u + 2);
    for (long y = 0; y < 9; y++)
        for (long x = 0; x < 5; x++) {
            ASSERT_EQ(RawPixel(turned, x + 1, y), RawPixel(right, x, y)) << x << "," << y;
            ASSERT_EQ(turned.AlphaGet(x + 1, y), right.AlphaGet(x, y));
        }
}

TEST(CropRotatedRectangle, TinyAngleIsAPlainCrop)
{
    Vistel src, a, b;
    MakeNoisy(src, 30, 30, 24, true, 2);
    ASSERT_TRUE(src.CropRotatedRectangle(3, 4, 10, 6, 0.0001f, &a));
    ASSERT_TRUE(src.Crop(3, 4, 13, 10, &b));
    ExpectSame(a, b);
}

// A horizontal shear by one pixel per row: row y reads from column x + y;
// what falls outside takes the transparent colour.
TEST(Skew, HorizontalShearByHand)
{
    Vistel src;
    MakeNoisy(src, 5, 3, 24, true, 8);
    src.SetTransIndex(0);
    src.SetTransColor(RGBQUAD{7, 7, 7, 0});
    Vistel img(src);
    ASSERT_TRUE(img.Skew(1.0f, 0.0f, 0, 0, false));
    for (long y = 0; y < 3; y++)
        for (long x = 0; x < 5; x++) {
            const bool inside = x + y < 5;
            EXPECT_EQ(RawPixel(img, x, y), inside ? RawPixel(src, x + y, y) : 0x070707u) << x << "," << y;
            EXPECT_EQ(img.AlphaGet(x, y), inside ? src.AlphaGet(x + y, y) : 0);
        }
}

// Pinch on a 9 x 9 image, rmax 0 becoming the half-diagonal (long)sqrt(32)
// = 5: (4, 0) at radius 4 reads radius 16 / 5 = 3.2, i.e. (4, 1); (4, 2) at
// radius 2 reads radius 0.8, the centre.
TEST(CircleTransform, PinchByHand)
{
    Vistel src;
    MakeNoisy(src, 9, 9, 24, true, 6);
    Vistel pinch(src);
    ASSERT_TRUE(pinch.CircleTransform(0));
    EXPECT_EQ(RawPixel(pinch, 4, 0), RawPixel(src, 4, 1));
    EXPECT_EQ(pinch.AlphaGet(4, 0), src.AlphaGet(4, 1));
    EXPECT_EQ(RawPixel(pinch, 4, 2), RawPixel(src, 4, 4));
}
