// Codec dispatch: what it refuses and what a refusal leaves, and the RGBA
// export every photo read goes through (row by row) against the
// pixel-by-pixel colours.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Formats.h"
#include "Vistel.h"

TEST(Dispatch, RefusalsLeaveTheImageAndTheStreamAsTheyWere)
{
    Vistel img(3, 2, 24);
    img.Clear(0x55);
    BYTE* dib = img.GetDIB();
    std::vector<BYTE> garbage(64, 0xEE);
    VsMemFile f(garbage.data(), (DWORD)garbage.size());
    EXPECT_FALSE(formats::Decode(img, &f, 7));
    EXPECT_STREQ(img.GetLastError(), "unknown image format");
    EXPECT_EQ(f.Tell(), 0);
    f.Seek(5, SEEK_SET);
    EXPECT_FALSE(formats::Decode(img, &f, VISTEL_FORMAT_UNKNOWN));
    EXPECT_STREQ(img.GetLastError(), "unknown image format");
    EXPECT_EQ(f.Tell(), 5);
    EXPECT_EQ(img.GetDIB(), dib);
    EXPECT_EQ(img.GetBits(0)[0], 0x55);

    VsMemFile out;
    out.Open();
    for (DWORD type : {0u, 6u}) {
        EXPECT_FALSE(formats::Encode(img, &out, type));
        EXPECT_STREQ(img.GetLastError(), "Encode: Unknown format");
    }
    EXPECT_EQ(out.Size(), 0);

    // A GIF signature and screen size, but not the whole screen block.
    basic_image_information bi = {9, 9, 9, 9};
    BYTE gif[10] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0};
    EXPECT_EQ(formats::Probe(gif, sizeof(gif), &bi), nullptr);
    EXPECT_EQ(bi.width, 0);
}

TEST(RgbaExport, MatchesPerPixelColoursAtEveryDepth)
{
    for (WORD bpp : {1, 4, 8, 24})
        for (bool transparency : {false, true}) {
            SCOPED_TRACE(testing::Message() << bpp << " bpp, transparency " << transparency);
            Vistel img(7, 3, bpp);
            for (DWORD i = 0; i < img.GetNumColors(); i++)
                img.SetPaletteColor((BYTE)i, (BYTE)(i * 3), (BYTE)(i * 5), (BYTE)(i * 7), 200);
            for (long y = 0; y < 3; y++)
                for (long x = 0; x < 7; x++) {
                    if (img.IsIndexed()) img.SetPixelIndex(x, y, (BYTE)(x * 3 + y));
                    else img.SetPixelColor(x, y, RGBQUAD{(BYTE)x, (BYTE)y, (BYTE)(x + y), 0});
                }
            if (transparency && img.IsIndexed()) img.SetTransIndex(1);
            if (transparency && !img.IsIndexed()) {
                img.AlphaCreate();
                img.AlphaSet(1, 1, 77);
            }
            BYTE* buf = nullptr;
            long size = 0;
            ASSERT_TRUE(img.Encode2RGBA(buf, size));
            ASSERT_EQ(size, 7 * 3 * 4);
            // Without a transparent index the stored reserved byte is the alpha.
            if (img.IsIndexed() && !transparency) {
                EXPECT_EQ(buf[3], 200);
            }
            // Top row first, red, green, blue, alpha.
            for (long y = 0; y < 3; y++)
                for (long x = 0; x < 7; x++) {
                    const RGBQUAD c = img.BlindGetPixelColor(x, y);
                    const BYTE want[4] = {c.rgbRed, c.rgbGreen, c.rgbBlue, c.rgbReserved};
                    EXPECT_EQ(0, memcmp(buf + ((2 - y) * 7 + x) * 4, want, 4)) << x << "," << y;
                }
            if (!img.IsIndexed() && transparency) {
                EXPECT_EQ(buf[(7 + 1) * 4 + 3], 77);
            }
            Vistel::FreeMemory(buf);
        }
}
