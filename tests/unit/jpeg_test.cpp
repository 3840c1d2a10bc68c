// JPEG codec: round trips, options, resolution, EXIF carry-over, header-only
// reads and hostile streams.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Formats.h"
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
    for (DWORD y = 0; y < a.GetHeight(); y++) {
        const BYTE* p = a.GetBits(y);
        const BYTE* q = b.GetBits(y);
        for (DWORD i = 0; i < bytes; i++) sum += std::abs(p[i] - q[i]);
    }
    return sum / (bytes * (double)a.GetHeight());
}

// Offset of the first marker segment with that code, or -1.
long FindMarker(const Bytes& d, uint8_t marker)
{
    for (size_t i = 2; i + 3 < d.size();) {
        if (d[i] != 0xFF) return -1;
        if (d[i + 1] == marker) return (long)i;
        if (d[i + 1] == 0xDA) return -1;
        i += 2 + ((d[i + 2] << 8) | d[i + 3]);
    }
    return -1;
}

// A 24-bit test card: smooth gradients plus a sharp checker block.
class TestCard : public VistelJPG {
public:
    TestCard(DWORD w = 64, DWORD h = 48)
    {
        Create(w, h, 24, VISTEL_FORMAT_JPG);
        for (DWORD y = 0; y < h; y++)
            for (DWORD x = 0; x < w; x++) {
                BYTE* px = GetBits(y) + 3 * x;
                bool check = x > 40 && y > 20 && ((x / 4 + y / 4) & 1);
                px[0] = (BYTE)(check ? 230 : x * 3);        // blue
                px[1] = (BYTE)(check ? 20 : y * 4);         // green
                px[2] = (BYTE)(check ? 200 : 255 - x * 2);  // red
            }
    }
};

}  // namespace

TEST(JpegCodec, QualityTradesSizeForError)
{
    TestCard card;
    double lastError = 1e9;
    size_t lastSize = 0;
    for (int q : {20, 50, 80, 98}) {
        card.SetJpegQuality((BYTE)q);
        Bytes data = EncodeToBytes(&card);
        VistelJPG back;
        ASSERT_TRUE(DecodeBytes(&back, data)) << back.GetLastError();
        ASSERT_EQ(back.GetWidth(), 64u);
        ASSERT_EQ(back.GetHeight(), 48u);
        ASSERT_EQ(back.GetBpp(), 24);
        double err = MeanError(card, back, 64 * 3);
        EXPECT_LT(err, lastError) << "quality " << q;
        EXPECT_GT(data.size(), lastSize) << "quality " << q;
        lastError = err;
        lastSize = data.size();
        if (q == 98) {
            // The smooth part keeps blue, green and red in their places.
            const BYTE* px = back.GetBits(5) + 3 * 10;
            EXPECT_NEAR(px[0], 30, 4);
            EXPECT_NEAR(px[1], 20, 4);
            EXPECT_NEAR(px[2], 235, 4);
        }
    }
    EXPECT_LT(lastError, 6.0);
}

TEST(JpegCodec, GreyRoundTripAndGreyOptions)
{
    VistelJPG grey;
    grey.Create(33, 17, 8, VISTEL_FORMAT_JPG);
    grey.SetGrayPalette();
    for (DWORD y = 0; y < 17; y++)
        for (DWORD x = 0; x < 33; x++) grey.GetBits(y)[x] = (BYTE)(x * 7 + y);
    Bytes data = EncodeToBytes(&grey);
    long sof = FindMarker(data, 0xC0);
    ASSERT_GT(sof, 0);
    EXPECT_EQ(data[sof + 9], 1);  // one component
    VistelJPG back;
    ASSERT_TRUE(DecodeBytes(&back, data));
    EXPECT_EQ(back.GetBpp(), 8);
    EXPECT_TRUE(back.IsGrayScale());
    EXPECT_LT(MeanError(grey, back, 33), 2.0);

    // A colour file decoded with grey output gives luminance, not swapped.
    TestCard card;
    card.SetCodecOption(JPG_OPT_GREY_OUTPUT, VISTEL_FORMAT_JPG);
    Bytes greyFile = EncodeToBytes(&card);
    card.SetCodecOption(0, VISTEL_FORMAT_JPG);
    Bytes colourFile = EncodeToBytes(&card);
    VistelJPG a, b;
    ASSERT_TRUE(DecodeBytes(&a, greyFile));
    b.SetCodecOption(JPG_OPT_GREY_DECODE, VISTEL_FORMAT_JPG);
    ASSERT_TRUE(DecodeBytes(&b, colourFile));
    EXPECT_EQ(a.GetBpp(), 8);
    EXPECT_EQ(b.GetBpp(), 8);
    EXPECT_LT(MeanError(a, b, 64), 3.0);
}

TEST(JpegCodec, EncodeRefusesOtherPalettes)
{
    VistelJPG bw, pal, empty;
    bw.Create(8, 8, 1, VISTEL_FORMAT_JPG);
    bw.SetGrayPalette();  // black and white
    pal.Create(8, 8, 8, VISTEL_FORMAT_JPG);
    pal.SetGrayPalette();
    pal.SetPaletteColor(3, 255, 0, 0);
    VsMemFile out;
    out.Open();
    for (VistelJPG* img : {&bw, &pal, &empty}) {
        EXPECT_FALSE(img->Encode(&out));
        EXPECT_STREQ(img->GetLastError(), img == &empty ? "null image!!!"
                                                        : "JPEG can save only RGB or GreyScale images");
    }
}

TEST(JpegCodec, ProgressiveOptimisedArithmeticAndQuantised)
{
    TestCard card;
    const DWORD variants[] = {JPG_OPT_PROGRESSIVE, JPG_OPT_PROGRESSIVE | JPG_OPT_OPTIMIZE,
                              JPG_OPT_ARITHMETIC, JPG_OPT_SMOOTHING | JPG_OPT_BASELINE};
    for (DWORD opt : variants) {
        card.SetCodecOption(opt, VISTEL_FORMAT_JPG);
        Bytes data = EncodeToBytes(&card);
        if (opt & JPG_OPT_PROGRESSIVE) {
            EXPECT_GT(FindMarker(data, 0xC2), 0);
        }
        if (opt & JPG_OPT_ARITHMETIC) {
            EXPECT_GT(FindMarker(data, 0xC9), 0);
        }
        VistelJPG back;
        ASSERT_TRUE(DecodeBytes(&back, data)) << opt << ": " << back.GetLastError();
        EXPECT_LT(MeanError(card, back, 64 * 3), 6.0) << opt;
    }

    card.SetCodecOption(0, VISTEL_FORMAT_JPG);
    Bytes data = EncodeToBytes(&card);
    VistelJPG q;
    q.SetCodecOption(JPG_OPT_QUANTIZE | JPG_OPT_ONE_PASS, VISTEL_FORMAT_JPG);
    q.SetJpegQuality(16);
    ASSERT_TRUE(DecodeBytes(&q, data)) << q.GetLastError();
    EXPECT_EQ(q.GetBpp(), 8);
    for (DWORD y = 0; y < q.GetHeight(); y++)
        for (DWORD x = 0; x < q.GetWidth(); x++) ASSERT_LT(q.GetBits(y)[x], 16);
}

TEST(JpegCodec, ResolutionFromJfif)
{
    TestCard card(16, 16);
    card.SetXDPI(72);
    card.SetYDPI(150);
    Bytes data = EncodeToBytes(&card);
    long app0 = FindMarker(data, 0xE0);
    ASSERT_EQ(app0, 2);
    EXPECT_EQ(data[app0 + 11], 1);                          // dots per inch
    EXPECT_EQ((data[app0 + 12] << 8) | data[app0 + 13], 72);
    EXPECT_EQ((data[app0 + 14] << 8) | data[app0 + 15], 150);

    struct Case {
        uint8_t unit;
        uint16_t density;
        long dpi;
    } cases[] = {{1, 72, 72}, {2, 28, 71}, {0, 1, 0}};  // unit 0: an aspect ratio only
    for (const Case& c : cases) {
        Bytes d = data;
        d[app0 + 11] = c.unit;
        d[app0 + 12] = d[app0 + 14] = (uint8_t)(c.density >> 8);
        d[app0 + 13] = d[app0 + 15] = (uint8_t)c.density;
        VistelJPG back;
        ASSERT_TRUE(DecodeBytes(&back, d));
        EXPECT_EQ(back.GetXDPI(), c.dpi) << "unit " << (int)c.unit;
        EXPECT_EQ(back.GetYDPI(), c.dpi);
    }

    // No JFIF segment at all: no resolution, and none written back.
    Bytes bare(data.begin(), data.begin() + 2);
    bare.insert(bare.end(), data.begin() + 20, data.end());
    VistelJPG back;
    ASSERT_TRUE(DecodeBytes(&back, bare));
    EXPECT_EQ(back.GetXDPI(), 0);
    Bytes again = EncodeToBytes(&back);
    EXPECT_EQ(again[app0 + 11], 0);
}

namespace {

// Replaces the JFIF segment of a JPEG by an EXIF segment with the given
// resolution (big-endian TIFF, IFD0 only) and a comment.
Bytes WithExif(const Bytes& jpeg, uint32_t xres, uint16_t unit)
{
    Bytes tiff = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 2,
                  0x01, 0x1A, 0, 5, 0, 0, 0, 1, 0, 0, 0, 38,
                  0x01, 0x28, 0, 3, 0, 0, 0, 1, (uint8_t)(unit >> 8), (uint8_t)unit, 0, 0,
                  0, 0, 0, 0,
                  (uint8_t)(xres >> 24), (uint8_t)(xres >> 16), (uint8_t)(xres >> 8), (uint8_t)xres,
                  0, 0, 0, 1};
    Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    Bytes out = {0xFF, 0xD8, 0xFF, 0xE1, (uint8_t)((payload.size() + 2) >> 8), (uint8_t)(payload.size() + 2)};
    out.insert(out.end(), payload.begin(), payload.end());
    Bytes com = {0xFF, 0xFE, 0, 6, 'n', 'o', 't', 'e'};
    out.insert(out.end(), com.begin(), com.end());
    out.insert(out.end(), jpeg.begin() + 20, jpeg.end());  // after SOI and APP0
    return out;
}

}  // namespace

TEST(JpegCodec, ExifResolutionAndCarryOver)
{
    TestCard card(24, 8);
    Bytes plain = EncodeToBytes(&card);
    Bytes source = WithExif(plain, 118, 3);

    // Decoded through the type dispatch into a plain image, as a conversion
    // does, then written as JPEG by a codec of its own.
    Vistel img;
    ASSERT_TRUE(formats::Decode(img, source.data(), source.size(), VISTEL_FORMAT_UNKNOWN))
        << img.GetLastError();
    EXPECT_EQ(img.GetXDPI(), 300);
    EXPECT_EQ(img.GetYDPI(), 0);  // no Y resolution in the block
    BYTE* buffer = nullptr;
    long size = 0;
    ASSERT_TRUE(formats::Encode(img, buffer, size, VISTEL_FORMAT_JPG)) << img.GetLastError();
    Bytes written(buffer, buffer + size);
    free(buffer);

    // Our JFIF header with the resolution on both axes, then the EXIF and
    // comment segments byte for byte.
    ASSERT_EQ(FindMarker(written, 0xE0), 2);
    EXPECT_EQ((written[14] << 8) | written[15], 300);
    EXPECT_EQ((written[16] << 8) | written[17], 300);
    const size_t carried = (size_t)(source[4] * 256 + source[5] + 2) + 8;
    ASSERT_GT(written.size(), 20 + carried);
    EXPECT_TRUE(std::equal(source.begin() + 2, source.begin() + 2 + carried, written.begin() + 20));
    VistelJPG again;
    ASSERT_TRUE(DecodeBytes(&again, written)) << again.GetLastError();
    EXPECT_TRUE(again.GetExifInfo().IsExif);
    EXPECT_STREQ(again.GetExifInfo().Comments, "note");
    EXPECT_EQ(again.GetXDPI(), 300);

    // EXIF of an earlier file does not stick to a later one without it.
    ASSERT_TRUE(DecodeBytes(&again, plain));
    EXPECT_FALSE(again.GetExifInfo().IsExif);
    Bytes rewritten = EncodeToBytes(&again);
    EXPECT_EQ(FindMarker(rewritten, 0xE1), -1);

    // EXIF resolution wins over JFIF density; absurd claims are ignored.
    VistelJPG inch;
    ASSERT_TRUE(DecodeBytes(&inch, WithExif(plain, 300, 2)));
    EXPECT_EQ(inch.GetXDPI(), 300);
    VistelJPG absurd;
    ASSERT_TRUE(DecodeBytes(&absurd, WithExif(plain, 0x7FFFFFF0u, 2)));
    EXPECT_EQ(absurd.GetXDPI(), 0);
}

TEST(JpegCodec, HeaderOnlyScaleAndCheckFormat)
{
    TestCard card(64, 48);
    Bytes data = EncodeToBytes(&card);

    basic_image_information bi = {};
    ASSERT_TRUE(VistelJPG::CheckFormat(data.data(), (DWORD)data.size(), &bi));
    EXPECT_EQ(bi.format, (DWORD)VISTEL_FORMAT_JPG);
    EXPECT_EQ(bi.width, 64);
    EXPECT_EQ(bi.height, 48);

    // The bytes up to the scan header are enough; fewer are not.
    long sos = 2;
    while (data[sos + 1] != 0xDA) sos += 2 + ((data[sos + 2] << 8) | data[sos + 3]);
    size_t headerEnd = (size_t)sos + 2 + ((data[sos + 2] << 8) | data[sos + 3]);
    basic_image_information cut = {};
    EXPECT_TRUE(VistelJPG::CheckFormat(data.data(), (DWORD)headerEnd, &cut));
    EXPECT_FALSE(VistelJPG::CheckFormat(data.data(), (DWORD)sos, &cut));
    BYTE png[] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
    EXPECT_FALSE(VistelJPG::CheckFormat(png, sizeof(png), &cut));

    VistelJPG half;
    half.SetJpegScale(2);
    ASSERT_TRUE(DecodeBytes(&half, data));
    EXPECT_EQ(half.GetWidth(), 32u);
    EXPECT_EQ(half.GetHeight(), 24u);
    VistelJPG header;
    header.SetJpegScale(2);
    header.SetEscape(-1);
    ASSERT_TRUE(DecodeBytes(&header, data));
    EXPECT_FALSE(header.IsValid());
    EXPECT_EQ(header.GetWidth(), 32u);
}

TEST(JpegCodec, BadStreamsFailAndKeepTheImage)
{
    TestCard card(40, 30);
    Bytes data = EncodeToBytes(&card);
    VistelJPG img;
    ASSERT_TRUE(DecodeBytes(&img, data));

    EXPECT_FALSE(DecodeBytes(&img, Bytes()));
    EXPECT_STREQ(img.GetLastError(), "Empty input file");

    // A frame header claiming 65000 x 65000 is refused before allocating;
    // its header alone still reads.
    Bytes huge = data;
    long sof = FindMarker(huge, 0xC0);
    ASSERT_GT(sof, 0);
    huge[sof + 5] = huge[sof + 7] = 0xFD;
    huge[sof + 6] = huge[sof + 8] = 0xE8;
    EXPECT_FALSE(DecodeBytes(&img, huge));
    EXPECT_STREQ(img.GetLastError(), vssize::kTooLarge);
    basic_image_information bi = {};
    EXPECT_TRUE(VistelJPG::CheckFormat(huge.data(), (DWORD)huge.size(), &bi));
    EXPECT_EQ(bi.width, 65000);

    EXPECT_FALSE(DecodeBytes(&img, Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0, 3, 1}));
    EXPECT_FALSE(DecodeBytes(&img, Bytes{'G', 'I', 'F', '8', '9', 'a'}));
    EXPECT_NE(std::string(img.GetLastError()), "");

    // Failures above left the first picture in place.
    ASSERT_TRUE(img.IsValid());
    EXPECT_EQ(img.GetWidth(), 40u);
    EXPECT_LT(MeanError(card, img, 40 * 3), 3.0);

    // A cancelled decode fails without a message of its own.
    VistelJPG cancelled;
    cancelled.SetEscape(1);
    EXPECT_FALSE(DecodeBytes(&cancelled, data));
    EXPECT_FALSE(cancelled.IsValid());
}

TEST(JpegCodec, TruncatedStreamsDecodeWhatTheyHold)
{
    TestCard card(64, 48);
    card.SetCodecOption(JPG_OPT_PROGRESSIVE, VISTEL_FORMAT_JPG);
    Bytes progressive = EncodeToBytes(&card);
    card.SetCodecOption(0, VISTEL_FORMAT_JPG);
    Bytes baseline = EncodeToBytes(&card);
    for (const Bytes* file : {&baseline, &progressive}) {
        for (size_t n = 0; n < file->size(); n += 7) {
            VistelJPG img;
            bool ok = DecodeBytes(&img, Bytes(file->begin(), file->begin() + (long)n));
            // Once the frame and scan headers are in, a cut stream decodes
            // in full size (missing data as libjpeg fills it).
            if (ok) {
                EXPECT_EQ(img.GetWidth(), 64u);
                EXPECT_EQ(img.GetHeight(), 48u);
            } else {
                EXPECT_NE(std::string(img.GetLastError()), "");
            }
        }
    }
}

TEST(JpegCodec, CmykMultipliesByBlack)
{
    const int w = 16, h = 16;  // four components written straight through libjpeg
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long memSize = 0;
    jpeg_mem_dest(&c, &mem, &memSize);
    c.image_width = w, c.image_height = h;
    c.input_components = 4, c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(w * 4);
    for (int x = 0; x < w; x++) memcpy(&row[4 * x], "\xC8\x64\x32\x80", 4);  // 200 100 50 128
    while (c.next_scanline < (JDIMENSION)h) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes data(mem, mem + memSize);
    free(mem);

    VistelJPG img;
    ASSERT_TRUE(DecodeBytes(&img, data)) << img.GetLastError();
    ASSERT_EQ(img.GetBpp(), 24);
    const BYTE* px = img.GetBits(5) + 3 * 5;
    EXPECT_NEAR(px[0], 128 * 50 / 255, 2);   // blue from the third component
    EXPECT_NEAR(px[1], 128 * 100 / 255, 2);
    EXPECT_NEAR(px[2], 128 * 200 / 255, 2);  // red from the first
}
