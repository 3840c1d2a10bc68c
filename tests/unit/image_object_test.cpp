// Image object: geometry per depth, the memory ceiling, copy, transfer and
// ghost ownership, and the accessors' guards.
#include <gtest/gtest.h>

#include <cstring>

#include "Vistel.h"
#include "test_images.h"


TEST(ImageCreate, GeometryPerDepth)
{
    // Depths round up to 1, 4, 8 or 24; rows are padded to 4 bytes.
    const struct { DWORD w, h, askedBpp; WORD bpp; DWORD effWidth, colors, size; } cases[] = {
        {3, 2, 1, 1, 4, 2, 40 + 2 * 4 + 8},  {3, 2, 24, 24, 12, 0, 40 + 24},
        {9, 3, 4, 4, 8, 16, 40 + 16 * 4 + 24}, {5, 5, 8, 8, 8, 256, 40 + 1024 + 40},
        {5, 5, 16, 24, 16, 0, 40 + 80},      {5, 5, 2, 4, 4, 16, 40 + 64 + 20},
        {5, 5, 32, 24, 16, 0, 40 + 80},      {5, 5, 0, 1, 4, 2, 40 + 8 + 20}};
    Vistel a;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " at " << c.askedBpp);
        ASSERT_NE(a.Create(c.w, c.h, c.askedBpp), nullptr);
        EXPECT_EQ(a.GetBpp(), c.bpp);
        EXPECT_EQ(a.GetEffWidth(), c.effWidth);
        EXPECT_EQ(a.GetNumColors(), c.colors);
        EXPECT_EQ(a.GetSize(), c.size);
        EXPECT_EQ(a.GetPalette() == nullptr, c.colors == 0);
        // The rows follow the header and the palette.
        EXPECT_EQ(a.GetBits(0), a.GetDIB() + 40 + 4 * c.colors);
        EXPECT_EQ(a.GetBits(c.h - 1), a.GetBits(0) + (c.h - 1) * c.effWidth);
        EXPECT_EQ(a.GetBits(c.h), nullptr);
    }
}

TEST(ImageCreate, ZeroSizeAndTheMemoryCeilingAreRefusedBeforeAllocating)
{
    Vistel a(4, 4, 8);
    EXPECT_EQ(a.Create(10, 0, 8), nullptr);
    EXPECT_FALSE(a.IsValid());
    EXPECT_STREQ(a.GetLastError(), "Vistel::Create : width and height must be greater than zero");

    EXPECT_EQ(a.Create(65535, 65535, 24), nullptr);
    EXPECT_STREQ(a.GetLastError(), vssize::kTooLarge);
    // Products that wrap 32 bits must not slip under the ceiling.
    EXPECT_EQ(a.Create(0x80000000u, 2, 24), nullptr);
    EXPECT_EQ(a.Create(0xFFFFFFFFu, 0xFFFFFFFFu, 1), nullptr);
    EXPECT_STREQ(a.GetLastError(), vssize::kTooLarge);
    EXPECT_NE(a.Create(4000, 3000, 24), nullptr);
}

TEST(ImageCreate, ClearFillsByDepth)
{
    Vistel a(9, 2, 1);
    a.Clear(1);
    EXPECT_EQ(a.GetBits(0)[0], 255);
    a.Create(3, 2, 4);
    a.Clear(0x3A);
    EXPECT_EQ(a.GetBits(1)[0], 0xAA);
    a.Create(3, 2, 24);
    a.Clear(7);
    EXPECT_EQ(a.GetBits(1)[8], 7);
}

TEST(ImageAccessors, ResolutionFlagsAndCodecOptions)
{
    // No resolution until one is set; a negative one is none.
    Vistel a;
    EXPECT_EQ(a.GetXDPI(), 0);
    a.SetXDPI(-5);
    EXPECT_EQ(a.GetXDPI(), 0);
    a.Create(2, 2, 24);
    const auto pelsPerMeter = [&] { return ((BITMAPINFOHEADER*)a.GetDIB())->biXPelsPerMeter; };
    EXPECT_EQ(pelsPerMeter(), 0);
    a.SetXDPI(300);
    EXPECT_EQ(pelsPerMeter(), 11811);
    // Huge resolutions are clamped to what the header field holds.
    a.SetXDPI(2000000000L);
    EXPECT_EQ(a.GetXDPI(), 54000000);
    EXPECT_GT(pelsPerMeter(), 0);

    a.SetFlags(0x12345678, true);
    EXPECT_EQ(a.GetFlags(), 0x5678u);
    a.SetFlags(0x12345678, false);
    EXPECT_EQ(a.GetFlags(), 0x12345678u);

    Vistel g(VISTEL_FORMAT_GIF);
    EXPECT_EQ(g.GetCodecOption(6), 0u);
    EXPECT_FALSE(g.SetCodecOption(1, 6));
    EXPECT_TRUE(g.SetCodecOption(42, VISTEL_FORMAT_GIF));
    EXPECT_EQ(g.GetCodecOption(), 42u);
    EXPECT_EQ(g.GetCodecOption(VISTEL_FORMAT_PNG), 0u);
}

TEST(ImageOwnership, CopyDuplicatesPixelsAndAlpha)
{
    Vistel a(3, 3, 24);
    a.Clear(9);
    a.AlphaCreate();
    a.AlphaSet(0, 0, 17);
    Vistel b(a);
    ASSERT_TRUE(b.IsValid());
    EXPECT_NE(b.GetDIB(), a.GetDIB());
    EXPECT_EQ(0, memcmp(b.GetDIB(), a.GetDIB(), a.GetSize()));
    EXPECT_EQ(b.AlphaGet(0, 0), 17);
    Vistel c(a, true, true, false);
    EXPECT_FALSE(c.AlphaIsValid());
}

TEST(ImageOwnership, TransferMovesEverythingAndEmptiesTheSource)
{
    Vistel a(4, 4, 8, VISTEL_FORMAT_GIF);
    a.AlphaCreate();
    BYTE* dib = a.GetDIB();
    Vistel b(2, 2, 24);
    ASSERT_TRUE(b.Transfer(a));
    EXPECT_EQ(b.GetDIB(), dib);
    EXPECT_TRUE(b.AlphaIsValid());
    EXPECT_FALSE(a.IsValid());
    EXPECT_FALSE(a.AlphaIsValid());
    EXPECT_EQ(a.GetType(), 0u);
    EXPECT_EQ(a.GetTransIndex(), 0);
}

TEST(ImageOwnership, GhostFreesNothing)
{
    Vistel a(4, 4, 8, VISTEL_FORMAT_GIF);
    a.AlphaCreate();
    {
        Vistel g;
        g.Ghost(&a);
        EXPECT_EQ(g.GetDIB(), a.GetDIB());
        EXPECT_FALSE(g.Destroy());
        EXPECT_EQ(g.Create(2, 2, 8), nullptr);
        // Copying into a ghost would overwrite the shared source: refused.
        Vistel other(2, 2, 24);
        g.Copy(other);
        EXPECT_EQ(g.GetDIB(), a.GetDIB());
    }
    EXPECT_TRUE(a.IsValid());
    EXPECT_TRUE(a.AlphaIsValid());

    // A copy made from a ghost is an ordinary, independent image.
    Vistel g;
    g.Ghost(&a);
    Vistel c(g);
    EXPECT_TRUE(c.IsValid());
    EXPECT_NE(c.GetDIB(), a.GetDIB());
    EXPECT_TRUE(c.Destroy());
}
