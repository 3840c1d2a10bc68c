// Crop, Flip and Mirror, which the extension itself does not call: one
// property each, checked pixel by pixel against the source at 1, 4, 8 and 24
// bits per pixel with odd widths, unaligned offsets, alpha planes and
// rectangles reaching outside.
#include <gtest/gtest.h>

#include "Vistel.h"
#include "test_images.h"

using namespace testimages;

namespace {

const DWORD kDepths[] = {1, 4, 8, 24};

}  // namespace

// Every horizontal span of odd and stride-filling widths: byte-aligned
// copies, bit shifts at each offset, spans ending on a row's last byte (the
// source's padding bits are set and must not come along).
TEST(Crop, EverySpanMatchesTheSource)
{
    for (DWORD bpp : kDepths)
        for (DWORD w : {1u, 7u, 13u, 32u, 33u}) {
            SCOPED_TRACE(testing::Message() << bpp << " bpp, width " << w);
            Vistel src;
            MakeNoisy(src, w, 3, bpp, true, bpp * 100 + w, true);
            for (long l = 0; l < (long)w; l++)
                for (long r = l + 1; r <= (long)w; r++) {
                    Vistel out;
                    ASSERT_TRUE(src.Crop(l, 1, r, 3, &out));
                    // Rows 1..2 from the top are DIB rows 1 and 0.
                    ExpectMapped(out, src, r - l, 2, [l](long x, long y) { return std::make_pair(l + x, y); });
                }
        }
}

TEST(Crop, RectanglesAreClampedOrRefused)
{
    Vistel src, copy;
    MakeNoisy(src, 9, 7, 4, true, 5);
    copy = src;
    // {rect}, then the block's bottom-left and size; swapped corners too.
    const struct { long l, t, r, b, x0, y0, w, h; } clamped[] = {
        {7, 5, 2, 1, 2, 2, 5, 4}, {-5, -3, 4, 2, 0, 5, 4, 2}, {6, 4, 100, 1000, 6, 0, 3, 3},
        {-1000000, -1000000, 1000000, 1000000, 0, 0, 9, 7}};
    for (const auto& c : clamped) {
        Vistel out;
        ASSERT_TRUE(src.Crop(c.l, c.t, c.r, c.b, &out));
        ExpectMapped(out, src, c.w, c.h, [&](long x, long y) { return std::make_pair(c.x0 + x, c.y0 + y); });
    }
    // Empty or wholly outside: refused, source and destination untouched.
    Vistel dst(2, 2, 8, VISTEL_FORMAT_PNG), empty;
    for (const RECT& r : {RECT{2, 1, 2, 3}, RECT{1, 2, 3, 2}, RECT{10, 0, 20, 3}, RECT{-9, 0, -1, 3},
                          RECT{0, 8, 4, 12}, RECT{0, -8, 4, -2}}) {
        EXPECT_FALSE(src.Crop(r));
        EXPECT_FALSE(src.Crop(r, &dst));
    }
    ExpectSame(src, copy);
    EXPECT_EQ(dst.GetWidth(), 2u);
    EXPECT_FALSE(empty.Crop(0, 0, 1, 1));
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
                ExpectMapped(flipped, src, w, h, [h](long x, long y) { return std::make_pair(x, h - 1 - y); });
                ExpectMapped(mirrored, src, w, h, [w](long x, long y) { return std::make_pair(w - 1 - x, y); });
            }
}
