// Crop, Flip and Mirror at 1, 4, 8 and 24 bits per pixel, checked pixel by
// pixel against the source through a plain bit-level reader, with odd
// widths, unaligned crop offsets, alpha planes and out-of-range rectangles.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "Vistel.h"
#include "test_images.h"

namespace {

// The stored value of pixel (x, y): a palette index, or blue-green-red
// packed into 24 bits. Read straight from the row bytes.
unsigned RawPixel(const Vistel& img, long x, long y)
{
    const BYTE* row = img.GetBits((DWORD)y);
    switch (img.GetBpp()) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return (x % 2) ? (row[x / 2] & 15) : (row[x / 2] >> 4);
    case 8: return row[x];
    default: return row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
    }
}

// True when every bit of every row past the last pixel is zero.
bool PaddingIsZero(const Vistel& img)
{
    const size_t usedBits = (size_t)img.GetWidth() * img.GetBpp();
    for (DWORD y = 0; y < img.GetHeight(); y++) {
        const BYTE* row = img.GetBits(y);
        for (size_t bit = usedBits; bit < (size_t)img.GetEffWidth() * 8; bit++)
            if (row[bit / 8] & (0x80 >> (bit % 8))) return false;
    }
    return true;
}

// An image with random pixel bytes (padding included), a distinct palette
// and, when asked, a random alpha plane.
void MakeNoisy(Vistel& img, DWORD w, DWORD h, DWORD bpp, bool alpha, unsigned seed)
{
    ASSERT_NE(img.Create(w, h, bpp, VISTEL_FORMAT_GIF), nullptr);
    std::mt19937 rng(seed);
    BYTE* bits = img.GetBits(0);
    for (DWORD i = 0; i < img.GetEffWidth() * h; i++) bits[i] = (BYTE)rng();
    RGBQUAD* pal = img.GetPalette();
    for (DWORD i = 0; i < img.GetNumColors(); i++)
        pal[i] = RGBQUAD{(BYTE)i, (BYTE)(255 - i), (BYTE)(i * 7), 0};
    if (alpha) {
        img.AlphaCreate();
        ASSERT_TRUE(img.AlphaIsValid());
        for (DWORD y = 0; y < h; y++)
            for (DWORD x = 0; x < w; x++) img.AlphaSet(x, y, (BYTE)rng());
    }
}

// Checks that `out` is the w x h block of `src` whose bottom-left pixel is
// src's (x0, y0), alpha included.
void ExpectBlock(Vistel& out, Vistel& src, long x0, long y0, long w, long h)
{
    ASSERT_TRUE(out.IsValid());
    ASSERT_EQ(out.GetWidth(), (DWORD)w);
    ASSERT_EQ(out.GetHeight(), (DWORD)h);
    ASSERT_EQ(out.GetBpp(), src.GetBpp());
    ASSERT_EQ(out.AlphaIsValid(), src.AlphaIsValid());
    for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++) {
            ASSERT_EQ(RawPixel(out, x, y), RawPixel(src, x0 + x, y0 + y)) << "at " << x << "," << y;
            if (src.AlphaIsValid()) {
                ASSERT_EQ(out.AlphaGet(x, y), src.AlphaGet(x0 + x, y0 + y));
            }
        }
    EXPECT_TRUE(PaddingIsZero(out));
}

const DWORD kDepths[] = {1, 4, 8, 24};

}  // namespace

// Every horizontal span of odd and stride-filling widths, at every depth:
// exercises byte-aligned copies, bit shifts at each offset, and spans
// ending on the last byte of a full row.
TEST(Crop, EverySpanMatchesSource)
{
    for (DWORD bpp : kDepths) {
        for (DWORD w : {1u, 7u, 13u, 32u, 33u}) {
            SCOPED_TRACE(testing::Message() << bpp << " bpp, width " << w);
            Vistel src;
            MakeNoisy(src, w, 3, bpp, true, bpp * 100 + w);
            for (long l = 0; l < (long)w; l++)
                for (long r = l + 1; r <= (long)w; r++) {
                    Vistel out;
                    ASSERT_TRUE(src.Crop(l, 1, r, 3, &out));
                    // Rows 1..2 from the top are DIB rows 1 and 0.
                    ExpectBlock(out, src, l, 0, r - l, 2);
                }
        }
    }
}

TEST(Crop, InPlaceKeepsPaletteTypeAndTransparency)
{
    for (DWORD bpp : kDepths) {
        SCOPED_TRACE(bpp);
        Vistel src, img;
        MakeNoisy(src, 11, 6, bpp, true, bpp);
        MakeNoisy(img, 11, 6, bpp, true, bpp);
        img.SetTransIndex(3);
        img.SetTransColor(RGBQUAD{1, 2, 3, 0});
        img.SetFrameDelay(7);
        ASSERT_TRUE(img.Crop(3, 1, 10, 4));
        ExpectBlock(img, src, 3, 2, 7, 3);
        EXPECT_EQ(img.GetType(), (DWORD)VISTEL_FORMAT_GIF);
        EXPECT_EQ(img.GetTransIndex(), 3);
        EXPECT_EQ(img.GetTransColor().rgbRed, bpp == 24 ? 3 : img.GetPalette()[3].rgbRed);
        EXPECT_EQ(img.GetFrameDelay(), 0u);  // the rest of the info block starts afresh
        if (bpp < 24) {
            EXPECT_EQ(0, memcmp(img.GetPalette(), src.GetPalette(), src.GetPaletteSize()));
        }
    }
}

TEST(Crop, SwappedCornersAndRectanglesPartlyOutside)
{
    for (DWORD bpp : kDepths) {
        SCOPED_TRACE(bpp);
        Vistel src;
        MakeNoisy(src, 9, 7, bpp, true, 5);
        Vistel a, b;
        ASSERT_TRUE(src.Crop(2, 1, 7, 5, &a));
        ASSERT_TRUE(src.Crop(7, 5, 2, 1, &b));
        ExpectBlock(b, a, 0, 0, 5, 4);
        // Clamped to the image: {rect}, then the block's bottom-left and size.
        const struct { long l, t, r, b, x0, y0, w, h; } clamped[] = {
            {-5, -3, 4, 2, 0, 5, 4, 2}, {6, 4, 100, 1000, 6, 0, 3, 3},
            {-1000000, -1000000, 1000000, 1000000, 0, 0, 9, 7}};
        for (const auto& c : clamped) {
            ASSERT_TRUE(src.Crop(c.l, c.t, c.r, c.b, &a));
            ExpectBlock(a, src, c.x0, c.y0, c.w, c.h);
        }
    }
}

TEST(Crop, EmptyOrWhollyOutsideRectanglesChangeNothing)
{
    Vistel img, copy;
    MakeNoisy(img, 4, 3, 24, true, 1);
    copy = img;
    Vistel dst(2, 2, 8, VISTEL_FORMAT_PNG);
    const RECT bad[] = {{5, 0, 5, 3}, {2, 1, 2, 3}, {1, 2, 3, 2}, {10, 0, 20, 3},
                        {-9, 0, -1, 3}, {0, 5, 4, 9}, {0, -8, 4, -2}};
    for (const RECT& r : bad) {
        SCOPED_TRACE(testing::Message() << r.left << "," << r.top << "," << r.right << "," << r.bottom);
        EXPECT_FALSE(img.Crop(r));
        EXPECT_FALSE(img.Crop(r, &dst));
    }
    ExpectBlock(img, copy, 0, 0, 4, 3);
    EXPECT_EQ(dst.GetWidth(), 2u);
    EXPECT_EQ(dst.GetType(), (DWORD)VISTEL_FORMAT_PNG);

    Vistel empty;
    EXPECT_FALSE(empty.Crop(0, 0, 1, 1));
    EXPECT_FALSE(empty.Flip());
    EXPECT_FALSE(empty.Mirror());
}

TEST(Crop, IntoDestinationLeavesSourceAndReplacesDestination)
{
    Vistel src, copy;
    MakeNoisy(src, 10, 5, 1, false, 3);
    src.SetTransIndex(1);
    copy = src;
    Vistel dst;
    MakeNoisy(dst, 20, 20, 24, true, 4);
    dst.SetJpegQuality(33);
    ASSERT_TRUE(src.Crop(3, 0, 8, 2, &dst));
    ExpectBlock(dst, src, 3, 3, 5, 2);
    EXPECT_FALSE(dst.AlphaIsValid());
    EXPECT_EQ(dst.GetTransIndex(), 1);
    EXPECT_EQ(dst.GetJpegQuality(), 90);
    EXPECT_EQ(0, memcmp(src.GetDIB(), copy.GetDIB(), copy.GetSize()));
    // The destination may be the source itself.
    ASSERT_TRUE(src.Crop(3, 0, 8, 2, &src));
    ExpectBlock(src, dst, 0, 0, 5, 2);
}

namespace {

// Flip, then flip back and mirror, then mirror back, checking each step
// against the untouched twin `src`; the info block must survive.
void CheckFlipAndMirror(DWORD bpp, long w, long h)
{
    SCOPED_TRACE(testing::Message() << bpp << " bpp, " << w << " x " << h);
    Vistel src, img;
    MakeNoisy(src, w, h, bpp, true, w + h);
    MakeNoisy(img, w, h, bpp, true, w + h);
    img.SetTransIndex(1);
    img.SetFrameDelay(12);

    ASSERT_TRUE(img.Flip());
    for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++) {
            ASSERT_EQ(RawPixel(img, x, y), RawPixel(src, x, h - 1 - y));
            ASSERT_EQ(img.AlphaGet(x, y), src.AlphaGet(x, h - 1 - y));
        }
    ASSERT_TRUE(img.Flip());
    ASSERT_TRUE(img.Mirror());
    for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++) {
            ASSERT_EQ(RawPixel(img, x, y), RawPixel(src, w - 1 - x, y));
            ASSERT_EQ(img.AlphaGet(x, y), src.AlphaGet(w - 1 - x, y));
        }
    ASSERT_TRUE(img.Mirror());
    for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++) ASSERT_EQ(RawPixel(img, x, y), RawPixel(src, x, y));
    EXPECT_EQ(img.GetTransIndex(), 1);
    EXPECT_EQ(img.GetFrameDelay(), 12u);
    EXPECT_EQ(img.GetType(), (DWORD)VISTEL_FORMAT_GIF);
}

}  // namespace

TEST(FlipMirror, MatchSourceAtEveryDepth)
{
    for (DWORD bpp : kDepths)
        for (long w : {1, 3, 5, 8, 17, 32, 33})
            for (long h : {1, 4, 5}) CheckFlipAndMirror(bpp, w, h);
}

TEST(FlipMirror, FourBitOddWidthSwapsNibbles)
{
    Vistel img(3, 1, 4);
    img.GetBits(0)[0] = 0x12;
    img.GetBits(0)[1] = 0x30;
    ASSERT_TRUE(img.Mirror());
    EXPECT_EQ(img.GetBits(0)[0], 0x32);
    EXPECT_EQ(img.GetBits(0)[1], 0x10);
}
