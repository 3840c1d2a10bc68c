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
struct BmpSpec {
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

Bytes Build(const BmpSpec& s)
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
BmpSpec Pal8(uint32_t headerSize)
{
    BmpSpec s;
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

TEST(BmpFormat, CheckFormatNeeds54BytesStartingWithBM)
{
    Bytes data = Build(Pal8(40));
    data.resize(54);
    basic_image_information info{};
    EXPECT_FALSE(VistelBMP::CheckFormat(data.data(), 53, &info));
    ASSERT_TRUE(VistelBMP::CheckFormat(data.data(), 54, &info));
    EXPECT_EQ(info.format, (DWORD)VISTEL_FORMAT_BMP);
    EXPECT_EQ(info.width, 2);
    EXPECT_EQ(info.height, 2);
    data[0] = 'X';
    EXPECT_FALSE(VistelBMP::CheckFormat(data.data(), 54, &info));
}

// Every header size, a bare DIB, a zero pixel offset and a top-down file
// all give the same picture.
TEST(BmpHeaders, EveryLayoutGivesTheSamePicture)
{
    std::vector<BmpSpec> specs;
    for (uint32_t size : {40u, 12u, 64u, 108u, 124u, 52u, 56u}) specs.push_back(Pal8(size));
    specs.push_back(Pal8(40));
    specs.back().fileHeader = false;
    specs.push_back(Pal8(40));
    specs.back().autoOffset = false;
    specs.push_back(Pal8(40));
    specs.back().height = -2;
    specs.back().pixels = {3, 0, 0, 0, 1, 2, 0, 0};
    for (size_t i = 0; i < specs.size(); i++) {
        SCOPED_TRACE(testing::Message() << "header " << specs[i].headerSize << ", case " << i);
        VistelBMP img;
        ASSERT_TRUE(Decode(Build(specs[i]), &img)) << img.GetLastError();
        ExpectPal8Picture(img);
    }
}

TEST(BmpHeaders, UnknownLongerHeaderOnlyForExactPlainData)
{
    BmpSpec plain;
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
    BmpSpec s = Pal8(40);
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
    BmpSpec s = Pal8(40);
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

// ------------------------------------------------------------ true colour

TEST(BmpTrueColour, DefaultLayoutsAndBitfieldMasks)
{
    struct Case {
        unsigned bpp;
        std::vector<uint32_t> masks;  // empty: no BI_BITFIELDS
        Bytes pixels;
        Bytes want;  // bottom row, B G R
    } cases[] = {
        {16, {}, {0x00, 0x7C, 0, 0}, {0, 0, 248}},  // 0x7C00: full red in 5-5-5
        {16, {0xF800, 0x07E0, 0x001F}, {0xE0, 0x07, 0, 0}, {0, 252, 0}},  // full green in 5-6-5
        {32, {}, {1, 2, 3, 99, 4, 5, 6, 99}, {1, 2, 3, 4, 5, 6}},
        {32, {0x0000FF, 0x00FF00, 0xFF0000}, {1, 2, 3, 99, 4, 5, 6, 99}, {3, 2, 1, 6, 5, 4}},
        // The usual layout one byte higher: the general path must give what
        // the byte-copying path gives for the usual one.
        {32, {0xFF000000, 0x00FF0000, 0x0000FF00}, {99, 1, 2, 3, 99, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
    };
    for (const Case& c : cases)
        for (uint32_t header : {40u, 124u}) {
            SCOPED_TRACE(testing::Message() << c.bpp << " bpp, header " << header);
            if (header == 124 && c.masks.empty()) continue;
            BmpSpec s;
            s.headerSize = header;
            s.bpp = c.bpp;
            s.width = (int32_t)c.want.size() / 3;
            s.height = 1;
            s.pixels = c.pixels;
            s.compression = c.masks.empty() ? 0 : 3;
            for (uint32_t m : c.masks) Put32(&s.masks, m);
            VistelBMP img;
            ASSERT_TRUE(Decode(Build(s), &img)) << img.GetLastError();
            EXPECT_EQ(img.GetBpp(), 24);
            EXPECT_FALSE(img.AlphaIsValid());
            EXPECT_EQ(Row(img, 0, c.want.size()), c.want);
        }
}

TEST(BmpTrueColour, TwentyFourBitTopDownEqualsBottomUp)
{
    BmpSpec up;
    up.bpp = 24;
    up.width = 1;
    up.height = 2;
    up.pixels = {1, 2, 3, 0, 4, 5, 6, 0};
    BmpSpec down = up;
    down.height = -2;
    down.pixels = {4, 5, 6, 0, 1, 2, 3, 0};
    VistelBMP a, b;
    ASSERT_TRUE(Decode(Build(up), &a));
    ASSERT_TRUE(Decode(Build(down), &b));
    EXPECT_EQ(b.GetHeight(), 2u);
    EXPECT_EQ(Row(a, 0, 8), Row(b, 0, 8));
}

// ------------------------------------------------------------ run-length

BmpSpec Rle(uint32_t compression, int width, int height, Bytes stream)
{
    BmpSpec s;
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
    auto pal8 = [](void (*edit)(BmpSpec&)) {
        BmpSpec s = Pal8(40);
        edit(s);
        return Build(s);
    };
    Bytes shortHeader = Build(Pal8(40));
    shortHeader.resize(30);
    BmpSpec masksCut;
    masksCut.bpp = 16;
    masksCut.compression = 3;
    masksCut.masks = {0, 0xF8};
    const Case cases[] = {
        {Bytes{'B', 'M', 1, 2}, "Not a BMP"},
        {shortHeader, "Error reading BMP info"},
        {pal8([](BmpSpec& s) { s.headerSize = 20; }), "Error reading BMP info"},
        {pal8([](BmpSpec& s) { s.bpp = 24, s.width = s.height = 100000; }),
         "BMP dimensions too large"},
        {pal8([](BmpSpec& s) { s.width = -5; }), "Invalid BMP dimensions"},
        {pal8([](BmpSpec& s) { s.height = 0; }), "Invalid BMP dimensions"},
        {pal8([](BmpSpec& s) { s.bpp = 2; }), "unsupported bits per pixel"},
        {pal8([](BmpSpec& s) { s.bpp = 24, s.compression = 1; }), "unknown compression"},
        {pal8([](BmpSpec& s) { s.compression = 3; }), "compression type not supported"},
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
    BmpSpec hugeTable = Pal8(40);
    hugeTable.clrUsed = 0xFFFFFFFF;  // table skipped to gigabytes past the end
    hugeTable.autoOffset = false;
    Bytes farOffset = Build(Pal8(40));
    for (int i = 10; i < 14; i++) farOffset[i] = 0xFF;
    BmpSpec longHeader;
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

TEST(BmpBadFiles, ShortPixelDataLeavesBlackRows)
{
    BmpSpec s;
    s.bpp = 24;
    s.width = 1;
    s.height = 3;
    s.pixels = {9, 9, 9, 0, 7};
    VistelBMP img;
    ASSERT_TRUE(Decode(Build(s), &img)) << img.GetLastError();
    EXPECT_EQ(Row(img, 0, 3), Bytes(3, 9));
    EXPECT_EQ(Row(img, 1, 3), (Bytes{7, 0, 0}));
    EXPECT_EQ(Row(img, 2, 3), Bytes(3, 0));
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
