// Resampling arithmetic on small images worked by hand, borders and
// thumbnails.
#include <gtest/gtest.h>

#include "Vistel.h"

namespace {

RGBQUAD Bgr(BYTE b, BYTE g, BYTE r)
{
    return RGBQUAD{b, g, r, 0};
}

void Fill(Vistel& img, RGBQUAD c)
{
    for (long y = 0; y < (long)img.GetHeight(); y++)
        for (long x = 0; x < (long)img.GetWidth(); x++) img.SetPixelColor(x, y, c);
}

}  // namespace

TEST(Resample, RefusalSameSizeAndNearest)
{
    Vistel img(4, 4, 24);
    for (long y = 0; y < 4; y++)
        for (long x = 0; x < 4; x++) img.SetPixelColor(x, y, Bgr((BYTE)(x * 10 + y), 0, 0));
    EXPECT_FALSE(img.Resample(0, 10, 1));
    Vistel same, dst;
    EXPECT_TRUE(img.Resample(4, 4, 1, &same));
    ASSERT_TRUE(same.IsValid());
    EXPECT_EQ(same.GetPixelColor(3, 2).rgbBlue, 32);
    // Nearest takes every other pixel; the source stays as it is.
    ASSERT_TRUE(img.Resample(2, 2, 1, &dst));
    EXPECT_EQ(dst.GetPixelColor(0, 0).rgbBlue, 0);
    EXPECT_EQ(dst.GetPixelColor(1, 0).rgbBlue, 20);
    EXPECT_EQ(dst.GetPixelColor(0, 1).rgbBlue, 2);
    EXPECT_EQ(dst.GetPixelColor(1, 1).rgbBlue, 22);
    EXPECT_EQ(img.GetWidth(), 4u);
    EXPECT_TRUE(img.Resample(4, 4, 1));
    EXPECT_EQ(img.GetPixelColor(3, 2).rgbBlue, 32);
}

TEST(Resample, AreaShrinkAveragesAndSaturatesInsteadOfWrapping)
{
    // Two columns of 0 and 255 average to the middle.
    Vistel stripes(4, 4, 24);
    for (long y = 0; y < 4; y++)
        for (long x = 0; x < 4; x++) stripes.SetPixelColor(x, y, Bgr(x % 2 ? 255 : 0, 100, 50));
    ASSERT_TRUE(stripes.Resample(2, 2, 0));
    for (long y = 0; y < 2; y++)
        for (long x = 0; x < 2; x++) {
            RGBQUAD c = stripes.GetPixelColor(x, y);
            EXPECT_NEAR(c.rgbBlue, 127, 1);
            EXPECT_EQ(c.rgbGreen, 100);
            EXPECT_EQ(c.rgbRed, 50);
        }
    // Non-integer ratios over white: rounding of the weights may push a sum
    // past 255 x area, which must stay white rather than wrap to black.
    for (long n : {3L, 7L, 9L, 11L}) {
        Vistel img(37, 29, 24);
        Fill(img, Bgr(255, 255, 255));
        ASSERT_TRUE(img.Resample(n, n - 1, 0));
        for (long y = 0; y < n - 1; y++)
            for (long x = 0; x < n; x++) EXPECT_GE(img.GetPixelColor(x, y).rgbRed, 250) << n;
    }
}

TEST(Resample, BilinearEnlargesIndexedThroughThePalette)
{
    Vistel img(2, 2, 8);
    img.SetPaletteColor(0, 0, 0, 0);
    img.SetPaletteColor(1, 255, 255, 255);
    img.SetPaletteColor(2, 128, 128, 128);
    img.SetPixelIndex(0, 0, 0);
    img.SetPixelIndex(1, 0, 1);
    img.SetPixelIndex(0, 1, 0);
    img.SetPixelIndex(1, 1, 1);
    ASSERT_TRUE(img.Resample(4, 2, 0));
    EXPECT_EQ(img.GetBpp(), 8);
    EXPECT_EQ(img.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(img.GetPixelIndex(1, 0), 2);  // halfway: nearest is the grey entry
    EXPECT_EQ(img.GetPixelIndex(2, 0), 1);
}

TEST(Resample, BSplineKeepsColourAndTakesTheNearestAlpha)
{
    Vistel img(4, 4, 24);
    Fill(img, Bgr(90, 90, 90));
    img.AlphaCreate();
    for (long y = 0; y < 4; y++)
        for (long x = 0; x < 4; x++) img.AlphaSet(x, y, (BYTE)(x * 60 + y));
    ASSERT_TRUE(img.Resample(2, 2, 2));
    EXPECT_NEAR(img.GetPixelColor(1, 1, false).rgbBlue, 90, 1);
    EXPECT_EQ(img.AlphaGet(1, 0), 120);
    EXPECT_EQ(img.AlphaGet(0, 1), 2);
}

TEST(QIShrinkTest, BoxesAndRefusal)
{
    Vistel img(9, 9, 24);
    for (long y = 0; y < 9; y++)
        for (long x = 0; x < 9; x++) img.SetPixelColor(x, y, Bgr((BYTE)(x * 10), (BYTE)y, 0));
    Vistel big;
    EXPECT_FALSE(img.QIShrink(10, 9, &big));
    EXPECT_STREQ(img.GetLastError(), "QIShrink can't enlarge image");
    ASSERT_TRUE(img.QIShrink(3, 3));
    // Columns 0-3, 4-6 and 7-8; rows 0-2 average to 1.
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbBlue, 15);
    EXPECT_EQ(img.GetPixelColor(1, 0).rgbBlue, 50);
    EXPECT_EQ(img.GetPixelColor(2, 0).rgbBlue, 75);
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbGreen, 1);
    EXPECT_EQ(img.GetPixelColor(0, 2).rgbGreen, 7);
}

TEST(ExpandTest, MarginsAndCanvas)
{
    Vistel img(7, 8, 24);
    Fill(img, Bgr(1, 1, 1));
    img.AlphaCreate();
    RGBQUAD c = Bgr(10, 20, 30);
    img.AlphaSet(0, 0, 77);
    c.rgbReserved = 9;
    ASSERT_TRUE(img.Expand(10, 10, c));
    EXPECT_EQ(img.GetWidth(), 10u);
    EXPECT_EQ(img.GetHeight(), 10u);
    // The plane follows the picture; the margins take the canvas alpha.
    // One column left, two right, one row above and one below.
    ASSERT_TRUE(img.AlphaIsValid());
    const struct { long x, y; BYTE alpha, red; } spots[] = {
        {1, 1, 77, 1}, {2, 1, 255, 1}, {0, 5, 9, 30}, {1, 5, 255, 1}, {7, 5, 255, 1},
        {8, 5, 9, 30}, {4, 0, 9, 30}, {4, 1, 255, 1}, {4, 8, 255, 1}, {4, 9, 9, 30}};
    for (const auto& p : spots) {
        EXPECT_EQ(img.AlphaGet(p.x, p.y), p.alpha) << p.x << "," << p.y;
        EXPECT_EQ(img.GetPixelColor(p.x, p.y).rgbRed, p.red) << p.x << "," << p.y;
    }
    EXPECT_FALSE(img.Expand(5, 5, c));
    EXPECT_FALSE(img.Expand(-1, 0, 0, 0, c));

    Vistel mono(3, 2, 1);
    mono.SetPaletteColor(0, 0, 0, 0);
    mono.SetPaletteColor(1, 255, 255, 255);
    mono.Clear(0);
    ASSERT_TRUE(mono.Expand(1, 1, 1, 1, Bgr(255, 255, 255)));
    EXPECT_EQ(mono.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(mono.GetPixelIndex(1, 1), 0);
    EXPECT_EQ(mono.GetPixelIndex(4, 3), 1);
}

TEST(ThumbnailTest, FitsAndCentres)
{
    Vistel wide(400, 200, 24);
    Fill(wide, Bgr(5, 5, 5));
    RGBQUAD c = Bgr(0, 0, 255);
    Vistel out;
    ASSERT_TRUE(wide.Thumbnail(100, 100, c, &out));
    EXPECT_EQ(out.GetWidth(), 100u);
    EXPECT_EQ(out.GetHeight(), 100u);
    EXPECT_EQ(out.GetPixelColor(50, 24).rgbRed, 255);
    EXPECT_EQ(out.GetPixelColor(50, 25).rgbRed, 5);
    EXPECT_EQ(out.GetPixelColor(50, 74).rgbRed, 5);
    EXPECT_EQ(out.GetPixelColor(50, 75).rgbRed, 255);
    EXPECT_EQ(wide.GetWidth(), 400u);

    Vistel small(50, 50, 24);
    Fill(small, Bgr(5, 5, 5));
    ASSERT_TRUE(small.Thumbnail(100, 100, c));
    EXPECT_EQ(small.GetWidth(), 100u);
    EXPECT_EQ(small.GetPixelColor(24, 50).rgbRed, 255);
    EXPECT_EQ(small.GetPixelColor(25, 50).rgbRed, 5);
    EXPECT_FALSE(small.Thumbnail(0, 10, c));
}
