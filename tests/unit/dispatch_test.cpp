// Codec dispatch: error texts, type checks, buffers, rewinding, and the
// RGBA export's layout.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Vistel.h"
#include "Formats.h"

TEST(Dispatch, UnknownTypesAreRefusedWithoutReading)
{
    Vistel img(2, 2, 24);
    BYTE data[16] = {1, 2, 3};
    VsMemFile f(data, sizeof(data));
    EXPECT_FALSE(formats::Decode(img, &f, 7));
    EXPECT_STREQ(img.GetLastError(), "unknown image format");
    EXPECT_EQ(f.Tell(), 0);
    EXPECT_TRUE(img.IsValid());

    VsMemFile out;
    out.Open();
    EXPECT_FALSE(formats::Encode(img, &out, 0));
    EXPECT_STREQ(img.GetLastError(), "Encode: Unknown format");
    EXPECT_FALSE(formats::Encode(img, &out, 6));
    EXPECT_STREQ(img.GetLastError(), "Encode: Unknown format");
}

TEST(Dispatch, GarbageLeavesALoadedImageIntactAndRewinds)
{
    Vistel img(3, 2, 24);
    img.Clear(0x55);
    BYTE* dib = img.GetDIB();
    std::vector<BYTE> garbage(64, 0xEE);
    VsMemFile f(garbage.data(), (DWORD)garbage.size());
    f.Seek(5, SEEK_SET);
    EXPECT_FALSE(formats::Decode(img, &f, VISTEL_FORMAT_UNKNOWN));
    EXPECT_STREQ(img.GetLastError(), "unknown image format");
    EXPECT_EQ(f.Tell(), 5);
    EXPECT_EQ(img.GetDIB(), dib);
    EXPECT_EQ(img.GetBits(0)[0], 0x55);
}

TEST(Dispatch, EncodeGuards)
{
    Vistel empty;
    VsMemFile out;
    out.Open();
    EXPECT_TRUE(empty.EncodeSafeCheck(&out));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");

    Vistel img(2, 2, 24);
    EXPECT_TRUE(img.EncodeSafeCheck(nullptr));
    EXPECT_STREQ(img.GetLastError(), "null file handler");

    BYTE marker = 0;
    BYTE* buffer = &marker;
    long size = 123;
    EXPECT_FALSE(formats::Encode(img, buffer, size, VISTEL_FORMAT_BMP));
    EXPECT_STREQ(img.GetLastError(), "the buffer must be empty");
    EXPECT_EQ(buffer, &marker);
    EXPECT_EQ(size, 123);
}

TEST(Dispatch, CheckFormatNeedsEnoughBytes)
{
    basic_image_information bi = {9, 9, 9, 9};
    BYTE gif[10] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0};
    EXPECT_FALSE((formats::Probe(gif, sizeof(gif), &bi) != nullptr));
    EXPECT_EQ(bi.format, 0u);
    EXPECT_EQ(bi.width, 0);
}

TEST(Dispatch, LoadOfAMissingFileFails)
{
    Vistel img;
    EXPECT_FALSE(formats::Load(img, "/nonexistent/dir/file.bmp", VISTEL_FORMAT_BMP));
    EXPECT_FALSE(img.IsValid());
}

TEST(RgbaExport, TrueColourTopRowFirst)
{
    Vistel img(2, 2, 24);
    img.SetPixelColor(0, 1, RGBQUAD{3, 2, 1, 0});   // top-left
    img.SetPixelColor(1, 1, RGBQUAD{6, 5, 4, 0});
    img.SetPixelColor(0, 0, RGBQUAD{9, 8, 7, 0});   // bottom-left
    img.SetPixelColor(1, 0, RGBQUAD{12, 11, 10, 0});
    BYTE* buf = nullptr;
    long size = 0;
    ASSERT_TRUE(img.Encode2RGBA(buf, size));
    ASSERT_EQ(size, 16);
    const BYTE expected[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
    EXPECT_EQ(0, memcmp(buf, expected, 16));
    Vistel::FreeMemory(buf);
}

TEST(RgbaExport, ExportMatchesPerPixelColours)
{
    // The row-wise export must agree with BlindGetPixelColor at every depth,
    // with and without an alpha plane or a transparent index.
    for (WORD bpp : {1, 4, 8, 24})
        for (bool transparency : {false, true}) {
            SCOPED_TRACE(testing::Message() << bpp << " bpp, transparency " << transparency);
            Vistel img(7, 3, bpp);
            if (img.IsIndexed())
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
            } else if (!img.IsIndexed() && transparency) {
                EXPECT_EQ(buf[(7 + 1) * 4 + 3], 77);
            }
            for (long y = 0; y < 3; y++)
                for (long x = 0; x < 7; x++) {
                    RGBQUAD c = img.BlindGetPixelColor(x, y);
                    const BYTE* p = buf + ((2 - y) * 7 + x) * 4;
                    const BYTE want[4] = {c.rgbRed, c.rgbGreen, c.rgbBlue, c.rgbReserved};
                    EXPECT_EQ(0, memcmp(p, want, 4)) << x << "," << y;
                }
            Vistel::FreeMemory(buf);
        }
}
