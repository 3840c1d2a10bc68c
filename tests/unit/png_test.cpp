// PNG codec: how each kind of file lands in the image, round trips of every
// kind we write, and hostile input (cut files, lying headers).
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "VistelPNG.h"
#include "Formats.h"

namespace {

using Bytes = std::vector<BYTE>;

// ------------------------------------------------------------ file builders

struct PngFields {
    png_uint_32 width = 5, height = 3;
    int depth = 8;
    int colorType = PNG_COLOR_TYPE_RGB;
    bool interlaced = false;
    std::vector<png_color> palette;
    std::vector<png_byte> trans;  // palette alpha table
    bool transColour = false;     // grey/RGB tRNS value
    png_color_16 transValue{};
    bool background = false;
    png_color_16 backgroundValue{};
    bool phys = false;
    png_uint_32 physX = 0, physY = 0;
    int physUnit = PNG_RESOLUTION_METER;
};

void AppendBytes(png_structp png, png_bytep data, size_t n)
{
    Bytes* out = (Bytes*)png_get_io_ptr(png);
    out->insert(out->end(), data, data + n);
}

void NoFlush(png_structp) {}

bool WriteGuarded(png_structp png, png_infop info, const PngFields& s, png_bytep* rows)
{
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.colorType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), (int)s.palette.size());
    if (!s.trans.empty()) png_set_tRNS(png, info, s.trans.data(), (int)s.trans.size(), nullptr);
    if (s.transColour) png_set_tRNS(png, info, nullptr, 1, &s.transValue);
    if (s.background) png_set_bKGD(png, info, &s.backgroundValue);
    if (s.phys) png_set_pHYs(png, info, s.physX, s.physY, s.physUnit);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

// A PNG made by libpng itself from file-order rows (bytes as in the file).
Bytes MakePng(const PngFields& s, const std::vector<Bytes>& fileRows)
{
    Bytes out;
    std::vector<png_bytep> rows;
    for (const Bytes& r : fileRows) rows.push_back(const_cast<png_bytep>(r.data()));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendBytes, NoFlush);
    bool ok = WriteGuarded(png, info, s, rows.data());
    png_destroy_write_struct(&png, &info);
    EXPECT_TRUE(ok);
    return out;
}

// Rows of `bytesPerRow` bytes following a simple pattern.
std::vector<Bytes> PatternRows(const PngFields& s, size_t bytesPerRow)
{
    std::vector<Bytes> rows(s.height, Bytes(bytesPerRow));
    for (png_uint_32 y = 0; y < s.height; y++)
        for (size_t i = 0; i < bytesPerRow; i++) rows[y][i] = (BYTE)(i * 37 + y * 101 + 7);
    return rows;
}

bool DecodeBytes(Vistel& img, Bytes& bytes)
{
    return formats::Decode(img, bytes.data(), (DWORD)bytes.size(), VISTEL_FORMAT_PNG);
}

Bytes EncodeImage(Vistel& img)
{
    BYTE* buf = nullptr;
    long size = 0;
    EXPECT_TRUE(formats::Encode(img, buf, size, VISTEL_FORMAT_PNG)) << img.GetLastError();
    Bytes out(buf, buf + size);
    Vistel::FreeMemory(buf);
    return out;
}

// Length of the first chunk of that type, or -1.
long ChunkLength(const Bytes& file, const char* type)
{
    for (size_t at = 8; at + 8 <= file.size();) {
        DWORD len = (DWORD)file[at] << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
        if (memcmp(&file[at + 4], type, 4) == 0) return (long)len;
        at += 12 + (size_t)len;
    }
    return -1;
}

// Colour of (x, y) counted from the top row, as the file holds it.
RGBQUAD TopDown(Vistel& img, long x, long y)
{
    return img.GetPixelColor(x, (long)img.GetHeight() - 1 - y, false);
}

void ExpectRgb(RGBQUAD c, int r, int g, int b)
{
    EXPECT_EQ(c.rgbRed, r);
    EXPECT_EQ(c.rgbGreen, g);
    EXPECT_EQ(c.rgbBlue, b);
}

// ------------------------------------------------------------ decoding

// Every pixel lands with its colour; 16-bit samples keep their high byte.
TEST(PngDecode, SampleLayoutsKeepColourAndAlpha)
{
    struct Case {
        int type, depth, channels;
        WORD bpp;
        bool alpha;
    } cases[] = {
        {PNG_COLOR_TYPE_RGB_ALPHA, 8, 4, 24, true},
        {PNG_COLOR_TYPE_RGB_ALPHA, 16, 4, 24, true},
        {PNG_COLOR_TYPE_GRAY_ALPHA, 16, 2, 24, true},
        {PNG_COLOR_TYPE_RGB, 16, 3, 24, false},
        {PNG_COLOR_TYPE_GRAY, 16, 1, 8, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", depth " << c.depth);
        PngFields s;
        s.colorType = c.type;
        s.depth = c.depth;
        const size_t step = c.depth / 8, pixel = step * c.channels;
        const size_t g = c.channels >= 3 ? step : 0;  // offset of green, then blue at 2g
        std::vector<Bytes> rows = PatternRows(s, s.width * pixel);
        Bytes file = MakePng(s, rows);
        Vistel img;
        ASSERT_TRUE(DecodeBytes(img, file)) << img.GetLastError();
        EXPECT_EQ(img.GetBpp(), c.bpp);
        ASSERT_EQ(img.AlphaIsValid(), c.alpha);
        EXPECT_EQ(img.IsGrayScale(), c.bpp == 8);
        for (long y = 0; y < 3; y++)
            for (long x = 0; x < 5; x++) {
                const BYTE* p = &rows[y][x * pixel];
                ExpectRgb(TopDown(img, x, y), p[0], p[g], p[2 * g]);
                if (c.alpha) {
                    EXPECT_EQ(img.AlphaGet(x, 2 - y), p[(c.channels - 1) * step]);
                }
            }
    }
}

TEST(PngDecode, TwoBitGreyWidensToFourBits)
{
    PngFields s;
    s.width = 7, s.height = 4;  // odd width: a partly filled last byte
    s.colorType = PNG_COLOR_TYPE_GRAY;
    s.depth = 2;
    std::vector<Bytes> rows = PatternRows(s, 2);
    for (bool interlaced : {false, true}) {
        s.interlaced = interlaced;
        Bytes file = MakePng(s, rows);
        Vistel img;
        ASSERT_TRUE(DecodeBytes(img, file));
        EXPECT_EQ(img.GetBpp(), 4);
        for (BYTE i = 0; i < 4; i++) ExpectRgb(img.GetPaletteColor(i), i * 85, i * 85, i * 85);
        for (long y = 0; y < 4; y++)
            for (long x = 0; x < 7; x++)
                EXPECT_EQ(img.GetPixelIndex(x, 3 - y), (rows[y][x / 4] >> (6 - 2 * (x % 4))) & 3)
                    << x << "," << y << (interlaced ? " interlaced" : "");
    }
}

// A tRNS table of several entries becomes palette alpha, opaque past its
// end (a single entry is a transparent index: see the round trip).
TEST(PngDecode, PaletteAlphaFromSeveralTransEntries)
{
    PngFields s;
    s.colorType = PNG_COLOR_TYPE_PALETTE;
    for (int i = 0; i < 4; i++) s.palette.push_back({(BYTE)(i * 60), (BYTE)(i * 10), 200});
    s.trans = {10, 0};
    Bytes file = MakePng(s, {{0, 1, 2, 3, 0}, {1, 1, 1, 1, 1}, {3, 2, 1, 0, 0}});
    Vistel several;
    ASSERT_TRUE(DecodeBytes(several, file));
    EXPECT_EQ(several.GetBpp(), 8);
    EXPECT_EQ(several.GetTransIndex(), -1);
    EXPECT_TRUE(several.AlphaPaletteIsEnabled());
    EXPECT_EQ(several.GetPalette()[0].rgbReserved, 10);
    EXPECT_EQ(several.GetPalette()[1].rgbReserved, 0);
    EXPECT_EQ(several.GetPalette()[2].rgbReserved, 255);
    EXPECT_EQ(several.GetPalette()[255].rgbReserved, 255);
}

TEST(PngDecode, ResolutionFromPhys)
{
    struct Case {
        bool phys;
        int unit;
        png_uint_32 x, y;
        long wantX, wantY;
    } cases[] = {
        {false, 0, 0, 0, 0, 0},
        {true, PNG_RESOLUTION_METER, 2835, 11811, 72, 300},
        // Without a unit pHYs states an aspect ratio, not a resolution.
        {true, PNG_RESOLUTION_UNKNOWN, 3, 0x7FFFFFFF, 0, 0},
        // Huge ones are held within range.
        {true, PNG_RESOLUTION_METER, 0x7FFFFFFF, 1, 54000000, 0},
    };
    for (const Case& c : cases) {
        PngFields s;
        s.phys = c.phys, s.physUnit = c.unit, s.physX = c.x, s.physY = c.y;
        Bytes file = MakePng(s, PatternRows(s, s.width * 3));
        Vistel img;
        ASSERT_TRUE(DecodeBytes(img, file));
        EXPECT_EQ(img.GetXDPI(), c.wantX);
        EXPECT_EQ(img.GetYDPI(), c.wantY);
    }
}

TEST(PngDecode, InterlacedEqualsPlainAndIsRemembered)
{
    PngFields s;
    s.width = 13, s.height = 11;
    for (int type : {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA, PNG_COLOR_TYPE_GRAY}) {
        s.colorType = type;
        size_t channels = type == PNG_COLOR_TYPE_RGB ? 3 : type == PNG_COLOR_TYPE_GRAY ? 1 : 4;
        std::vector<Bytes> rows = PatternRows(s, s.width * channels);
        s.interlaced = false;
        Bytes plainFile = MakePng(s, rows);
        s.interlaced = true;
        Bytes adamFile = MakePng(s, rows);
        Vistel plain, adam;
        ASSERT_TRUE(DecodeBytes(plain, plainFile));
        ASSERT_TRUE(DecodeBytes(adam, adamFile));
        EXPECT_EQ(plain.GetCodecOption(VISTEL_FORMAT_PNG), 0u);
        EXPECT_EQ(adam.GetCodecOption(VISTEL_FORMAT_PNG), 1u);
        for (long y = 0; y < 11; y++)
            for (long x = 0; x < 13; x++) {
                RGBQUAD a = plain.GetPixelColor(x, y), b = adam.GetPixelColor(x, y);
                ASSERT_EQ(memcmp(&a, &b, 4), 0) << x << "," << y << " type " << type;
            }
    }
}

// ------------------------------------------------------------ hostile input

TEST(PngHostile, CutFilesFailAndLeaveTheImageAlone)
{
    PngFields s;
    s.width = 40, s.height = 30;
    Bytes whole = MakePng(s, PatternRows(s, s.width * 3));
    Vistel img(3, 2, 24);
    img.SetPixelColor(1, 1, RGBQUAD{1, 2, 3, 0});
    for (size_t cut : {(size_t)0, (size_t)7, (size_t)20, (size_t)40, whole.size() / 2,
                       whole.size() - 13, whole.size() - 1}) {
        Bytes part(whole.begin(), whole.begin() + cut);
        EXPECT_FALSE(DecodeBytes(img, part)) << "cut at " << cut;
        EXPECT_STRNE(img.GetLastError(), "");
        EXPECT_EQ(img.GetWidth(), 3u);
        ExpectRgb(img.GetPixelColor(1, 1), 3, 2, 1);
    }
}

TEST(PngHostile, HeadersClaimingHugeSizesAreRefusedBeforeAllocation)
{
    PngFields s;
    s.width = 2, s.height = 2;
    Bytes file = MakePng(s, PatternRows(s, 6));
    // Rewrite IHDR's size and CRC.
    auto claim = [&](DWORD w, DWORD h) {
        Bytes f = file;
        for (int i = 0; i < 4; i++) {
            f[16 + i] = (BYTE)(w >> (24 - 8 * i));
            f[20 + i] = (BYTE)(h >> (24 - 8 * i));
        }
        DWORD crc = (DWORD)crc32(0, &f[12], 17);
        for (int i = 0; i < 4; i++) f[29 + i] = (BYTE)(crc >> (24 - 8 * i));
        return f;
    };
    struct Claim {
        DWORD w, h;
        const char* error;  // null: any message
    } claims[] = {{0x7FFFFFFF, 0x7FFFFFFF, nullptr}, {100000, 100000, nullptr},
                  {1, 0x7FFFFFFF, nullptr},
                  {20000, 20000, "PNG: the picture exceeds the pixel limit (see ::Vistel::Limit)"}};
    Bytes f;
    Vistel img;
    for (const Claim& c : claims) {
        f = claim(c.w, c.h);
        EXPECT_FALSE(DecodeBytes(img, f));
        EXPECT_STRNE(img.GetLastError(), "");
        if (c.error) {
            EXPECT_STREQ(img.GetLastError(), c.error);
        }
        EXPECT_FALSE(img.IsValid());
        basic_image_information bi{};
        EXPECT_TRUE(VistelPNG::CheckFormat(f.data(), (DWORD)f.size(), &bi));
        EXPECT_EQ(bi.width, 0);  // the format check reports no size for it
    }

    // A text chunk claiming 1 GB in a 60-byte file is read through, not
    // buffered: the file simply ends.
    const BYTE text[] = {0x3F, 0xFF, 0xFF, 0xFF, 'z', 'T', 'X', 't', 'k', 'e', 'y', 0};
    f.assign(file.begin(), file.begin() + 33);
    f.insert(f.end(), text, text + sizeof(text));
    EXPECT_FALSE(DecodeBytes(img, f));
    EXPECT_STREQ(img.GetLastError(), "PNG: Read Error");
}

TEST(PngHostile, CancelledDecodeKeepsTheLastError)
{
    PngFields s;
    Bytes file = MakePng(s, PatternRows(s, s.width * 3));
    VistelPNG codec;
    codec.SetEscape(1);
    VsMemFile in(file.data(), (DWORD)file.size());
    EXPECT_FALSE(codec.Decode(&in));
    EXPECT_STREQ(codec.GetLastError(), "");
    EXPECT_FALSE(codec.IsValid());
}

// ------------------------------------------------------------ round trips

// Same colours and alpha; with `sameDepth`, same depth and indexes too.
void ExpectSamePixels(Vistel& a, Vistel& b, bool sameDepth = true)
{
    ASSERT_EQ(a.GetWidth(), b.GetWidth());
    ASSERT_EQ(a.GetHeight(), b.GetHeight());
    ASSERT_TRUE(!sameDepth || a.GetBpp() == b.GetBpp()) << a.GetBpp() << " " << b.GetBpp();
    ASSERT_EQ(a.AlphaIsValid(), b.AlphaIsValid());
    for (long y = 0; y < (long)a.GetHeight(); y++)
        for (long x = 0; x < (long)a.GetWidth(); x++) {
            RGBQUAD p = a.GetPixelColor(x, y, false), q = b.GetPixelColor(x, y, false);
            ASSERT_EQ(memcmp(&p, &q, 3), 0) << x << "," << y;
            if (sameDepth && a.IsIndexed()) {
                ASSERT_EQ(a.GetPixelIndex(x, y), b.GetPixelIndex(x, y));
            }
            ASSERT_EQ(a.AlphaGet(x, y), b.AlphaGet(x, y));
        }
}

Vistel Pattern(DWORD bpp, DWORD w = 11, DWORD h = 7)
{
    Vistel img(w, h, bpp, VISTEL_FORMAT_PNG);
    DWORD colours = bpp == 24 ? 0 : 1u << bpp;
    for (DWORD i = 0; i < colours; i++)
        img.SetPaletteColor((BYTE)i, (BYTE)(i * 7), (BYTE)(255 - i), (BYTE)(i * 3));
    for (long y = 0; y < (long)h; y++)
        for (long x = 0; x < (long)w; x++) {
            if (colours)
                img.SetPixelIndex(x, y, (BYTE)((x * 5 + y * 3) % colours));
            else
                img.SetPixelColor(x, y, RGBQUAD{(BYTE)(x * 20), (BYTE)(y * 30), (BYTE)(x ^ y), 0});
        }
    return img;
}

TEST(PngRoundTrip, EveryDepthWeWrite)
{
    for (DWORD bpp : {1u, 4u, 8u, 24u})
        for (DWORD interlace : {0u, 1u})
            for (bool alpha : {false, true}) {
                SCOPED_TRACE(std::to_string(bpp) + " bpp, interlace " + std::to_string(interlace) +
                             (alpha ? ", alpha" : ""));
                Vistel img = Pattern(bpp);
                if (bpp == 8) img.SetGrayPalette();  // grey pictures are written as palette
                img.SetCodecOption(interlace, VISTEL_FORMAT_PNG);
                if (alpha) {
                    img.AlphaCreate();
                    for (long y = 0; y < 7; y++)
                        for (long x = 0; x < 11; x++) img.AlphaSet(x, y, (BYTE)(x * 23 + y));
                }
                Bytes file = EncodeImage(img);
                Vistel back;
                ASSERT_TRUE(DecodeBytes(back, file)) << back.GetLastError();
                EXPECT_EQ(back.GetCodecOption(VISTEL_FORMAT_PNG), interlace);
                // An alpha plane makes an RGBA file, whatever the depth.
                EXPECT_EQ(back.GetBpp(), alpha ? 24 : bpp);
                ExpectSamePixels(img, back, !alpha);
            }
}

TEST(PngRoundTrip, PaletteTransparency)
{
    Vistel img = Pattern(8);
    img.SetTransIndex(5);
    RGBQUAD five = img.GetPaletteColor(5), zero = img.GetPaletteColor(0);
    Bytes file = EncodeImage(img);
    EXPECT_EQ(ChunkLength(file, "tRNS"), 1);
    // The transparent colour moved to entry 0, pixels included.
    EXPECT_EQ(img.GetTransIndex(), 0);
    EXPECT_EQ(memcmp(&img.GetPalette()[0], &five, 3), 0);
    EXPECT_EQ(memcmp(&img.GetPalette()[5], &zero, 3), 0);

    Vistel back;
    ASSERT_TRUE(DecodeBytes(back, file));
    EXPECT_EQ(back.GetTransIndex(), 0);
    EXPECT_FALSE(back.AlphaPaletteIsEnabled());
    ExpectSamePixels(img, back);

    Vistel alphaPal = Pattern(4);
    alphaPal.AlphaPaletteEnable(true);
    for (BYTE i = 0; i < 16; i++) alphaPal.GetPalette()[i].rgbReserved = (BYTE)(i * 16);
    file = EncodeImage(alphaPal);
    ASSERT_TRUE(DecodeBytes(back, file));
    EXPECT_TRUE(back.AlphaPaletteIsEnabled());
    for (BYTE i = 0; i < 16; i++) EXPECT_EQ(back.GetPalette()[i].rgbReserved, i * 16);
    ExpectSamePixels(alphaPal, back);
}

TEST(PngRoundTrip, SmallPicturesGetAShortPalette)
{
    Vistel small(200, 200, 8);
    small.Clear(0);
    for (long x = 0; x < 10; x++) small.SetPixelIndex(x, 0, (BYTE)x);
    EXPECT_EQ(ChunkLength(EncodeImage(small), "PLTE"), 30);
    Vistel large(300, 300, 8);
    large.Clear(3);
    EXPECT_EQ(ChunkLength(EncodeImage(large), "PLTE"), 768);
}

TEST(PngRoundTrip, TransparentColourOfTrueColourImage)
{
    Vistel img = Pattern(24);
    RGBQUAD key = img.GetPixelColor(2, 3, false);
    img.SetTransIndex(0);
    img.SetTransColor(key);
    Bytes file = EncodeImage(img);
    EXPECT_FALSE(img.AlphaIsValid());  // the plane was only made for writing
    Vistel back;
    ASSERT_TRUE(DecodeBytes(back, file));
    ASSERT_TRUE(back.AlphaIsValid());
    for (long y = 0; y < 7; y++)
        for (long x = 0; x < 11; x++) {
            RGBQUAD c = img.GetPixelColor(x, y, false);
            bool isKey = memcmp(&c, &key, 3) == 0;
            EXPECT_EQ(back.AlphaGet(x, y), isKey ? 0 : 255) << x << "," << y;
        }
}

TEST(PngRoundTrip, ResolutionAndAlphaMax)
{
    Vistel img = Pattern(24);
    img.SetXDPI(300);
    img.SetYDPI(72);
    img.AlphaCreate();
    img.AlphaSetMax(128);
    Bytes file = EncodeImage(img);
    Vistel back;
    ASSERT_TRUE(DecodeBytes(back, file));
    EXPECT_EQ(back.GetXDPI(), 300);
    EXPECT_EQ(back.GetYDPI(), 72);
    EXPECT_EQ(back.AlphaGet(0, 0), 128);
}

class FailingFile : public VsMemFile {
public:
    size_t Write(const void*, size_t, size_t) override { return 0; }
};

TEST(PngEncode, StreamFailureIsReported)
{
    Vistel img = Pattern(8);
    FailingFile out;
    out.Open();
    EXPECT_FALSE(formats::Encode(img, &out, VISTEL_FORMAT_PNG));
    EXPECT_STREQ(img.GetLastError(), "Error saving PNG file");
}

}  // namespace
