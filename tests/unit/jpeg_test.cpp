// JPEG codec on pictures of our own (the shared corpus checks real files'
// pixels, CMYK and camera EXIF): round trips, the resolution a file carries
// to other types, the header check behind the photo match, and streams that
// are cut or are no JPEG.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "VistelJPG.h"

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes EncodeToBytes(VistelJPG* img)
{
    VsMemFile out;
    out.Open();
    EXPECT_TRUE(img->Encode(&out)) << img->GetLastError();
    BYTE* buf = out.GetBuffer(false);
    return Bytes(buf, buf + out.Size());
}

bool DecodeBytes(VistelJPG* img, Bytes data)
{
    VsMemFile in(data.data(), (DWORD)data.size());
    return img->Decode(&in);
}

// Mean absolute difference of the first `bytes` bytes of every row.
double MeanError(const Vistel& a, const Vistel& b, DWORD bytes)
{
    double sum = 0;
    for (DWORD y = 0; y < a.GetHeight(); y++)
        for (DWORD i = 0; i < bytes; i++) sum += std::abs(a.GetBits(y)[i] - b.GetBits(y)[i]);
    return sum / (bytes * (double)a.GetHeight());
}

// Offset of the first marker segment with that code before the scan, or -1.
long FindMarker(const Bytes& d, uint8_t marker)
{
    for (size_t i = 2; i + 3 < d.size() && d[i] == 0xFF && d[i + 1] != 0xDA;) {
        if (d[i + 1] == marker) return (long)i;
        i += 2 + ((d[i + 2] << 8) | d[i + 3]);
    }
    return -1;
}

// A 24-bit test card of smooth gradients: blue, green and red differ.
class TestCard : public VistelJPG {
public:
    TestCard(DWORD w = 64, DWORD h = 48)
    {
        Create(w, h, 24, VISTEL_FORMAT_JPG);
        for (DWORD y = 0; y < h; y++)
            for (DWORD x = 0; x < w; x++) {
                const BYTE bgr[3] = {BYTE(x * 3), BYTE(y * 4), BYTE(255 - x * 2)};
                memcpy(GetBits(y) + 3 * x, bgr, 3);
            }
    }
};

}  // namespace

TEST(JpegCodec, RoundTripsInColourAndGrey)
{
    TestCard card;
    card.SetJpegQuality(98);
    VistelJPG b;
    ASSERT_TRUE(DecodeBytes(&b, EncodeToBytes(&card)));
    ASSERT_EQ(b.GetBpp(), 24);
    EXPECT_LT(MeanError(card, b, 64 * 3), 6.0);
    // The smooth part keeps blue, green and red in their places.
    const BYTE smooth[3] = {30, 20, 235};
    for (int i = 0; i < 3; i++) EXPECT_NEAR(b.GetBits(5)[30 + i], smooth[i], 4);

    VistelJPG grey;
    grey.Create(33, 17, 8, VISTEL_FORMAT_JPG);
    grey.SetGrayPalette();
    for (DWORD y = 0; y < 17; y++)
        for (DWORD x = 0; x < 33; x++) grey.GetBits(y)[x] = (BYTE)(x * 7 + y);
    const Bytes data = EncodeToBytes(&grey);
    ASSERT_GT(FindMarker(data, 0xC0), 0);
    EXPECT_EQ(data[FindMarker(data, 0xC0) + 9], 1);  // one component
    VistelJPG back;
    ASSERT_TRUE(DecodeBytes(&back, data));
    EXPECT_TRUE(back.GetBpp() == 8 && back.IsGrayScale());
    EXPECT_LT(MeanError(grey, back, 33), 2.0);

    // Palettes other than the grey ramp are refused.
    grey.SetPaletteColor(3, 255, 0, 0);
    VsMemFile out;
    out.Open();
    EXPECT_FALSE(grey.Encode(&out));
    EXPECT_STREQ(grey.GetLastError(), "JPEG can save only RGB or GreyScale images");
}

TEST(JpegCodec, ResolutionFromJfifOrExif)
{
    TestCard card(16, 16);
    card.SetXDPI(72);
    card.SetYDPI(150);
    const Bytes data = EncodeToBytes(&card);
    const long app0 = FindMarker(data, 0xE0);
    ASSERT_EQ(app0, 2);
    EXPECT_EQ(0, memcmp(&data[app0 + 11], "\1\0\x48\0\x96", 5));  // per inch, 72, 150
    // JFIF units: per inch, per centimetre, none (an aspect ratio: no
    // resolution stated).
    for (auto [unit, density, dpi] : {std::tuple{1, 72, 72L}, {2, 28, 71L}, {0, 1, 0L}}) {
        Bytes d = data;
        d[app0 + 11] = (uint8_t)unit;
        d[app0 + 13] = d[app0 + 15] = (uint8_t)density;
        d[app0 + 12] = d[app0 + 14] = 0;
        VistelJPG back;
        ASSERT_TRUE(DecodeBytes(&back, d));
        EXPECT_EQ(back.GetXDPI(), dpi) << "unit " << unit;
        EXPECT_EQ(back.GetYDPI(), dpi);
    }

    // An EXIF block in place of the JFIF one (big-endian, IFD0 only: X
    // resolution and unit) and a comment. Per centimetre becomes per inch,
    // rounded; absurd claims are ignored.
    const auto withExif = [&](uint32_t xres, uint8_t unit) {
        Bytes out = {0xFF, 0xD8, 0xFF, 0xE1, 0, 54, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8,
                     0, 2, 0x01, 0x1A, 0, 5, 0, 0, 0, 1, 0, 0, 0, 38, 0x01, 0x28, 0, 3, 0, 0, 0, 1,
                     0, unit, 0, 0, 0, 0, 0, 0, (uint8_t)(xres >> 24), (uint8_t)(xres >> 16),
                     (uint8_t)(xres >> 8), (uint8_t)xres, 0, 0, 0, 1, 0xFF, 0xFE, 0, 6, 'n', 'o', 't', 'e'};
        out.reserve(out.size() + data.size());
        out.insert(out.end(), data.begin() + 20, data.end());  // after SOI and APP0
        return out;
    };
    for (auto [xres, unit, dpi] : {std::tuple{118u, 3, 300L}, {300u, 2, 300L}, {0x7FFFFFF0u, 2, 0L}}) {
        VistelJPG img;
        ASSERT_TRUE(DecodeBytes(&img, withExif(xres, (uint8_t)unit))) << img.GetLastError();
        EXPECT_TRUE(img.GetExifInfo().IsExif);
        EXPECT_EQ(img.GetXDPI(), dpi) << xres;
        EXPECT_EQ(img.GetYDPI(), 0);  // no Y resolution in the block
    }

    // Written again from the same object: our JFIF header, then the EXIF
    // and comment segments byte for byte; a later file without EXIF does
    // not keep them.
    VistelJPG img, again;
    const Bytes source = withExif(118, 3);
    ASSERT_TRUE(DecodeBytes(&img, source));
    const Bytes written = EncodeToBytes(&img);
    ASSERT_EQ(FindMarker(written, 0xE0), 2);
    ASSERT_GT(written.size(), 84u);
    EXPECT_TRUE(std::equal(source.begin() + 2, source.begin() + 66, written.begin() + 20));
    ASSERT_TRUE(DecodeBytes(&again, written)) << again.GetLastError();
    EXPECT_STREQ(again.GetExifInfo().Comments, "note");
    EXPECT_EQ(again.GetXDPI(), 300);
    ASSERT_TRUE(DecodeBytes(&again, data));
    EXPECT_EQ(FindMarker(EncodeToBytes(&again), 0xE1), -1);
}

// The photo match reads the size from the bytes up to the scan header.
TEST(JpegCodec, HeaderCheckNeedsTheFrameAndScanHeaders)
{
    TestCard card(64, 48);
    const Bytes data = EncodeToBytes(&card);
    long sos = 2;
    while (data[sos + 1] != 0xDA) sos += 2 + ((data[sos + 2] << 8) | data[sos + 3]);
    const size_t headerEnd = (size_t)sos + 2 + ((data[sos + 2] << 8) | data[sos + 3]);
    basic_image_information bi = {};
    ASSERT_TRUE(VistelJPG::CheckFormat((BYTE*)data.data(), (DWORD)headerEnd, &bi));
    EXPECT_EQ(bi.format, (DWORD)VISTEL_FORMAT_JPG);
    EXPECT_EQ(bi.width, 64);
    EXPECT_EQ(bi.height, 48);
    EXPECT_FALSE(VistelJPG::CheckFormat((BYTE*)data.data(), (DWORD)sos, &bi));
}

// Data that is no JPEG, or a JPEG cut anywhere: a failure with a message
// that leaves the earlier picture, or (once the frame and scan headers are
// in) the full size with the missing data as libjpeg fills it.
TEST(JpegCodec, CutAndForeignStreams)
{
    TestCard card(64, 48);
    const Bytes baseline = EncodeToBytes(&card);
    card.SetCodecOption(JPG_OPT_PROGRESSIVE, VISTEL_FORMAT_JPG);
    const Bytes progressive = EncodeToBytes(&card);
    VistelJPG img;
    ASSERT_TRUE(DecodeBytes(&img, baseline));
    EXPECT_FALSE(DecodeBytes(&img, Bytes()));
    EXPECT_STREQ(img.GetLastError(), "Empty input file");
    for (const Bytes& bad : {Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0, 3, 1}, Bytes{'G', 'I', 'F', '8', '9', 'a'}}) {
        EXPECT_FALSE(DecodeBytes(&img, bad));
        EXPECT_NE(std::string(img.GetLastError()), "");
    }
    ASSERT_EQ(img.GetWidth(), 64u);
    EXPECT_LT(MeanError(card, img, 64 * 3), 6.0);

    for (const Bytes* file : {&baseline, &progressive})
        for (size_t n = 0; n < file->size(); n += 7) {
            VistelJPG cut;
            if (DecodeBytes(&cut, Bytes(file->begin(), file->begin() + (long)n))) {
                EXPECT_EQ(cut.GetWidth() * cut.GetHeight(), 64u * 48u) << n;
            } else {
                EXPECT_NE(std::string(cut.GetLastError()), "") << n;
            }
        }
}
