// Every kind of picture the extension writes (a photo: 24 bits with or
// without alpha, or a GIF's palette of 1, 4 or 8 bits; a converted file: the
// decoder's depths, palettes, transparency and resolution), written by each
// encoder and read back by an independent decoder, Pillow: the same pixels,
// alpha where the type holds it, and the resolution, which our decoder
// reads back too. A write the stream refuses fails with a message.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Formats.h"
#include "corpus.h"

namespace {

using Bytes = std::vector<uint8_t>;

enum Variant { kPlain, kInterlaced, kGrey, kTransparentIndex, kPaletteAlpha, kAlphaPlane };

// An 11 x 7 picture at `bpp` whose palette entries and pixels all differ,
// made into the variant, at 300 x 72 dots per inch.
Vistel Picture(WORD bpp, Variant variant)
{
    Vistel img(11, 7, bpp);
    for (DWORD i = 0; i < img.GetNumColors(); i++)
        img.SetPaletteColor((BYTE)i, (BYTE)(i * 7), (BYTE)(255 - i), (BYTE)(i * 3), (BYTE)(i * 16));
    for (long y = 0; y < 7; y++)
        for (long x = 0; x < 11; x++) {
            if (bpp <= 8) img.SetPixelIndex(x, y, (BYTE)((x * 5 + y * 3) % img.GetNumColors()));
            else img.SetPixelColor(x, y, RGBQUAD{(BYTE)(x * 20), (BYTE)(y * 30), (BYTE)(x ^ y), 0});
        }
    if (variant == kGrey) img.SetGrayPalette();
    if (variant == kTransparentIndex) img.SetTransIndex(1);
    if (variant == kPaletteAlpha) img.AlphaPaletteEnable(true);
    if (variant == kAlphaPlane) {
        img.AlphaCreate();
        for (long y = 0; y < 7; y++)
            for (long x = 0; x < 11; x++) img.AlphaSet(x, y, (BYTE)(x * 23 + y));
    }
    if (variant == kInterlaced) img.SetCodecOption(1, VISTEL_FORMAT_PNG);
    img.SetXDPI(300);
    img.SetYDPI(72);
    return img;
}

// What Pillow should say of the file: the picture's RGBA (opaque where the
// type holds no alpha), and the resolution where it holds one.
std::vector<std::string> Expected(Vistel& img, bool alpha, bool resolution)
{
    Bytes rgba = corpus::OpaqueRgba(img);
    if (!alpha)
        for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
    return {"11 7 " + corpus::Sha256Hex(rgba.data(), rgba.size()) + " 0",
            resolution ? "loop -1 dpi 300 72" : "loop -1 dpi 0 0"};
}

TEST(Encoders, IndependentDecoderReadsWhatWeWrite)
{
    struct Case {
        DWORD type;
        WORD bpp;
        Variant variant;
        bool alpha, resolution;  // what the type keeps
    } cases[] = {
        {VISTEL_FORMAT_PNG, 1, kPlain, true, true},
        {VISTEL_FORMAT_PNG, 4, kInterlaced, true, true},
        {VISTEL_FORMAT_PNG, 4, kPaletteAlpha, true, true},
        {VISTEL_FORMAT_PNG, 8, kGrey, true, true},
        {VISTEL_FORMAT_PNG, 8, kTransparentIndex, true, true},
        {VISTEL_FORMAT_PNG, 24, kPlain, true, true},
        {VISTEL_FORMAT_PNG, 24, kAlphaPlane, true, true},
        {VISTEL_FORMAT_BMP, 1, kPlain, false, true},
        {VISTEL_FORMAT_BMP, 4, kPlain, false, true},
        {VISTEL_FORMAT_BMP, 8, kTransparentIndex, false, true},
        {VISTEL_FORMAT_BMP, 24, kAlphaPlane, false, true},
        {VISTEL_FORMAT_TGA, 8, kTransparentIndex, false, false},
        {VISTEL_FORMAT_TGA, 24, kPlain, false, false},
        {VISTEL_FORMAT_TGA, 24, kAlphaPlane, true, false},
        {VISTEL_FORMAT_GIF, 1, kPlain, true, false},
        {VISTEL_FORMAT_GIF, 4, kTransparentIndex, true, false},
        {VISTEL_FORMAT_GIF, 8, kTransparentIndex, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << formats::ByType(c.type)->name << ", " << c.bpp
                                        << " bits, variant " << c.variant);
        Vistel img = Picture(c.bpp, c.variant);
        const std::vector<std::string> want = Expected(img, c.alpha, c.resolution);
        BYTE* buffer = nullptr;
        long size = 0;
        ASSERT_TRUE(formats::Encode(img, buffer, size, c.type)) << img.GetLastError();
        const Bytes file(buffer, buffer + size);
        free(buffer);
        const std::vector<std::string> theirs = corpus::PillowDescribe(file);
        if (theirs.empty()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
        EXPECT_EQ(theirs, want);
        // Our decoder reads back the resolution, and the interlacing a
        // conversion keeps.
        Vistel back;
        ASSERT_TRUE(formats::Decode(back, file.data(), file.size(), VISTEL_FORMAT_UNKNOWN));
        EXPECT_EQ(back.GetCodecOption(VISTEL_FORMAT_PNG), c.variant == kInterlaced ? 1u : 0u);
        if (c.resolution) {
            EXPECT_EQ(back.GetXDPI(), 300);
            EXPECT_EQ(back.GetYDPI(), 72);
        }
    }
}

class RefusingFile : public VsMemFile {
public:
    size_t Write(const void*, size_t, size_t) override { return 0; }
};

// (The GIF encoder does not check its writes: it reports success.)
TEST(Encoders, AWriteTheStreamRefusesFails)
{
    for (DWORD type : {VISTEL_FORMAT_BMP, VISTEL_FORMAT_JPG, VISTEL_FORMAT_PNG, VISTEL_FORMAT_TGA}) {
        Vistel img = Picture(24, kPlain);
        RefusingFile out;
        out.Open();
        EXPECT_FALSE(formats::Encode(img, &out, type)) << formats::ByType(type)->name;
        EXPECT_STRNE(img.GetLastError(), "") << formats::ByType(type)->name;
    }
}

}  // namespace
