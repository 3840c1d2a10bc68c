// Geometry, pixel by pixel against the source at 1, 4, 8 and 24 bits per
// pixel, with alpha and row padding. ::Vistel::Rotate reaches Rotate2, which
// hands right angles to the quarter and half turns. Crop, Flip, Mirror,
// Rotate, CropRotatedRectangle, Skew and CircleTransform, which the
// extension does not call, keep one property each.
#include <gtest/gtest.h>

#include <algorithm>
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
                if (bpp < 24) {
                    EXPECT_EQ(0, memcmp(left.GetPalette(), src.GetPalette(), src.GetPaletteSize()));
                }
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

// One property each for Rotate (enlarging the canvas by 2 and truncating
// its source coordinates toward zero, so that a quarter turn sits one
// column in), CropRotatedRectangle, a horizontal Skew by one pixel a row
// (what falls outside takes the transparent colour) and CircleTransform's
// pinch (on a 9 x 9 image rmax 0 becomes (long)sqrt(32) = 5; (4, 0) at
// radius 4 reads radius 16 / 5 = 3.2, i.e. (4, 1)).
TEST(Distortions, OnePropertyEach)
{
    Vistel src, turned, right, a, b;
    MakeNoisy(src, 9, 5, 24, true, 24);
    ASSERT_TRUE(src.Rotate(90, &turned));
    ASSERT_TRUE(src.RotateRight(&right));
    ASSERT_EQ(turned.GetWidth(), 5u + 2);
    ExpectMapped(right, turned, 5, 9, [](long x, long y) { return Pos{x + 1, y}; });

    ASSERT_TRUE(src.CropRotatedRectangle(3, 1, 5, 3, 0.0001f, &a));
    ASSERT_TRUE(src.Crop(3, 1, 8, 4, &b));
    ExpectSame(a, b);

    src.SetTransIndex(0);
    src.SetTransColor(RGBQUAD{7, 7, 7, 0});
    Vistel skewed(src);
    ASSERT_TRUE(skewed.Skew(1.0f, 0.0f, 0, 0, false));
    for (long n = 0; n < 45; n++) {
        const long x = n % 9, y = n / 9;
        EXPECT_EQ(RawPixel(skewed, x, y), x + y < 9 ? RawPixel(src, x + y, y) : 0x070707u) << x << "," << y;
        EXPECT_EQ(skewed.AlphaGet(x, y), x + y < 9 ? src.AlphaGet(x + y, y) : 0);
    }

    Vistel square, pinch;
    MakeNoisy(square, 9, 9, 24, true, 6);
    pinch = square;
    ASSERT_TRUE(pinch.CircleTransform(0));
    EXPECT_EQ(RawPixel(pinch, 4, 0), RawPixel(square, 4, 1));
    EXPECT_EQ(pinch.AlphaGet(4, 0), square.AlphaGet(4, 1));
}

// Every horizontal span of odd and stride-filling widths, reaching past
// either side or wholly outside: byte-aligned copies, bit shifts at each
// offset, spans ending on a row's last byte (the source's padding bits are
// set and must not come along), clamping, and refusals that leave the
// destination as it was.
TEST(Crop, EverySpanMatchesTheSourceOrIsRefused)
{
    for (DWORD bpp : kDepths)
        for (long w : {1L, 7L, 13L, 32L, 33L}) {
            SCOPED_TRACE(testing::Message() << bpp << " bpp, width " << w);
            Vistel src, out(2, 2, 8, VISTEL_FORMAT_PNG);
            MakeNoisy(src, w, 3, bpp, true, bpp * 100 + w, true);
            for (long l = -2; l <= w + 1; l++)
                for (long r = l + 1; r <= w + 2; r++) {
                    const long lo = std::max(l, 0L), hi = std::min(r, w);
                    const DWORD before = out.GetWidth();
                    // Rows 1..2 from the top are DIB rows 1 and 0.
                    ASSERT_EQ(src.Crop(l, 1, r, 3, &out), lo < hi) << l << ".." << r;
                    if (lo < hi) {
                        ExpectMapped(out, src, hi - lo, 2, [lo](long x, long y) { return Pos{lo + x, y}; });
                    } else {
                        ASSERT_EQ(out.GetWidth(), before);
                    }
                }
            ASSERT_TRUE(src.Crop(-1000000, -1000000, 1000000, 1000000, &out));
            ExpectSame(out, src);
        }
}

TEST(FlipMirror, ReverseRowsAndColumnsAtEveryDepth)
{
    for (DWORD bpp : kDepths)
        for (long w : {1, 3, 5, 8, 17, 33})
            for (long h : {1, 4, 5}) {
                SCOPED_TRACE(testing::Message() << bpp << " bpp, " << w << " x " << h);
                Vistel src, flipped, mirrored;
                MakeNoisy(src, w, h, bpp, true, w + h);
                flipped = src;
                mirrored = src;
                ASSERT_TRUE(flipped.Flip());
                ASSERT_TRUE(mirrored.Mirror());
                ExpectMapped(flipped, src, w, h, [h](long x, long y) { return Pos{x, h - 1 - y}; });
                ExpectMapped(mirrored, src, w, h, [w](long x, long y) { return Pos{w - 1 - x, y}; });
            }
}
