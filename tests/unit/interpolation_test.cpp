// Kernels against known values, overflow rules at the corners, the point
// and area samplers, and Resample2's separable weights.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>

#include "Vistel.h"
#include "test_images.h"

namespace {

using namespace testimages;

using V = Vistel;

void Fill(Vistel& img, RGBQUAD c)
{
    for (long y = 0; y < (long)img.GetHeight(); y++)
        for (long x = 0; x < (long)img.GetWidth(); x++) img.SetPixelColor(x, y, c, true);
}

const V::InterpolationMethod kAllMethods[] = {
    V::IM_NEAREST_NEIGHBOUR, V::IM_BILINEAR, V::IM_BSPLINE, V::IM_BICUBIC, V::IM_BICUBIC2,
    V::IM_LANCZOS, V::IM_BOX, V::IM_HERMITE, V::IM_HAMMING, V::IM_SINC,
    V::IM_BLACKMAN, V::IM_BESSEL, V::IM_GAUSSIAN, V::IM_QUADRATIC, V::IM_MITCHELL,
    V::IM_CATROM};

float GenCubicHalf(float t)
{
    return V::KernelGeneralizedCubic(t, -0.5f);
}

float Lanczos6(float t)
{
    return V::KernelLanczosSinc(t, 6.0f);
}

}  // namespace

// ------------------------------------------------------------------ kernels

TEST(Kernels, KnownValues)
{
    EXPECT_EQ(V::KernelBox(-0.5f), 1.0f);
    EXPECT_EQ(V::KernelBox(0.5f), 0.0f);
    EXPECT_FLOAT_EQ(V::KernelGeneralizedCubic(0.5f, -0.5f), 0.5625f);
    EXPECT_FLOAT_EQ(V::KernelBSpline(0.0f), 0.6666667f);
    EXPECT_FLOAT_EQ(V::KernelBSpline(1.0f), 0.16666667f);
    EXPECT_FLOAT_EQ(V::KernelMitchell(0.0f), 0.8888889f);
    EXPECT_FLOAT_EQ(V::KernelQuadratic(0.0f), 0.75f);
    EXPECT_FLOAT_EQ(V::KernelGaussian(0.0f), 0.7978846f);
    EXPECT_FLOAT_EQ(V::KernelBlackman(0.0f), 1.0f);
    EXPECT_NEAR(V::KernelBlackman(1.0f), 0.0f, 1e-6);
    EXPECT_NEAR(V::KernelHamming(1.0f - 1e-7f), 0.08f, 1e-5);
    EXPECT_EQ(V::KernelHamming(1.0f), 0.0f);
    EXPECT_EQ(V::KernelLanczosSinc(6.5f, 6.0f), 0.0f);
}

// The Bessel function of the first kind of order one, on both branches of
// its approximation (below and above 8), and the kernel made from it.
TEST(Kernels, BesselMatchesTables)
{
    EXPECT_EQ(V::KernelBessel_Order1(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(V::KernelBessel(0.0f), 0.78539819f);
    EXPECT_NEAR(V::KernelBessel_Order1(1.0f), 0.44005059f, 1e-6);
    EXPECT_NEAR(V::KernelBessel_Order1(-1.0f), -0.44005059f, 1e-6);
    EXPECT_NEAR(V::KernelBessel_Order1(3.8317060f), 0.0f, 1e-6);  // first zero
    EXPECT_NEAR(V::KernelBessel_Order1(10.0f), 0.04347275f, 1e-6);
    EXPECT_NEAR(V::KernelBessel_Order1(-20.0f), -0.06683312f, 1e-6);
    // Continuous across the switch at 8 (J1(8) = 0.23463635).
    EXPECT_NEAR(V::KernelBessel_Order1(7.9999f), 0.2346221f, 1e-5);
    EXPECT_NEAR(V::KernelBessel_Order1(8.0f), 0.2346363f, 1e-5);
    // Near 0 the kernel tends to its value at 0.
    EXPECT_NEAR(V::KernelBessel(1e-3f), 0.78539819f, 1e-5);
}

TEST(Kernels, PartitionOfUnity)
{
    float (*const kernels[])(float) = {V::KernelLinear,   V::KernelCubic,  GenCubicHalf,
                                       V::KernelBSpline,  V::KernelCatrom, V::KernelMitchell,
                                       V::KernelQuadratic, V::KernelBox,   V::KernelHermite};
    for (auto k : kernels)
        for (float f : {0.0f, 0.1f, 0.25f, 0.5f, 0.75f, 0.9f}) {
            float sum = 0.0f;
            for (int n = -4; n <= 4; n++) sum += k((float)n - f);
            EXPECT_NEAR(sum, 1.0f, 1e-5) << f;
        }
    // Lanczos with six lobes is only close to one.
    for (float f : {0.1f, 0.5f}) {
        float sum = 0.0f;
        for (int n = -6; n <= 6; n++) sum += Lanczos6((float)n - f);
        EXPECT_NEAR(sum, 1.0f, 0.01f);
    }
}

// ------------------------------------------------------------ overflow rules

TEST(Overflow, IntegerRulesAtEdgesAndCorners)
{
    Vistel img(10, 4, 24);
    auto map = [&](long x, long y, V::OverflowMethod m) {
        img.OverflowCoordinates(x, y, m);
        return std::make_pair(x, y);
    };
    using P = std::pair<long, long>;
    EXPECT_EQ(map(13, 0, V::OM_MIRROR), P(6, 0));
    EXPECT_EQ(map(-25, 9, V::OM_WRAP), P(5, 1));
    EXPECT_EQ(map(-5, 50, V::OM_REPEAT), P(0, 3));
    EXPECT_EQ(map(-5, 50, V::OM_COLOR), P(-5, 50));
    EXPECT_EQ(map(3, 2, V::OM_WRAP), P(3, 2));
    // The farthest coordinates stay in the image without overflowing.
    for (V::OverflowMethod m : {V::OM_MIRROR, V::OM_WRAP, V::OM_REPEAT}) {
        P p = map(LONG_MIN, LONG_MAX, m);
        EXPECT_TRUE(img.IsInside(p.first, p.second)) << m;
    }
}

TEST(Overflow, ColorOutsideTheImage)
{
    Vistel img(4, 3, 24);
    for (long y = 0; y < 3; y++)
        for (long x = 0; x < 4; x++) img.SetPixelColor(x, y, RGBQUAD{(BYTE)x, (BYTE)y, 9, 0});
    RGBQUAD repl{1, 2, 3, 4};
    const auto at = [&](long x, long y, V::OverflowMethod m, RGBQUAD* r) {
        return img.GetPixelColorWithOverflow(x, y, m, r);
    };
    EXPECT_TRUE(Same(at(-1, 0, V::OM_COLOR, nullptr), RGBQUAD{255, 255, 255, 0}));
    EXPECT_TRUE(Same(at(4, 3, V::OM_COLOR, &repl), repl));
    EXPECT_TRUE(Same(at(-1, -1, V::OM_REPEAT, nullptr), RGBQUAD{0, 0, 9, 0}));
    EXPECT_TRUE(Same(at(4, 3, V::OM_WRAP, nullptr), RGBQUAD{0, 0, 9, 0}));
    EXPECT_TRUE(Same(at(-1, 3, V::OM_MIRROR, nullptr), RGBQUAD{1, 2, 9, 0}));
    // No transparency: background and transparent give the replacement.
    EXPECT_TRUE(Same(at(-1, 0, V::OM_BACKGROUND, &repl), repl));
    EXPECT_TRUE(Same(at(-1, 0, V::OM_TRANSPARENT, &repl), repl));
    img.SetTransIndex(0);
    img.SetTransColor(RGBQUAD{7, 8, 9, 0});
    EXPECT_TRUE(Same(at(-1, 0, V::OM_BACKGROUND, &repl), RGBQUAD{7, 8, 9, 0}));
    img.AlphaCreate();
    EXPECT_TRUE(Same(at(-1, 0, V::OM_TRANSPARENT, &repl), RGBQUAD{1, 2, 3, 0}));
    EXPECT_EQ(at(2, 1, V::OM_COLOR, nullptr).rgbReserved, 255);

    Vistel indexed(4, 3, 8);
    indexed.SetPaletteColor(5, 10, 20, 30);
    indexed.SetTransIndex(5);
    RGBQUAD bg = indexed.GetPixelColorWithOverflow(9, 9, V::OM_BACKGROUND, &repl);
    EXPECT_EQ(bg.rgbRed, 10);
    EXPECT_EQ(bg.rgbBlue, 30);
}

// ------------------------------------------------------------------ samplers

TEST(Interpolated, ConstantImageGivesTheConstant)
{
    const V::InterpolationMethod normalised[] = {
        V::IM_NEAREST_NEIGHBOUR, V::IM_BILINEAR, V::IM_BSPLINE, V::IM_BICUBIC, V::IM_BICUBIC2,
        V::IM_BOX, V::IM_HERMITE, V::IM_QUADRATIC, V::IM_MITCHELL, V::IM_CATROM};
    for (DWORD bpp : {8u, 24u}) {
        Vistel img(9, 7, bpp);
        img.Clear(0);
        if (bpp == 8) img.SetPaletteColor(0, 40, 100, 200);
        else Fill(img, RGBQUAD{200, 100, 40, 0});
        img.AlphaCreate();
        img.AlphaSet(150);
        for (V::InterpolationMethod m : normalised)
            for (float x : {-0.4f, 0.0f, 0.3f, 3.5f, 7.9f, 8.4f})
                for (float y : {-0.2f, 2.25f, 6.3f}) {
                    RGBQUAD c = img.GetPixelColorInterpolated(x, y, m, V::OM_REPEAT);
                    SCOPED_TRACE(testing::Message() << bpp << " bpp, method " << m << " at " << x
                                                    << "," << y);
                    EXPECT_NEAR(c.rgbBlue, 200, 1);
                    EXPECT_NEAR(c.rgbGreen, 100, 1);
                    EXPECT_NEAR(c.rgbRed, 40, 1);
                    EXPECT_NEAR(c.rgbReserved, 150, 1);
                }
    }
}

TEST(Interpolated, BilinearHandWorked)
{
    Vistel img(2, 2, 24);
    Fill(img, RGBQUAD{255, 255, 255, 0});
    img.SetPixelColor(0, 0, RGBQUAD{0, 0, 0, 0});
    img.SetPixelColor(0, 1, RGBQUAD{0, 0, 0, 0});
    img.SetPixelColor(1, 1, RGBQUAD{1, 2, 3, 0});
    EXPECT_TRUE(Same(img.GetPixelColorInterpolated(1.0f, 1.0f, V::IM_BILINEAR, V::OM_REPEAT),
                     RGBQUAD{1, 2, 3, 0}));
    RGBQUAD mid = img.GetPixelColorInterpolated(0.5f, 0.0f, V::IM_BILINEAR, V::OM_REPEAT);
    EXPECT_TRUE(Same(mid, RGBQUAD{127, 127, 127, 0}));
    // Nearest at -0.7: -0.2 truncates to column 0.
    EXPECT_TRUE(Same(img.GetPixelColorInterpolated(-0.7f, 0.0f, V::IM_NEAREST_NEIGHBOUR,
                                                   V::OM_COLOR),
                     RGBQUAD{0, 0, 0, 0}));
    // Far outside with a constant rule: the replacement colour.
    RGBQUAD repl{5, 6, 7, 8};
    for (V::InterpolationMethod m : kAllMethods)
        EXPECT_TRUE(Same(img.GetPixelColorInterpolated(-30.0f, 1.0f, m, V::OM_COLOR, &repl), repl))
            << m;
}

// The direct reads of true-colour rows agree with the per-sample path that
// indexed images take, for every method, inside and across the edges.
TEST(Interpolated, FastPathsMatchPerSamplePath)
{
    Vistel grey(16, 14, 8), rgb(16, 14, 24);
    std::mt19937 rng(5);
    for (int i = 0; i < 256; i++) grey.SetPaletteColor((BYTE)i, (BYTE)i, (BYTE)i, (BYTE)i);
    for (long y = 0; y < 14; y++)
        for (long x = 0; x < 16; x++) {
            BYTE v = (BYTE)rng();
            grey.SetPixelIndex(x, y, v);
            rgb.SetPixelColor(x, y, RGBQUAD{v, v, v, 0});
        }
    for (V::InterpolationMethod m : kAllMethods) {
        if (m == V::IM_BILINEAR) continue;  // fixed point against float: checked by hand above
        for (float x : {-1.3f, 0.2f, 5.55f, 7.0f, 14.6f})
            for (float y : {-0.6f, 6.45f, 13.9f}) {
                RGBQUAD a = grey.GetPixelColorInterpolated(x, y, m, V::OM_MIRROR);
                RGBQUAD b = rgb.GetPixelColorInterpolated(x, y, m, V::OM_MIRROR);
                EXPECT_EQ(a.rgbRed, b.rgbRed) << m << " at " << x << "," << y;
            }
    }
    for (float x : {0.2f, 5.55f, 9.75f, 15.2f})
        for (float y : {1.5f, 6.45f, -0.7f}) {
            RGBQUAD a = grey.GetPixelColorInterpolated(x, y, V::IM_BILINEAR, V::OM_MIRROR);
            RGBQUAD b = rgb.GetPixelColorInterpolated(x, y, V::IM_BILINEAR, V::OM_MIRROR);
            EXPECT_NEAR(a.rgbRed, b.rgbRed, 1) << x << "," << y;
            a = grey.GetAreaColorInterpolated(x, y, 3.3f, 2.5f, V::IM_BICUBIC, V::OM_WRAP);
            b = rgb.GetAreaColorInterpolated(x, y, 3.3f, 2.5f, V::IM_BICUBIC, V::OM_WRAP);
            EXPECT_EQ(a.rgbRed, b.rgbRed) << x << "," << y;
        }
}

TEST(Interpolated, NonFiniteCoordinatesGiveTheOverflowColour)
{
    Vistel img(4, 4, 24);
    RGBQUAD repl{1, 2, 3, 4};
    for (V::InterpolationMethod m : kAllMethods) {
        EXPECT_TRUE(Same(img.GetPixelColorInterpolated(NAN, 1.0f, m, V::OM_COLOR, &repl), repl));
        img.GetPixelColorInterpolated(1.0f, INFINITY, m, V::OM_WRAP, &repl);
        img.GetPixelColorInterpolated(1e30f, -1e30f, m, V::OM_MIRROR, &repl);
    }
}

TEST(AreaInterpolated, AveragesTheCoveredPixels)
{
    Vistel img(4, 4, 24);
    for (long y = 0; y < 4; y++)
        for (long x = 0; x < 4; x++)
            img.SetPixelColor(x, y, RGBQUAD{(BYTE)((x + y) % 2 ? 200 : 0), 0, 0, 0});
    // A 2 x 2 area centred between four pixels covers a quarter of nine.
    RGBQUAD c = img.GetAreaColorInterpolated(1.5f, 1.5f, 2.0f, 2.0f, V::IM_BILINEAR);
    EXPECT_EQ(c.rgbBlue, 100);
    // A 2 x 2 area centred on a pixel takes it whole and halves of four
    // edge neighbours and quarters of the corners: (0 + 4 * 0.5 * 200) / 4.
    c = img.GetAreaColorInterpolated(1.0f, 1.0f, 2.0f, 2.0f, V::IM_BILINEAR);
    EXPECT_EQ(c.rgbBlue, 100);
    // Only one side above 1: samples along a row.
    c = img.GetAreaColorInterpolated(1.5f, 1.0f, 2.0f, 1.0f, V::IM_NEAREST_NEIGHBOUR);
    EXPECT_NEAR(c.rgbBlue, 100, 1);
    // Both sides at most 1: the point sampler.
    EXPECT_TRUE(Same(img.GetAreaColorInterpolated(1.0f, 2.0f, 1.0f, 1.0f, V::IM_BILINEAR),
                     img.GetPixelColor(1, 2)));
}

// ------------------------------------------------------------------ Resample2

// Per-column and per-row weights give the bytes the per-point sampler gives,
// at every depth, with alpha, enlarging, shrinking without averaging and
// mixing both.
TEST(Resample2, SeparableWeightsMatchPointSampler)
{
    const std::pair<long, long> sizes[] = {{23, 17}, {7, 5}, {20, 4}};
    for (DWORD bpp : {1u, 4u, 8u, 24u})
        for (V::InterpolationMethod m : kAllMethods)
            for (auto size : sizes) {
                Vistel src;
                MakeNoisy(src, 11, 9, bpp, true, bpp + m);
                Vistel dst;
                ASSERT_TRUE(src.Resample2(size.first, size.second, m, V::OM_REPEAT, &dst, true));
                ASSERT_EQ(dst.GetWidth(), (DWORD)size.first);
                ASSERT_TRUE(dst.AlphaIsValid());
                const float xs = 11.0f / size.first, ys = 9.0f / size.second;
                Vistel ref(dst);
                for (long y = 0; y < size.second; y++)
                    for (long x = 0; x < size.first; x++) {
                        RGBQUAD c = src.GetPixelColorInterpolated(
                            xs * (x + 0.5f) - 0.5f, ys * (y + 0.5f) - 0.5f, m, V::OM_REPEAT);
                        ref.SetPixelColor(x, y, c, true);
                        ref.AlphaSet(x, y, c.rgbReserved);
                    }
                SCOPED_TRACE(testing::Message() << bpp << " bpp, method " << m << ", "
                                                << size.first << "x" << size.second);
                ASSERT_EQ(0, memcmp(dst.GetBits(), ref.GetBits(),
                                    dst.GetEffWidth() * dst.GetHeight()));
                ASSERT_EQ(0, memcmp(dst.AlphaGetPointer(), ref.AlphaGetPointer(),
                                    (size_t)size.first * size.second));
            }
}

