// Image object: geometry per depth, refusals before allocating, resolution
// fields a file may fill with anything, and copy, transfer and ghost
// ownership (the sanitizer build reports a double free or a leak).
#include <gtest/gtest.h>

#include <cstring>

#include "SafeSize.h"
#include "Vistel.h"

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
        // The rows follow the header and the palette.
        EXPECT_EQ(a.GetBits(0), a.GetDIB() + 40 + 4 * c.colors);
        EXPECT_EQ(a.GetBits(c.h - 1), a.GetBits(0) + (c.h - 1) * c.effWidth);
        EXPECT_EQ(a.GetBits(c.h), nullptr);
        // Clear fills every pixel with the value (its low bits at 4 bits,
        // any non-zero value being 1 at 1 bit).
        a.Clear(0x3A);
        const BYTE fill = c.bpp == 1 ? 0xFF : c.bpp == 4 ? 0xAA : 0x3A;
        EXPECT_EQ(a.GetBits(c.h - 1)[c.effWidth - 1], fill);
    }
}

TEST(ImageCreate, ZeroSizeAndTheCeilingAreRefusedBeforeAllocating)
{
    Vistel a(4, 4, 8);
    EXPECT_EQ(a.Create(10, 0, 8), nullptr);
    EXPECT_FALSE(a.IsValid());
    EXPECT_STREQ(a.GetLastError(), "Vistel::Create : width and height must be greater than zero");
    // Products that wrap 32 bits must not slip under the ceiling.
    for (auto [w, h] : {std::pair{65535u, 65535u}, {0x80000000u, 2u}, {0xFFFFFFFFu, 0xFFFFFFFFu}}) {
        EXPECT_EQ(a.Create(w, h, 24), nullptr);
        EXPECT_STREQ(a.GetLastError(), vssize::kTooLarge);
    }
    EXPECT_NE(a.Create(4000, 3000, 24), nullptr);
}

TEST(ImageCreate, ResolutionIsNoneUntilSetAndClampedToTheHeaderField)
{
    Vistel a(2, 2, 24);
    const auto pelsPerMeter = [&] { return ((BITMAPINFOHEADER*)a.GetDIB())->biXPelsPerMeter; };
    EXPECT_EQ(pelsPerMeter(), 0);
    EXPECT_EQ(a.GetXDPI(), 0);
    a.SetXDPI(300);
    EXPECT_EQ(pelsPerMeter(), 11811);
    a.SetXDPI(2000000000L);
    EXPECT_EQ(a.GetXDPI(), 54000000);
    EXPECT_GT(pelsPerMeter(), 0);
    a.SetXDPI(-5);
    EXPECT_EQ(a.GetXDPI(), 0);
}

TEST(ImageOwnership, CopyTransferAndGhost)
{
    Vistel a(4, 4, 8, VISTEL_FORMAT_GIF);
    a.Clear(9);
    a.AlphaCreate();
    a.AlphaSet(0, 0, 17);
    Vistel copy(a), noAlpha(a, true, true, false);
    EXPECT_NE(copy.GetDIB(), a.GetDIB());
    EXPECT_EQ(0, memcmp(copy.GetDIB(), a.GetDIB(), a.GetSize()));
    EXPECT_EQ(copy.AlphaGet(0, 0), 17);
    EXPECT_FALSE(noAlpha.AlphaIsValid());

    BYTE* dib = copy.GetDIB();
    Vistel moved(2, 2, 24);
    ASSERT_TRUE(moved.Transfer(copy));
    EXPECT_EQ(moved.GetDIB(), dib);
    EXPECT_TRUE(moved.AlphaIsValid());
    EXPECT_FALSE(copy.IsValid() || copy.AlphaIsValid());

    {
        Vistel ghost;
        ghost.Ghost(&a);
        EXPECT_EQ(ghost.GetDIB(), a.GetDIB());
        EXPECT_FALSE(ghost.Destroy());
        EXPECT_EQ(ghost.Create(2, 2, 8), nullptr);
        ghost.Copy(moved);  // would overwrite the shared source: refused
        EXPECT_EQ(ghost.GetDIB(), a.GetDIB());
        Vistel fromGhost(ghost);  // an ordinary, independent image
        EXPECT_NE(fromGhost.GetDIB(), a.GetDIB());
        EXPECT_TRUE(fromGhost.Destroy());
    }
    EXPECT_TRUE(a.IsValid() && a.AlphaIsValid());
}
