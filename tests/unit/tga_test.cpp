// TGA codec: crafted files of every type, depth and origin, run-length
// packets across rows, damaged and short input, and encoder round trips.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "VistelTGA.h"
#include "Formats.h"

namespace {

typedef std::vector<BYTE> Bytes;

struct TgaHeader {
    BYTE idLength = 0;
    BYTE cmapType = 0;
    BYTE type = 2;
    WORD cmapIndex = 0;
    WORD cmapLength = 0;
    BYTE cmapBits = 0;
    WORD width = 1;
    WORD height = 1;
    BYTE depth = 24;
    BYTE desc = 0;
};

void Word(Bytes& b, unsigned w)
{
    b.push_back((BYTE)(w & 0xFF));
    b.push_back((BYTE)(w >> 8));
}

Bytes Header(const TgaHeader& h)
{
    Bytes b = {h.idLength, h.cmapType, h.type};
    Word(b, h.cmapIndex);
    Word(b, h.cmapLength);
    b.push_back(h.cmapBits);
    Word(b, 0);
    Word(b, 0);
    Word(b, h.width);
    Word(b, h.height);
    b.push_back(h.depth);
    b.push_back(h.desc);
    b.insert(b.end(), h.idLength, 'i');
    return b;
}

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

typedef std::array<int, 4> Px;  // r, g, b, a

// Pixel at column x, row `top` counted from the top of the picture; alpha is
// 255 when the image has no alpha plane.
Px At(Vistel& img, long x, long top)
{
    long y = (long)img.GetHeight() - 1 - top;
    const BYTE* row = img.GetBits(y);
    BYTE b, g, r;
    if (img.GetBpp() == 8) {
        RGBQUAD c = img.GetPalette()[row[x]];
        b = c.rgbBlue, g = c.rgbGreen, r = c.rgbRed;
    } else {
        b = row[x * 3], g = row[x * 3 + 1], r = row[x * 3 + 2];
    }
    int a = img.AlphaIsValid() ? img.AlphaGet(x, y) : 255;
    return Px{r, g, b, a};
}

bool DecodeTga(Vistel& img, const Bytes& data)
{
    return formats::Decode(img, const_cast<BYTE*>(data.data()), (DWORD)data.size(), VISTEL_FORMAT_TGA);
}

// A 3 x 2 picture in 32 bits, top row first, as blue, green, red, alpha.
const BYTE kPicture[2][3][4] = {
    {{0, 0, 255, 10}, {0, 255, 0, 20}, {255, 0, 0, 30}},
    {{0, 0, 0, 40}, {128, 128, 128, 50}, {255, 255, 255, 60}},
};

// kPicture stored from the corner that `desc` names, at 24 or 32 bits.
Bytes OrientedPicture(BYTE depth, BYTE desc)
{
    TgaHeader h;
    h.width = 3, h.height = 2, h.depth = depth, h.desc = desc;
    Bytes b = Header(h);
    bool topDown = desc & 0x20, rightToLeft = desc & 0x10;
    for (int n = 0; n < 2; n++) {
        int top = topDown ? n : 1 - n;
        for (int k = 0; k < 3; k++) {
            int x = rightToLeft ? 2 - k : k;
            b.insert(b.end(), kPicture[top][x], kPicture[top][x] + depth / 8);
        }
    }
    return b;
}

void ExpectPicture(Vistel& img, bool withAlpha)
{
    ASSERT_EQ(img.GetWidth(), 3u);
    ASSERT_EQ(img.GetHeight(), 2u);
    for (int top = 0; top < 2; top++)
        for (int x = 0; x < 3; x++) {
            const BYTE* p = kPicture[top][x];
            EXPECT_EQ(At(img, x, top), (Px{p[2], p[1], p[0], withAlpha ? p[3] : 255}))
                << "x " << x << " top " << top;
        }
}

Bytes EncodeTga(Vistel& img)
{
    BYTE* buf = nullptr;
    long size = 0;
    EXPECT_TRUE(formats::Encode(img, buf, size, VISTEL_FORMAT_TGA)) << img.GetLastError();
    Bytes out(buf, buf + (buf ? size : 0));
    Vistel::FreeMemory(buf);
    return out;
}

void Fill(Vistel& img)
{
    for (DWORD y = 0; y < img.GetHeight(); y++)
        for (DWORD i = 0; i < img.GetEffWidth(); i++) img.GetBits(y)[i] = (BYTE)(y * 31 + i * 7);
}

}  // namespace

TEST(TgaDecode, AllFourOriginsGiveTheSamePicture)
{
    for (BYTE depth : {24, 32})
        for (BYTE desc : {0x00, 0x10, 0x20, 0x30}) {
            SCOPED_TRACE(testing::Message() << "depth " << (int)depth << " desc " << (int)desc);
            Vistel img;
            ASSERT_TRUE(DecodeTga(img, OrientedPicture(depth, desc))) << img.GetLastError();
            EXPECT_EQ(img.GetType(), (DWORD)VISTEL_FORMAT_TGA);
            EXPECT_EQ(img.GetBpp(), 24);
            EXPECT_EQ(img.AlphaIsValid(), depth == 32);
            ExpectPicture(img, depth == 32);
        }
    Bytes b = OrientedPicture(32, 0x20);
    basic_image_information bi;
    ASSERT_TRUE((formats::Probe(b.data(), (DWORD)b.size(), &bi) != nullptr));
    EXPECT_EQ(bi.format, (DWORD)VISTEL_FORMAT_TGA);
    EXPECT_EQ(bi.width, 3);
    EXPECT_EQ(bi.height, 2);
}

TEST(TgaDecode, FifteenAndSixteenBitsWidenToFullRange)
{
    for (BYTE depth : {15, 16}) {
        TgaHeader h;
        h.width = 4, h.depth = depth, h.desc = 1;  // one attribute bit, ignored
        Bytes b = Header(h);
        for (unsigned w : {0x7FFFu, 0x001Fu, 0x83E0u, 0x4210u}) Word(b, w);
        Vistel img;
        ASSERT_TRUE(DecodeTga(img, b)) << img.GetLastError();
        EXPECT_FALSE(img.AlphaIsValid());
        EXPECT_EQ(At(img, 0, 0), (Px{255, 255, 255, 255}));
        EXPECT_EQ(At(img, 1, 0), (Px{0, 0, 255, 255}));
        EXPECT_EQ(At(img, 2, 0), (Px{0, 255, 0, 255}));
        EXPECT_EQ(At(img, 3, 0), (Px{132, 132, 132, 255}));  // 16 -> 128 | 4
    }
}

TEST(TgaDecode, ColourMapsOfEveryEntrySizeAndOffset)
{
    struct Case {
        BYTE bits;
        Bytes entry;  // one entry
        Px colour;
    } cases[] = {
        {24, {10, 20, 30}, {30, 20, 10, 255}},
        {32, {10, 20, 30, 99}, {30, 20, 10, 255}},
        {16, {0x1F, 0x7C}, {255, 0, 255, 255}},
        {15, {0xE0, 0x03}, {0, 255, 0, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((int)c.bits);
        // Two entries numbered from 7: pixel values 7 and 8 use them.
        TgaHeader h;
        h.type = 1, h.cmapType = 1, h.cmapIndex = 7, h.cmapLength = 2, h.cmapBits = c.bits;
        h.width = 2, h.depth = 8, h.idLength = 3;
        Bytes zero(c.entry.size(), 0);
        Bytes b = Cat(Cat(Cat(Header(h), zero), c.entry), {7, 8});
        Vistel img;
        ASSERT_TRUE(DecodeTga(img, b)) << img.GetLastError();
        EXPECT_EQ(img.GetBpp(), 8);
        EXPECT_EQ(At(img, 0, 0), (Px{0, 0, 0, 255}));
        EXPECT_EQ(At(img, 1, 0), c.colour);
    }
    // A true-colour file may carry a colour map, which is skipped.
    TgaHeader h;
    h.cmapType = 1, h.cmapLength = 3, h.cmapBits = 15, h.depth = 24;
    Vistel img;
    ASSERT_TRUE(DecodeTga(img, Cat(Cat(Header(h), Bytes(6, 0xEE)), {1, 2, 3})));
    EXPECT_EQ(At(img, 0, 0), (Px{3, 2, 1, 255}));
}

TEST(TgaDecode, GreyImages)
{
    // 8-bit grey: any colour map is replaced by the grey ramp.
    TgaHeader h;
    h.type = 3, h.cmapType = 1, h.cmapLength = 1, h.cmapBits = 24, h.width = 2, h.depth = 8;
    Bytes b = Cat(Cat(Header(h), {1, 2, 3}), {0, 200});
    Vistel grey;
    ASSERT_TRUE(DecodeTga(grey, b)) << grey.GetLastError();
    EXPECT_EQ(grey.GetBpp(), 8);
    EXPECT_EQ(At(grey, 0, 0), (Px{0, 0, 0, 255}));
    EXPECT_EQ(At(grey, 1, 0), (Px{200, 200, 200, 255}));

    // 16-bit grey: grey byte then alpha byte.
    TgaHeader h16;
    h16.type = 3, h16.width = 2, h16.depth = 16;
    Vistel la;
    ASSERT_TRUE(DecodeTga(la, Cat(Header(h16), {90, 7, 255, 0}))) << la.GetLastError();
    EXPECT_EQ(At(la, 0, 0), (Px{90, 90, 90, 7}));
    EXPECT_EQ(At(la, 1, 0), (Px{255, 255, 255, 0}));
}

TEST(TgaDecode, RunLengthTypesMatchTheirRawTwins)
{
    // Every pixel is sent as its own one-pixel run: the simplest RLE file.
    for (BYTE depth : {24, 32})
        for (BYTE desc : {0x00, 0x30}) {
            Bytes raw = OrientedPicture(depth, desc);
            Bytes rle(raw.begin(), raw.begin() + 18);
            rle[2] = 10;
            for (size_t i = 18; i < raw.size(); i += depth / 8) {
                rle.push_back(0x80);
                rle.insert(rle.end(), raw.begin() + i, raw.begin() + i + depth / 8);
            }
            Vistel img;
            ASSERT_TRUE(DecodeTga(img, rle)) << img.GetLastError();
            ExpectPicture(img, depth == 32);
        }
    TgaHeader h;
    h.type = 11, h.width = 3, h.depth = 8;
    Vistel grey;
    ASSERT_TRUE(DecodeTga(grey, Cat(Header(h), {0x82, 77}))) << grey.GetLastError();
    EXPECT_EQ(At(grey, 2, 0), (Px{77, 77, 77, 255}));

    h.type = 9, h.cmapType = 1, h.cmapLength = 1, h.cmapBits = 24, h.width = 3;
    Vistel mapped;
    ASSERT_TRUE(DecodeTga(mapped, Cat(Header(h), {5, 6, 7, 0x02, 0, 0, 0})))
        << mapped.GetLastError();
    EXPECT_EQ(At(mapped, 1, 0), (Px{7, 6, 5, 255}));
}

TEST(TgaDecode, PacketsCarryAcrossRowEnds)
{
    // 4 x 2, bottom-up: raw 2, then a run of 5 that ends 3 pixels into the
    // second row, then a raw packet of 3 of which only 1 fits.
    TgaHeader h;
    h.type = 11, h.width = 4, h.height = 2, h.depth = 8;
    Bytes b = Cat(Header(h), {0x01, 1, 2, 0x84, 9, 0x02, 5, 6, 7});
    Vistel img;
    ASSERT_TRUE(DecodeTga(img, b)) << img.GetLastError();
    const BYTE want[2][4] = {{1, 2, 9, 9}, {9, 9, 9, 5}};  // bottom row first
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 4; x++) EXPECT_EQ(img.GetBits(y)[x], want[y][x]) << x << "," << y;

    // 16-bit pixels across a row end, with the rest of the run past the
    // image end ignored.
    TgaHeader h16;
    h16.type = 10, h16.width = 3, h16.height = 2, h16.depth = 16;
    Bytes b16 = Cat(Header(h16), {0x81, 0x00, 0x7C, 0xFF, 0x1F, 0x00});
    Vistel img16;
    ASSERT_TRUE(DecodeTga(img16, b16)) << img16.GetLastError();
    EXPECT_EQ(At(img16, 1, 1), (Px{255, 0, 0, 255}));
    EXPECT_EQ(At(img16, 2, 1), (Px{0, 0, 255, 255}));
    EXPECT_EQ(At(img16, 2, 0), (Px{0, 0, 255, 255}));
}

// Every cut is an exactly sized heap block, so that a sanitizer sees any
// over-read, also through the dispatcher's format guess.
TEST(TgaDecode, EveryTruncationFailsAndKeepsTheImage)
{
    TgaHeader h;
    h.type = 10, h.width = 3, h.height = 2, h.depth = 32, h.idLength = 2;
    Bytes rle = Cat(Header(h), {0x81, 1, 2, 3, 4, 0x03, 5, 6, 7, 8, 5, 6, 7, 8, 5, 6, 7, 8,
                                5, 6, 7, 8});
    Bytes raw = OrientedPicture(24, 0x20);
    for (const Bytes* whole : {&rle, &raw}) {
        Vistel img;
        ASSERT_TRUE(DecodeTga(img, *whole));
        ASSERT_EQ(img.GetWidth(), 3u);
        Vistel keep(5, 5, 24);
        keep.Clear(0x42);
        for (size_t n = 0; n < whole->size(); n++) {
            Bytes part(whole->begin(), whole->begin() + n);
            EXPECT_FALSE(DecodeTga(keep, part)) << n;
            EXPECT_STREQ(keep.GetLastError(), n == 0 ? "empty file" : n < 18 ? "Not a TGA" : "corrupted TGA") << n;
            ASSERT_EQ(keep.GetWidth(), 5u);
            EXPECT_EQ(keep.GetBits(4)[14], 0x42);
            // Raw data must be complete to pass; RLE data only long enough.
            if (whole == &raw) {
                basic_image_information bi;
                EXPECT_FALSE((formats::Probe(part.data(), (DWORD)n, &bi) != nullptr)) << n;
                EXPECT_FALSE(formats::Decode(keep, part.data(), (DWORD)n, VISTEL_FORMAT_UNKNOWN)) << n;
            }
        }
    }
}

TEST(TgaDecode, BadHeadersAreRefused)
{
    struct Case {
        const char* what;
        TgaHeader h;
        const char* error;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, void (*edit)(TgaHeader&), const char* error) {
        TgaHeader h;
        edit(h);
        cases.push_back({what, h, error});
    };
    add("type 4", [](TgaHeader& h) { h.type = 4; }, "Unknown TGA image type");
    add("type 0", [](TgaHeader& h) { h.type = 0; }, "Unknown TGA image type");
    add("width 0", [](TgaHeader& h) { h.width = 0; }, "bad TGA header");
    add("height 0", [](TgaHeader& h) { h.height = 0; }, "bad TGA header");
    add("depth 12", [](TgaHeader& h) { h.depth = 12; }, "bad TGA header");
    add("257 colours", [](TgaHeader& h) { h.cmapLength = 257; }, "bad TGA header");
    add("8-bit true colour", [](TgaHeader& h) { h.depth = 8; }, "bad TGA header");
    add("24-bit grey", [](TgaHeader& h) { h.type = 3; }, "bad TGA header");
    add("16-bit indices", [](TgaHeader& h) { h.type = 1, h.cmapType = 1, h.cmapBits = 24, h.depth = 16; },
        "bad TGA header");
    add("no colour map", [](TgaHeader& h) { h.type = 1, h.depth = 8; }, "bad TGA header");
    add("colour map type 2", [](TgaHeader& h) { h.cmapType = 2, h.cmapBits = 24; }, "bad TGA header");
    add("12-bit map entries", [](TgaHeader& h) { h.cmapType = 1, h.cmapBits = 12; }, "bad TGA header");
    add("huge claim", [](TgaHeader& h) { h.width = h.height = 60000; }, "TGA dimensions too large");
    add("huge RLE claim", [](TgaHeader& h) { h.type = 10, h.width = h.height = 60000; },
        "TGA dimensions too large");
    for (const Case& c : cases) {
        Bytes b = Cat(Header(c.h), Bytes(64, 0));
        Vistel img;
        EXPECT_FALSE(DecodeTga(img, b)) << c.what;
        EXPECT_STREQ(img.GetLastError(), c.error) << c.what;
        EXPECT_FALSE(VistelTGA::CheckFormat(b.data(), (DWORD)b.size(), nullptr)) << c.what;
    }
}

TEST(TgaDecode, EscapeCancels)
{
    Vistel img;
    img.SetEscape(1);
    EXPECT_FALSE(DecodeTga(img, OrientedPicture(24, 0)));
    EXPECT_STREQ(img.GetLastError(), "TGA: Cancelled");
    EXPECT_FALSE(img.IsValid());
}

TEST(TgaEncode, EightBitRoundTrip)
{
    Vistel img(5, 3, 8);
    for (int i = 0; i < 256; i++) img.SetPaletteColor((BYTE)i, (BYTE)i, (BYTE)(255 - i), (BYTE)(i / 2));
    Fill(img);
    Bytes file = EncodeTga(img);
    ASSERT_EQ(file.size(), 18u + 768 + 15);
    EXPECT_EQ(file[2], 1);   // colour-mapped
    EXPECT_EQ(file[7], 24);  // entry size
    EXPECT_EQ(file[16], 8);
    EXPECT_EQ(file[17], 0);  // bottom-up, left to right
    Vistel back;
    ASSERT_TRUE(DecodeTga(back, file)) << back.GetLastError();
    ASSERT_EQ(back.GetBpp(), 8);
    for (int y = 0; y < 3; y++) EXPECT_EQ(memcmp(back.GetBits(y), img.GetBits(y), 5), 0);
    EXPECT_EQ(memcmp(back.GetPalette(), img.GetPalette(), 1024), 0);
}

TEST(TgaEncode, TrueColourRoundTrips)
{
    Vistel img(5, 3, 24);
    Fill(img);
    Bytes file = EncodeTga(img);
    ASSERT_EQ(file.size(), 18u + 45);  // rows without padding
    EXPECT_EQ(file[16], 24);
    Vistel back;
    ASSERT_TRUE(DecodeTga(back, file)) << back.GetLastError();
    EXPECT_FALSE(back.AlphaIsValid());
    for (int y = 0; y < 3; y++) EXPECT_EQ(memcmp(back.GetBits(y), img.GetBits(y), 15), 0);

    img.AlphaCreate();
    for (long y = 0; y < 3; y++)
        for (long x = 0; x < 5; x++) img.AlphaSet(x, y, (BYTE)(x * 50 + y));
    file = EncodeTga(img);
    ASSERT_EQ(file.size(), 18u + 60);
    EXPECT_EQ(file[16], 32);
    ASSERT_TRUE(DecodeTga(back, file)) << back.GetLastError();
    ASSERT_TRUE(back.AlphaIsValid());
    for (long y = 0; y < 3; y++) {
        EXPECT_EQ(memcmp(back.GetBits(y), img.GetBits(y), 15), 0);
        for (long x = 0; x < 5; x++) EXPECT_EQ(back.AlphaGet(x, y), x * 50 + y);
    }

    img.AlphaSetMax(128);
    file = EncodeTga(img);
    EXPECT_EQ(file[18 + 4 * 4 + 3], 200 * 128 / 255);  // pixel (4, 0)
}

TEST(TgaEncode, Refusals)
{
    Vistel mono(4, 4, 1);
    BYTE* buf = nullptr;
    long size = 0;
    EXPECT_FALSE(formats::Encode(mono, buf, size, VISTEL_FORMAT_TGA));
    EXPECT_STREQ(mono.GetLastError(), "Bit depth must be 8 or 24");
    EXPECT_EQ(buf, nullptr);

    Vistel wide(70000, 1, 8);
    EXPECT_FALSE(formats::Encode(wide, buf, size, VISTEL_FORMAT_TGA));
    EXPECT_STREQ(wide.GetLastError(), "Image too large for TGA");

    Vistel empty;
    EXPECT_FALSE(formats::Encode(empty, buf, size, VISTEL_FORMAT_TGA));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
}
