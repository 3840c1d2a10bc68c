// Palette reduction (Quantize.h): a picture of 256 colours or fewer keeps
// exactly its colours at the smallest depth, alpha below 128 becomes the
// transparent index, and Tk's RGBA layout and a 24-bit image with an alpha
// plane give the same image. (The PSNR of richer pictures is checked where
// users meet it, in tests/tcl/write.test.)
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Quantize.h"

namespace {

// A picture as Tk holds it: red, green, blue, alpha, top row first. Pixel
// (x, y) shows colour (x * 7 + y * 3) % colours; every fifth pixel along the
// diagonals is transparent (alpha 0 or 127), the rest opaque (128 or 255).
struct Picture {
    long w = 37, h = 23;
    std::vector<BYTE> rgba;

    Picture(int colours, bool transparent) : rgba((size_t)w * h * 4)
    {
        for (long y = 0; y < h; y++)
            for (long x = 0; x < w; x++) {
                BYTE* p = &rgba[(size_t)(y * w + x) * 4];
                const int c = (int)((x * 7 + y * 3) % colours);
                p[0] = (BYTE)c;
                p[1] = (BYTE)(255 - c);
                p[2] = (BYTE)(c * 5);
                p[3] = transparent && (x + y) % 5 == 0 ? (x & 1 ? 127 : 0) : (x & 1 ? 128 : 255);
            }
    }
    const BYTE* At(long x, long y) const { return &rgba[(size_t)(y * w + x) * 4]; }

    vsquant::PixelView View() const
    {
        vsquant::PixelView v;
        v.pixels = rgba.data();
        v.rowStride = w * 4;
        v.pixelStride = 4;
        v.red = 0, v.green = 1, v.blue = 2;
        v.alpha = rgba.data() + 3;
        v.alphaRowStride = w * 4;
        v.alphaPixelStride = 4;
        v.width = w;
        v.height = h;
        return v;
    }

    // The same pixels as a 24-bit image with an alpha plane.
    Vistel Image() const
    {
        std::vector<BYTE> bgra(rgba);
        for (size_t i = 0; i < bgra.size(); i += 4) std::swap(bgra[i], bgra[i + 2]);
        Vistel img;
        EXPECT_TRUE(img.CreateFromArray(bgra.data(), w, h, 32, w * 4, true));
        return img;
    }
};

bool SameImage(Vistel& a, Vistel& b)
{
    if (a.GetBpp() != b.GetBpp() || a.GetNumColors() != b.GetNumColors() ||
        a.GetTransIndex() != b.GetTransIndex() ||
        memcmp(a.GetPalette(), b.GetPalette(), a.GetPaletteSize()) != 0)
        return false;
    for (DWORD y = 0; y < a.GetHeight(); y++)
        if (memcmp(a.GetBits(y), b.GetBits(y), a.GetEffWidth()) != 0) return false;
    return true;
}

}  // namespace

TEST(PaletteReduction, FewColoursAreKeptExactlyAtTheSmallestDepth)
{
    struct Case {
        int colours;
        bool transparent;
        WORD bpp;
    } cases[] = {{1, false, 1}, {1, true, 1},   {2, true, 4},    {16, false, 4},
                 {15, true, 4}, {16, true, 8}, {256, false, 8}, {255, true, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.colours << " colours, transparent " << c.transparent);
        const Picture pic(c.colours, c.transparent);
        Vistel fromBlock;
        const char* error = nullptr;
        ASSERT_TRUE(vsquant::ReduceToPalette(pic.View(), fromBlock, &error)) << error;
        EXPECT_EQ(fromBlock.GetBpp(), c.bpp);
        EXPECT_EQ(fromBlock.IsTransparent(), c.transparent);
        for (long y = 0; y < pic.h; y++)
            for (long x = 0; x < pic.w; x++) {
                const BYTE* p = pic.At(x, y);
                const long row = pic.h - 1 - y;
                if (p[3] < 128) {
                    ASSERT_EQ(fromBlock.GetPixelIndex(x, row), fromBlock.GetTransIndex());
                    continue;
                }
                const RGBQUAD q = fromBlock.GetPixelColor(x, row, false);
                ASSERT_EQ((int)fromBlock.GetPixelIndex(x, row) == fromBlock.GetTransIndex(), false);
                ASSERT_EQ(q.rgbRed, p[0]) << x << "," << y;
                ASSERT_EQ(q.rgbGreen, p[1]) << x << "," << y;
                ASSERT_EQ(q.rgbBlue, p[2]) << x << "," << y;
            }
        // The one-load path for Tk's blocks and the general one agree.
        Vistel img = pic.Image();
        ASSERT_TRUE(vsquant::ReduceImage(img, &error)) << error;
        EXPECT_TRUE(SameImage(img, fromBlock));
    }
}

TEST(PaletteReduction, TwoHundredFiftySixColoursAndTransparencyTakeAnAdaptivePalette)
{
    const Picture pic(256, true);
    Vistel out;
    const char* error = nullptr;
    ASSERT_TRUE(vsquant::ReduceToPalette(pic.View(), out, &error)) << error;
    ASSERT_EQ(out.GetBpp(), 8);
    ASSERT_EQ(out.GetTransIndex(), 255);
    for (long y = 0; y < pic.h; y++)
        for (long x = 0; x < pic.w; x++)
            ASSERT_EQ(pic.At(x, y)[3] < 128, out.GetPixelIndex(x, pic.h - 1 - y) == 255)
                << x << "," << y;
}

TEST(PaletteReduction, IndexedImagesWithoutAlphaStayAsTheyAre)
{
    Vistel img(5, 3, 4);
    img.SetPaletteColor(3, 10, 20, 30);
    img.SetPixelIndex(2, 1, 3);
    img.SetTransIndex(3);
    Vistel before(img);
    const char* error = nullptr;
    ASSERT_TRUE(vsquant::ReduceImage(img, &error)) << error;
    EXPECT_TRUE(SameImage(img, before));

    // Palette alpha is more than GIF holds: reduced, alpha below 128 transparent.
    img.SetTransIndex(-1);
    for (int i = 0; i < 16; i++) img.SetPaletteColor((BYTE)i, 0, 0, 0, 255);
    img.SetPaletteColor(3, 10, 20, 30, 100);
    img.AlphaPaletteEnable(true);
    ASSERT_TRUE(vsquant::ReduceImage(img, &error)) << error;
    EXPECT_FALSE(img.AlphaPaletteIsEnabled());
    EXPECT_EQ(img.GetPixelIndex(2, 1), img.GetTransIndex());
    EXPECT_NE(img.GetPixelIndex(0, 0), img.GetTransIndex());
}
