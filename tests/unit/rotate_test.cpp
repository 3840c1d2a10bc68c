// Quarter and half turns at every depth, turns by any angle against the
// exact turns, cropping a rotated rectangle, skew and radial distortions on
// small images worked by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "Vistel.h"
#include "test_images.h"

namespace {

using namespace testimages;

using V = Vistel;

const DWORD kDepths[] = {1, 4, 8, 24};

// The pixel as stored: the index of indexed images, the colour otherwise.
DWORD Raw(Vistel& img, long x, long y)
{
    if (img.IsIndexed()) return img.GetPixelIndex(x, y);
    return RGBQUADtoRGB(img.GetPixelColor(x, y, false));
}

// Expects out(x, y) == src(map(x, y)) for every pixel of out, alpha included.
template <typename Map>
void ExpectMapped(Vistel& out, Vistel& src, DWORD w, DWORD h, Map map)
{
    ASSERT_TRUE(out.IsValid());
    ASSERT_EQ(out.GetWidth(), w);
    ASSERT_EQ(out.GetHeight(), h);
    ASSERT_EQ(out.GetBpp(), src.GetBpp());
    ASSERT_EQ(out.AlphaIsValid(), src.AlphaIsValid());
    for (long y = 0; y < (long)h; y++)
        for (long x = 0; x < (long)w; x++) {
            const auto s = map(x, y);
            ASSERT_EQ(Raw(out, x, y), Raw(src, s.first, s.second)) << "at " << x << "," << y;
            if (src.AlphaIsValid()) {
                ASSERT_EQ(out.AlphaGet(x, y), src.AlphaGet(s.first, s.second));
            }
        }
}

void ExpectSame(Vistel& a, Vistel& b)
{
    ExpectMapped(a, b, b.GetWidth(), b.GetHeight(),
                 [](long x, long y) { return std::make_pair(x, y); });
}

}  // namespace

// Sizes crossing the 64-pixel tiles and odd sizes at every depth: the
// mapping is checked pixel by pixel, and four turns give the original.
TEST(QuarterTurn, MappingAndFourTurnsAtEveryDepth)
{
    const std::pair<DWORD, DWORD> sizes[] = {{1, 1}, {13, 7}, {131, 67}};
    for (DWORD bpp : kDepths)
        for (auto sz : sizes)
            for (bool alpha : {false, true}) {
                SCOPED_TRACE(testing::Message() << bpp << " bpp " << sz.first << "x" << sz.second
                                                << (alpha ? " alpha" : ""));
                const long W = sz.first, H = sz.second;
                Vistel src;
                MakeNoisy(src, W, H, bpp, alpha, bpp * 7 + W);
                Vistel left, right, half;
                ASSERT_TRUE(src.RotateLeft(&left));
                ASSERT_TRUE(src.RotateRight(&right));
                ASSERT_TRUE(src.Rotate180(&half));
                ExpectMapped(left, src, H, W,
                             [&](long X, long Y) { return std::make_pair(Y, H - 1 - X); });
                ExpectMapped(right, src, H, W,
                             [&](long X, long Y) { return std::make_pair(W - 1 - Y, X); });
                ExpectMapped(half, src, W, H,
                             [&](long x, long y) { return std::make_pair(W - 1 - x, H - 1 - y); });
                if (bpp < 24) {
                    EXPECT_EQ(0, memcmp(left.GetPalette(), src.GetPalette(), src.GetPaletteSize()));
                }

                Vistel img(src);
                for (int i = 0; i < 4; i++) ASSERT_TRUE(img.RotateRight());
                ExpectSame(img, src);
                for (int i = 0; i < 4; i++) ASSERT_TRUE(img.RotateLeft());
                ExpectSame(img, src);
                ASSERT_TRUE(img.Rotate180());
                ASSERT_TRUE(img.Rotate180());
                ExpectSame(img, src);
                EXPECT_EQ(img.GetType(), (DWORD)VISTEL_FORMAT_GIF);
            }
}

TEST(QuarterTurn, EmptyImageIsRefused)
{
    Vistel empty;
    EXPECT_FALSE(empty.RotateLeft());
    EXPECT_FALSE(empty.RotateRight());
    EXPECT_FALSE(empty.Rotate180());
    EXPECT_FALSE(empty.Rotate(30));
    EXPECT_FALSE(empty.Rotate2(30));
    EXPECT_FALSE(empty.Skew(1, 0));
    EXPECT_FALSE(empty.CircleTransform(0));
}

// Rotate enlarges the canvas by 2 and truncates its source coordinates
// toward zero: the turned picture sits one column in, and the top row and
// right column lie outside it.
TEST(Rotate, NinetyDegreesAgreesWithRotateRight)
{
    for (DWORD bpp : {8u, 24u}) {
        Vistel src;
        MakeNoisy(src, 9, 5, bpp, true, bpp);
        src.SetTransIndex(0);
        src.SetTransColor(RGBQUAD{1, 2, 3, 0});
        Vistel turned, right;
        ASSERT_TRUE(src.Rotate(90, &turned));
        ASSERT_TRUE(src.RotateRight(&right));
        ASSERT_EQ(turned.GetWidth(), 5u + 2);
        ASSERT_EQ(turned.GetHeight(), 9u + 2);
        for (long y = 0; y < 9; y++)
            for (long x = 0; x < 5; x++) {
                ASSERT_EQ(Raw(turned, x + 1, y), Raw(right, x, y)) << x << "," << y;
                ASSERT_EQ(turned.AlphaGet(x + 1, y), right.AlphaGet(x, y));
            }
        const DWORD outside = bpp == 24 ? RGBQUADtoRGB(RGBQUAD{1, 2, 3, 0}) : 0;
        for (long y = 0; y < 11; y++) {
            EXPECT_EQ(Raw(turned, 6, y), outside);
            EXPECT_EQ(turned.AlphaGet(6, y), 0);
        }
        for (long x = 0; x < 7; x++) EXPECT_EQ(Raw(turned, x, 10), outside);
    }
}

TEST(Rotate2, RightAnglesAreExact)
{
    for (DWORD bpp : kDepths) {
        SCOPED_TRACE(bpp);
        Vistel src;
        MakeNoisy(src, 13, 6, bpp, true, bpp + 3);
        const std::pair<float, std::function<bool(Vistel*)>> exact[] = {
            {90.0f, [&](Vistel* d) { return src.RotateRight(d); }},
            {-90.0f, [&](Vistel* d) { return src.RotateLeft(d); }},
            {180.0f, [&](Vistel* d) { return src.Rotate180(d); }},
            {0.0f, [&](Vistel* d) { d->Copy(src); return true; }}};
        Vistel a, b;
        for (const auto& e : exact) {
            ASSERT_TRUE(src.Rotate2(e.first, &a));
            ASSERT_TRUE(e.second(&b));
            ExpectSame(a, b);
        }
        if (bpp < 24) continue;
        // Without the shortcut the sampler lands on pixel centres, so
        // bilinear sampling reproduces the exact turn as well.
        ASSERT_TRUE(src.Rotate2(90, &a, V::IM_BILINEAR, V::OM_BACKGROUND, nullptr, false));
        ASSERT_TRUE(src.RotateRight(&b));
        ExpectSame(a, b);
    }
}

TEST(Rotate2, CanvasSizesAndKeepingTheSize)
{
    Vistel src;
    MakeNoisy(src, 100, 100, 24, false, 4);
    Vistel dst;
    ASSERT_TRUE(src.Rotate2(45, &dst, V::IM_BICUBIC));
    EXPECT_EQ(dst.GetWidth(), 141u);
    EXPECT_EQ(dst.GetHeight(), 141u);
    ASSERT_TRUE(src.Rotate2(45, &dst, V::IM_BICUBIC, V::OM_BACKGROUND, nullptr, true, true));
    EXPECT_EQ(dst.GetWidth(), 100u);
    EXPECT_EQ(dst.GetHeight(), 100u);
    // The centre stays where it was; corners come from outside: white.
    const RGBQUAD c = dst.GetPixelColor(0, 0);
    EXPECT_EQ(RGBQUADtoRGB(c), 0xFFFFFFu);
    EXPECT_EQ(Raw(dst, 50, 50), Raw(src, 50, 50));
    EXPECT_FALSE(src.Rotate2(NAN, &dst));
}

TEST(CropRotatedRectangle, TinyAngleIsAPlainCropTurnedOneComesOutStraight)
{
    Vistel src;
    MakeNoisy(src, 30, 30, 24, true, 2);
    Vistel a, b;
    ASSERT_TRUE(src.CropRotatedRectangle(3, 4, 10, 6, 0.0001f, &a));
    ASSERT_TRUE(src.Crop(3, 4, 13, 10, &b));
    ExpectSame(a, b);
    ASSERT_TRUE(src.CropRotatedRectangle(10, 2, 8, 5, 0.5f, &a));
    EXPECT_EQ(a.GetWidth(), 8u);
    EXPECT_EQ(a.GetHeight(), 5u);
    EXPECT_FALSE(src.CropRotatedRectangle(10, 2, 80, 5, 0.5f, &a));
    EXPECT_EQ(src.GetWidth(), 30u);
}

TEST(Skew, ZeroGainsKeepEveryPixel)
{
    for (DWORD bpp : kDepths)
        for (bool interpolate : {false, true}) {
            if (interpolate && bpp < 24) continue;  // nearest palette entry may differ
            Vistel src;
            MakeNoisy(src, 9, 6, bpp, true, bpp);
            Vistel img(src);
            ASSERT_TRUE(img.Skew(0, 0, 3, 3, interpolate));
            ExpectSame(img, src);
        }
}

// A horizontal shear by one pixel per row: row y reads from column x + y;
// what falls outside takes the out-of-image colour (the transparent one).
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
            if (x + y < 5) {
                EXPECT_EQ(Raw(img, x, y), Raw(src, x + y, y)) << x << "," << y;
                EXPECT_EQ(img.AlphaGet(x, y), src.AlphaGet(x + y, y));
            } else {
                EXPECT_EQ(Raw(img, x, y), RGBQUADtoRGB(RGBQUAD{7, 7, 7, 0}));
                EXPECT_EQ(img.AlphaGet(x, y), 0);
            }
        }
    EXPECT_FALSE(img.Skew(NAN, 0.0f));
}

// On a 9 x 9 image rmax 0 becomes the half-diagonal, (long)sqrt(32) = 5.
TEST(CircleTransform, HandWorkedPixels)
{
    Vistel src;
    MakeNoisy(src, 9, 9, 24, true, 6);
    src.SetTransIndex(0);
    src.SetTransColor(RGBQUAD{7, 7, 7, 0});
    const DWORD outside = RGBQUADtoRGB(RGBQUAD{7, 7, 7, 0});

    Vistel swirl(src);
    ASSERT_TRUE(swirl.CircleTransform(2, 0, 0));
    EXPECT_EQ(Raw(swirl, 4, 4), Raw(src, 4, 4));  // radius 0: no turn
    EXPECT_EQ(Raw(swirl, 0, 0), outside);         // radius 5.66 >= 5
    EXPECT_EQ(swirl.AlphaGet(0, 0), 0);
    // (4, 0): radius 4, angle pi/2 + 4 = 5.5708 -> (4 + 3, 4 + 2).
    EXPECT_EQ(Raw(swirl, 4, 0), Raw(src, 7, 6));
    // Pinch: (4, 0) at radius 4 reads radius 16 / 5 = 3.2 -> (4, 1);
    // (4, 2) at radius 2 reads radius 0.8 -> the centre.
    Vistel pinch(src);
    ASSERT_TRUE(pinch.CircleTransform(0));
    EXPECT_EQ(Raw(pinch, 4, 0), Raw(src, 4, 1));
    EXPECT_EQ(pinch.AlphaGet(4, 0), src.AlphaGet(4, 1));
    EXPECT_EQ(Raw(pinch, 4, 2), Raw(src, 4, 4));
    // Punch: (4, 2) at radius 2 reads radius sqrt(10) = 3.16 -> (4, 1).
    Vistel punch(src);
    ASSERT_TRUE(punch.CircleTransform(1));
    EXPECT_EQ(Raw(punch, 4, 2), Raw(src, 4, 1));
}

TEST(CircleTransform, TilesAndNegativeTypes)
{
    Vistel src;
    MakeNoisy(src, 40, 1, 8, false, 5);
    Vistel tiles(src);
    ASSERT_TRUE(tiles.CircleTransform(4));
    // rmax = 20; (20, 0) reads (20 + 20 - 16, 0).
    EXPECT_EQ(Raw(tiles, 20, 0), Raw(src, 24, 0));

    Vistel img(src);
    EXPECT_FALSE(img.CircleTransform(-1));
    EXPECT_STRNE(img.GetLastError(), "");
    ExpectSame(img, src);
}

