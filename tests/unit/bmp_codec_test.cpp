// The BMP codec on small crafted files: header kinds, depths, compressions,
// round trips, and files whose headers lie or end early.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "VistelBMP.h"
#include "Formats.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes* b, unsigned v)
{
    b->push_back((uint8_t)v);
    b->push_back((uint8_t)(v >> 8));
}

void Put32(Bytes* b, uint32_t v)
{
    for (int i = 0; i < 4; i++) b->push_back((uint8_t)(v >> (8 * i)));
}

// A BMP file assembled field by field.
struct BmpFields {
    uint32_t headerSize = 40;
    int32_t width = 2;
    int32_t height = 2;
    unsigned bpp = 8;
    uint32_t compression = 0;
    uint32_t clrUsed = 0;
    Bytes palette;         // raw table bytes (4 or 3 per entry)
    Bytes masks;           // 12 bytes after a 40-byte header, or inside a longer one
    Bytes pixels;          // raw pixel data as stored
    bool fileHeader = true;
    bool autoOffset = true;  // bfOffBits pointing at the pixels, else 0
    int32_t pelsPerMeter = 3780;
};

Bytes Build(const BmpFields& s)
{
    Bytes info;
    if (s.headerSize == 12) {
        Put32(&info, 12);
        Put16(&info, (unsigned)s.width);
        Put16(&info, (unsigned)s.height);
        Put16(&info, 1);
        Put16(&info, s.bpp);
    } else {
        Put32(&info, s.headerSize);
        Put32(&info, (uint32_t)s.width);
        Put32(&info, (uint32_t)s.height);
        Put16(&info, 1);
        Put16(&info, s.bpp);
        Put32(&info, s.compression);
        Put32(&info, 0);
        Put32(&info, (uint32_t)s.pelsPerMeter);
        Put32(&info, (uint32_t)s.pelsPerMeter);
        Put32(&info, s.clrUsed);
        Put32(&info, 0);
        if (s.headerSize > 40) {
            Bytes extra = s.masks;
            extra.resize(std::min<uint32_t>(s.headerSize - 40, 84), 0);  // a lie past V5
            info.insert(info.end(), extra.begin(), extra.end());
        }
        if (s.headerSize == 40) info.insert(info.end(), s.masks.begin(), s.masks.end());
    }
    info.insert(info.end(), s.palette.begin(), s.palette.end());

    Bytes out;
    if (s.fileHeader) {
        const uint32_t offset = 14 + (uint32_t)info.size();
        out.push_back('B');
        out.push_back('M');
        Put32(&out, offset + (uint32_t)s.pixels.size());
        Put32(&out, 0);
        Put32(&out, s.autoOffset ? offset : 0);
    }
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), s.pixels.begin(), s.pixels.end());
    return out;
}

bool Decode(const Bytes& data, VistelBMP* img)
{
    VsMemFile file(const_cast<uint8_t*>(data.data()), (DWORD)data.size());
    return img->Decode(&file);
}

Bytes Encode(VistelBMP* img)
{
    VsMemFile file;
    file.Open();
    EXPECT_TRUE(img->Encode(&file)) << img->GetLastError();
    BYTE* buffer = file.GetBuffer(true);
    Bytes out(buffer, buffer + file.Size());
    free(buffer);
    return out;
}

// Row `y` (0 = bottom) of a decoded image, `n` bytes.
Bytes Row(const Vistel& img, DWORD y, size_t n)
{
    const BYTE* p = img.GetBits(y);
    return Bytes(p, p + n);
}

// Four-entry palette: black, red, green, blue (B, G, R, 0 per entry).
Bytes FourColours(bool triples = false)
{
    Bytes p;
    const uint8_t c[4][3] = {{0, 0, 0}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
    for (auto& e : c) {
        p.insert(p.end(), e, e + 3);
        if (!triples) p.push_back(0x77);  // reserved byte, must come back as 0
    }
    return p;
}

// A 2 x 2 8-bit picture: bottom row indexes 1, 2; top row 3, 0.
BmpFields Pal8(uint32_t headerSize)
{
    BmpFields s;
    s.headerSize = headerSize;
    s.clrUsed = headerSize == 12 ? 0 : 4;
    s.palette = FourColours(headerSize == 12);
    if (headerSize == 12) s.palette.resize(256 * 3, 0);
    s.pixels = {1, 2, 0, 0, 3, 0, 0, 0};
    return s;
}

void ExpectPal8Picture(const VistelBMP& img)
{
    ASSERT_TRUE(img.IsValid());
    EXPECT_EQ(img.GetWidth(), 2u);
    EXPECT_EQ(img.GetHeight(), 2u);
    EXPECT_EQ(img.GetBpp(), 8);
    EXPECT_EQ(Row(img, 0, 2), (Bytes{1, 2}));
    EXPECT_EQ(Row(img, 1, 2), (Bytes{3, 0}));
    const RGBQUAD* pal = img.GetPalette();
    EXPECT_EQ(pal[1].rgbRed, 255);
    EXPECT_EQ(pal[3].rgbBlue, 255);
    for (int i = 0; i < 4; i++) EXPECT_EQ(pal[i].rgbReserved, 0);
}

// A bare DIB and a zero pixel offset give the picture of a plain file (the
// header layouts go through photos in bmp.test).
TEST(BmpHeaders, BareDibAndZeroOffset)
{
    BmpFields files[2] = {Pal8(40), Pal8(40)};
    files[0].fileHeader = false;
    files[1].autoOffset = false;
    for (const BmpFields& fields : files) {
        VistelBMP img;
        ASSERT_TRUE(Decode(Build(fields), &img)) << img.GetLastError();
        ExpectPal8Picture(img);
    }
}

TEST(BmpHeaders, UnknownLongerHeaderOnlyForExactPlainData)
{
    BmpFields plain;
    plain.headerSize = 44;
    plain.bpp = 24;
    plain.pixels.assign(16, 0x40);
    Bytes data = Build(plain);
    VistelBMP rejected;
    EXPECT_FALSE(Decode(data, &rejected));  // biSizeImage 0 is not the stated size
    EXPECT_STREQ(rejected.GetLastError(), "Error reading BMP info");

    data[14 + 20] = 16;  // biSizeImage = 2 rows of 8 bytes
    VistelBMP accepted;
    ASSERT_TRUE(Decode(data, &accepted)) << accepted.GetLastError();
    EXPECT_EQ(Row(accepted, 1, 6), Bytes(6, 0x40));
}

TEST(BmpHeaders, OversizePaletteIsBoundedAndSkipped)
{
    BmpFields s = Pal8(40);
    s.bpp = 1;
    s.clrUsed = 300;
    s.palette = FourColours();
    s.palette.resize(300 * 4, 0x11);
    s.pixels = {0x80, 0, 0, 0, 0x40, 0, 0, 0};
    s.autoOffset = false;  // the pixels must be found behind all 300 entries
    VistelBMP img;
    ASSERT_TRUE(Decode(Build(s), &img)) << img.GetLastError();
    EXPECT_EQ(img.GetNumColors(), 2u);
    EXPECT_EQ(img.GetPalette()[1].rgbRed, 255);
    EXPECT_EQ(img.GetBits(0)[0], 0x80);
    EXPECT_EQ(img.GetBits(1)[0], 0x40);
}

TEST(BmpHeaders, DimensionOnlyModeReadsNoPixels)
{
    BmpFields s = Pal8(40);
    s.width = 640;
    s.height = -480;
    s.pixels.clear();
    VistelBMP img;
    img.SetEscape(-1);
    EXPECT_TRUE(Decode(Build(s), &img));
    EXPECT_FALSE(img.IsValid());
    EXPECT_EQ(img.GetWidth(), 640u);
    EXPECT_EQ(img.GetHeight(), 480u);
    EXPECT_STREQ(img.GetLastError(), "output dimensions returned");
}

// ------------------------------------------------------------ run-length

BmpFields Rle(uint32_t compression, int width, int height, Bytes stream)
{
    BmpFields s;
    s.bpp = compression == 1 ? 8 : 4;
    s.compression = compression;
    s.width = width;
    s.height = height;
    s.clrUsed = 4;
    s.palette = FourColours();
    s.pixels = std::move(stream);
    return s;
}

// Hand-worked streams; rows listed bottom first.
TEST(BmpRle, WorkedStreams)
{
    struct Case {
        const char* what;
        uint32_t compression;
        int width, height;
        Bytes stream;
        std::vector<Bytes> rows;
    } cases[] = {
        // Row 0: run of 2 x 1, absolute run 2 3 0 (padded); row 1: delta to
        // x = 2 on row 2; run of 1 x 3; end of bitmap.
        {"rle8 runs, absolute run, delta, end", 1, 6, 3,
         {2, 1, 0, 3, 2, 3, 0, 0xAA, 0, 0, 0, 2, 2, 1, 1, 3, 0, 1},
         {{1, 1, 2, 3, 0, 0}, Bytes(6, 0), {0, 0, 3, 0, 0, 0}}},
        // Row 0 complete, then a 9-pixel run in a row of 4 (padded) bytes
        // ends decoding; the last row is never reached.
        {"rle8 run past the row end", 1, 4, 3, {4, 2, 0, 0, 9, 1, 0, 0, 4, 3},
         {Bytes(4, 2), Bytes(4, 1), Bytes(4, 0)}},
        // Run of 3 x (1,2): pixels 1 2 1; run of 2 x (3,0): pixels 3 0 starting
        // in the low nibble; absolute run of 3 pixels 2 1 3 (2 data bytes).
        {"rle4 odd runs", 2, 8, 1, {3, 0x12, 2, 0x30, 0, 3, 0x21, 0x30, 0, 1},
         {{0x12, 0x13, 0x02, 0x13}}},
        // Delta by 3 pixels, run of 1 x 2; line end; absolute run of 5 pixels
        // (3 data bytes and a pad byte), run of 1 x 3.
        {"rle4 odd delta and padding", 2, 4, 2,
         {0, 2, 3, 0, 1, 0x20, 0, 0, 0, 5, 0x12, 0x30, 0x10, 0xFF, 1, 0x30, 0, 1},
         {{0x00, 0x02}, {0x12, 0x30, 0x13}}},
        // Truncated: the decoded rows are kept.
        {"rle4 truncated", 2, 4, 2, {4, 0x11, 0, 0, 4}, {{0x11, 0x11}, {0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VistelBMP img;
        ASSERT_TRUE(Decode(Build(Rle(c.compression, c.width, c.height, c.stream)), &img))
            << img.GetLastError();
        for (size_t y = 0; y < c.rows.size(); y++)
            EXPECT_EQ(Row(img, (DWORD)y, c.rows[y].size()), c.rows[y]) << "row " << y;
    }
}

TEST(BmpRle8, HostileStreamsStayInsideTheImage)
{
    const Bytes streams[] = {
        {0, 2, 255, 255, 5, 1},        // delta far past the last row and column
        {0, 255, 1, 2, 3},             // absolute run cut short by the end of data
        {0, 2, 200, 0, 0, 200, 1, 2},  // absolute run of 200 bytes in a 4-byte row
        {3},                           // run count without its value
        {0, 0, 0, 0, 0, 0, 0, 0, 7, 7} // more line ends than rows
    };
    for (const Bytes& stream : streams) {
        VistelBMP img;
        EXPECT_TRUE(Decode(Build(Rle(1, 3, 2, stream)), &img)) << img.GetLastError();
        EXPECT_TRUE(img.IsValid());
    }
}

// ------------------------------------------------------------ writing

TEST(BmpRoundTrip, EveryWrittenDepth)
{
    for (DWORD bpp : {1u, 4u, 8u, 24u}) {
        SCOPED_TRACE(bpp);
        VistelBMP src;
        ASSERT_TRUE(src.Create(5, 3, bpp, VISTEL_FORMAT_BMP));
        src.SetXDPI(200);
        for (DWORD y = 0; y < 3; y++)
            for (DWORD i = 0; i < src.GetEffWidth(); i++)
                src.GetBits(y)[i] = (BYTE)(y * 37 + i * 11 + 5);
        for (DWORD i = 0; i < src.GetNumColors(); i++)
            src.GetPalette()[i] = RGBQUAD{(BYTE)i, (BYTE)(255 - i), (BYTE)(i * 3), 0};

        Bytes file = Encode(&src);
        const uint32_t palette = src.GetNumColors() * 4;
        ASSERT_EQ(file.size(), 14 + 40 + palette + src.GetEffWidth() * 3);
        EXPECT_EQ(0, memcmp(file.data(), "BM", 2));
        EXPECT_EQ(file[10] | (file[11] << 8), (int)(54 + palette));  // 118 for 4 bits

        VistelBMP back;
        ASSERT_TRUE(Decode(file, &back)) << back.GetLastError();
        EXPECT_EQ(back.GetBpp(), bpp);
        EXPECT_EQ(back.GetXDPI(), 200);
        for (DWORD y = 0; y < 3; y++)
            EXPECT_EQ(Row(back, y, src.GetEffWidth()), Row(src, y, src.GetEffWidth())) << y;
        if (palette) {
            EXPECT_EQ(0, memcmp(back.GetPalette(), src.GetPalette(), palette));
        }
    }
}

TEST(BmpRoundTrip, EncodingNeedsAnImageAndAStream)
{
    VistelBMP empty;
    VsMemFile file;
    file.Open();
    EXPECT_FALSE(empty.Encode(&file));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
    VistelBMP img;
    img.Create(1, 1, 24, VISTEL_FORMAT_BMP);
    EXPECT_FALSE(img.Encode((VsFile*)nullptr));
}

// ------------------------------------------------------------ bad files

TEST(BmpBadFiles, TruncatedAndLyingHeadersFailWithAMessage)
{
    struct Case {
        Bytes data;
        const char* message;
    };
    auto pal8 = [](void (*edit)(BmpFields&)) {
        BmpFields s = Pal8(40);
        edit(s);
        return Build(s);
    };
    Bytes shortHeader = Build(Pal8(40));
    shortHeader.resize(30);
    BmpFields masksCut;
    masksCut.bpp = 16;
    masksCut.compression = 3;
    masksCut.masks = {0, 0xF8};
    const Case cases[] = {
        {Bytes{'B', 'M', 1, 2}, "Not a BMP"},
        {shortHeader, "Error reading BMP info"},
        {pal8([](BmpFields& s) { s.headerSize = 14; }), "Error reading BMP info"},
        {pal8([](BmpFields& s) { s.bpp = 24, s.width = s.height = 100000; }),
         "BMP dimensions too large"},
        {pal8([](BmpFields& s) { s.width = -5; }), "Invalid BMP dimensions"},
        {pal8([](BmpFields& s) { s.height = 0; }), "Invalid BMP dimensions"},
        {pal8([](BmpFields& s) { s.bpp = 2; }), "unsupported bits per pixel"},
        {pal8([](BmpFields& s) { s.bpp = 24, s.compression = 1; }), "unknown compression"},
        {pal8([](BmpFields& s) { s.compression = 3; }), "compression type not supported"},
        {Build(masksCut), "Error reading BMP masks"},
    };
    for (const Case& c : cases) {
        VistelBMP img;
        EXPECT_FALSE(Decode(c.data, &img)) << c.message;
        EXPECT_STREQ(img.GetLastError(), c.message);
    }
    VistelBMP none;
    EXPECT_FALSE(none.Decode((VsFile*)nullptr));
}

TEST(BmpBadFiles, CountsAndOffsetsPointingFarAwayReadNothing)
{
    BmpFields hugeTable = Pal8(40);
    hugeTable.clrUsed = 0xFFFFFFFF;  // table skipped to gigabytes past the end
    hugeTable.autoOffset = false;
    Bytes farOffset = Build(Pal8(40));
    for (int i = 10; i < 14; i++) farOffset[i] = 0xFF;
    BmpFields longHeader;
    longHeader.headerSize = 0xFFFFFF00;  // states its plain data exactly
    longHeader.bpp = 24;
    longHeader.width = 1;
    longHeader.height = 1;
    Bytes header = Build(longHeader);
    header[14 + 20] = 4;

    for (const Bytes& data : {Build(hugeTable), farOffset}) {
        VistelBMP img;
        ASSERT_TRUE(Decode(data, &img)) << img.GetLastError();
        EXPECT_EQ(Row(img, 0, 2), (Bytes{0, 0}));
    }
    VistelBMP img;
    EXPECT_FALSE(Decode(header, &img));
    EXPECT_STREQ(img.GetLastError(), "Error reading BMP info");
}

TEST(BmpBadFiles, DispatchLeavesTheImageAsItWas)
{
    Vistel img(4, 4, 24, VISTEL_FORMAT_BMP);
    img.Clear(0x5A);
    Bytes bad = Build(Pal8(40));
    bad[14 + 14] = 2;  // 2 bits per pixel
    EXPECT_FALSE(formats::Decode(img, bad.data(), (DWORD)bad.size(), VISTEL_FORMAT_BMP));
    EXPECT_STREQ(img.GetLastError(), "BMP: unsupported bits per pixel");
    ASSERT_EQ(img.GetWidth(), 4u);
    EXPECT_EQ(img.GetBits(3)[0], 0x5A);
}

}  // namespace
