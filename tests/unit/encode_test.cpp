// What the encoders do that the conversions of tests/tcl/convert.test
// (every kind of picture into every type, read back by Pillow) do not show:
// a PNG read interlaced is written interlaced, which Pillow, an independent
// decoder, reads as the same picture and ours as interlaced again; and a
// write the stream refuses fails with a message.
#include <gtest/gtest.h>

#include <vector>

#include "Formats.h"
#include "corpus.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An 11 x 7 picture whose pixels all differ: 4-bit indexes, or 24 bits
// with an alpha plane.
Vistel Picture(WORD bpp)
{
    Vistel img(11, 7, bpp);
    for (DWORD i = 0; i < img.GetNumColors(); i++)
        img.SetPaletteColor((BYTE)i, (BYTE)(i * 7), (BYTE)(255 - i), (BYTE)(i * 3));
    if (bpp > 8) img.AlphaCreate();
    for (long y = 0; y < 7; y++)
        for (long x = 0; x < 11; x++) {
            if (bpp > 8) {
                img.SetPixelColor(x, y, RGBQUAD{(BYTE)(x * 20), (BYTE)(y * 30), (BYTE)(x ^ y), 0});
                img.AlphaSet(x, y, (BYTE)(x * 23 + y));
            } else {
                img.SetPixelIndex(x, y, (BYTE)((x * 5 + y * 3) % 16));
            }
        }
    return img;
}

TEST(PngEncoder, InterlacingReadIsWritten)
{
    for (WORD bpp : {4, 24}) {
        SCOPED_TRACE(bpp);
        Vistel img = Picture(bpp);
        img.SetCodecOption(1, VISTEL_FORMAT_PNG);
        const Bytes rgba = corpus::OpaqueRgba(img);
        BYTE* buffer = nullptr;
        long size = 0;
        ASSERT_TRUE(formats::Encode(img, buffer, size, VISTEL_FORMAT_PNG)) << img.GetLastError();
        const Bytes file(buffer, buffer + size);
        free(buffer);
        ASSERT_GT(file.size(), 28u);
        EXPECT_EQ(file[28], 1) << "IHDR's interlace method";
        Vistel back;
        ASSERT_TRUE(formats::Decode(back, file.data(), file.size(), VISTEL_FORMAT_UNKNOWN));
        EXPECT_EQ(back.GetCodecOption(VISTEL_FORMAT_PNG), 1u);
        const std::vector<std::string> theirs = corpus::PillowDescribe(file);
        if (theirs.empty()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
        EXPECT_EQ(theirs[0], "11 7 " + corpus::Sha256Hex(rgba.data(), rgba.size()) + " 0");
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
        Vistel img = Picture(24);
        img.AlphaDelete();
        RefusingFile out;
        out.Open();
        EXPECT_FALSE(formats::Encode(img, &out, type)) << formats::ByType(type)->name;
        EXPECT_STRNE(img.GetLastError(), "") << formats::ByType(type)->name;
    }
}

}  // namespace
