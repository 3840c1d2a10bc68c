// Alpha channel: the plane's layout and life cycle, per-pixel access,
// whole-plane fill, invert, copy, flip and mirror, grey images as alpha,
// the alpha-palette queries, and splitting alpha out as a grey image.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Vistel.h"
#include "test_images.h"

namespace {

using namespace testimages;

std::vector<BYTE> Plane(Vistel& img)
{
    const BYTE* p = img.AlphaGetPointer(0, 0);
    if (!p) return {};
    return std::vector<BYTE>(p, p + img.GetWidth() * img.GetHeight());
}

// Fills the plane bottom row first with the given bytes.
void SetPlane(Vistel& img, const std::vector<BYTE>& values)
{
    img.AlphaCreate();
    ASSERT_TRUE(img.AlphaIsValid());
    ASSERT_EQ(values.size(), (size_t)img.GetWidth() * img.GetHeight());
    memcpy(img.AlphaGetPointer(0, 0), values.data(), values.size());
}

}  // namespace

// ------------------------------------------------------------ the plane

TEST(AlphaPlane, CreateAccessAndBounds)
{
    Vistel img(3, 2, 8);
    EXPECT_FALSE(img.AlphaIsValid());
    EXPECT_EQ(img.GetColorType(), 1);
    img.AlphaCreate();
    ASSERT_TRUE(img.AlphaIsValid());
    EXPECT_EQ(img.GetColorType(), 4);
    EXPECT_EQ(Plane(img), std::vector<BYTE>(6, 255));

    img.AlphaSet(1, 1, 7);
    EXPECT_EQ(Plane(img)[4], 7);
    EXPECT_EQ(img.AlphaGet(1, 1), 7);
    EXPECT_EQ(img.BlindAlphaGet(1, 1), 7);
    EXPECT_EQ(img.AlphaGetPointer(1, 1), img.AlphaGetPointer(0, 0) + 4);

    // Outside: reads give 0, writes go nowhere, no pointer.
    for (long x : {-1L, 3L}) img.AlphaSet(x, 0, 9);
    for (long y : {-1L, 2L}) img.AlphaSet(0, y, 9);
    EXPECT_EQ(Plane(img), (std::vector<BYTE>{255, 255, 255, 255, 7, 255}));
    EXPECT_EQ(img.AlphaGet(3, 0), 0);
    EXPECT_EQ(img.AlphaGet(0, -1), 0);
    EXPECT_EQ(img.AlphaGetPointer(3, 0), nullptr);
    EXPECT_EQ(img.AlphaGetPointer(0, 2), nullptr);

    img.AlphaCreate();  // an existing plane is kept as it is
    EXPECT_EQ(img.AlphaGet(1, 1), 7);
}

TEST(AlphaPlane, WholePlaneOperations)
{
    Vistel img(2, 2, 24);
    SetPlane(img, {0, 10, 200, 255});
    img.AlphaInvert();
    EXPECT_EQ(Plane(img), (std::vector<BYTE>{255, 245, 55, 0}));
    img.AlphaSet((BYTE)33);
    EXPECT_EQ(Plane(img), std::vector<BYTE>(4, 33));
    img.AlphaClear();
    EXPECT_EQ(Plane(img), std::vector<BYTE>(4, 0));

    img.AlphaDelete();
    EXPECT_FALSE(img.AlphaIsValid());
    // Every operation on a missing plane is harmless.
    img.AlphaClear();
    img.AlphaSet((BYTE)1);
    img.AlphaInvert();
    img.AlphaSet(0, 0, 1);
    EXPECT_EQ(img.AlphaGet(0, 0), 0);
    EXPECT_EQ(img.AlphaGetPointer(0, 0), nullptr);
    EXPECT_FALSE(img.AlphaFlip());
    EXPECT_FALSE(img.AlphaMirror());
    EXPECT_FALSE(img.AlphaIsValid());
}

TEST(AlphaPlane, FlipAndMirrorReverseRowsAndColumns)
{
    // Not square, so rows and columns cannot be confused.
    Vistel wide(3, 2, 24);
    wide.Clear(0x5A);
    SetPlane(wide, {1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(wide.AlphaFlip());
    EXPECT_EQ(Plane(wide), (std::vector<BYTE>{4, 5, 6, 1, 2, 3}));
    ASSERT_TRUE(wide.AlphaMirror());
    EXPECT_EQ(Plane(wide), (std::vector<BYTE>{6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(wide.GetBits(1)[0], 0x5A);  // pixels are not moved

    Vistel tall(1, 3, 8);
    SetPlane(tall, {1, 2, 3});
    ASSERT_TRUE(tall.AlphaMirror());
    EXPECT_EQ(Plane(tall), (std::vector<BYTE>{1, 2, 3}));
    ASSERT_TRUE(tall.AlphaFlip());
    EXPECT_EQ(Plane(tall), (std::vector<BYTE>{3, 2, 1}));
}

TEST(AlphaPlane, CopyNeedsAPlaneAndTheSameSize)
{
    Vistel from(3, 2, 24), other(2, 3, 24), dest(3, 2, 8);
    EXPECT_FALSE(dest.AlphaCopy(from));  // from has no plane
    EXPECT_FALSE(dest.AlphaIsValid());

    SetPlane(from, {1, 2, 3, 4, 5, 6});
    from.AlphaSetMax(99);
    SetPlane(other, {9, 9, 9, 9, 9, 9});
    EXPECT_FALSE(other.AlphaCopy(from));  // same area, other shape
    EXPECT_EQ(Plane(other), std::vector<BYTE>(6, 9));
    EXPECT_EQ(other.AlphaGetMax(), 255);
    Vistel narrow(2, 2, 24);
    EXPECT_FALSE(narrow.AlphaCopy(from));
    EXPECT_FALSE(narrow.AlphaIsValid());

    ASSERT_TRUE(dest.AlphaCopy(from));
    EXPECT_EQ(Plane(dest), Plane(from));
    EXPECT_EQ(dest.AlphaGetMax(), 99);
    EXPECT_NE(dest.AlphaGetPointer(0, 0), from.AlphaGetPointer(0, 0));
}

TEST(AlphaPlane, SetFromGreyImageTakesIdentityGreysOnly)
{
    // 3 pixels wide: grey rows are padded to 4 bytes, the plane is not.
    Vistel grey(3, 2, 8);
    grey.SetGrayPalette();
    const BYTE rows[2][4] = {{10, 20, 30, 0xEE}, {40, 50, 60, 0xEE}};
    memcpy(grey.GetBits(0), rows[0], 4);
    memcpy(grey.GetBits(1), rows[1], 4);

    Vistel img(3, 2, 24);
    ASSERT_TRUE(img.AlphaSet(grey));
    EXPECT_EQ(Plane(img), (std::vector<BYTE>{10, 20, 30, 40, 50, 60}));

    Vistel grey16(3, 2, 4);  // 0, 17, ... 255 is not the identity ramp
    grey16.SetGrayPalette();
    Vistel fresh(3, 2, 24);
    EXPECT_FALSE(fresh.AlphaSet(grey16));
    EXPECT_FALSE(fresh.AlphaIsValid());

    Vistel tinted(3, 2, 8);
    tinted.SetGrayPalette();
    tinted.SetPaletteColor(128, 128, 128, 129);
    EXPECT_FALSE(fresh.AlphaSet(tinted));

    Vistel bigger(4, 2, 8);
    bigger.SetGrayPalette();
    EXPECT_FALSE(fresh.AlphaSet(bigger));
    EXPECT_FALSE(img.AlphaSet(bigger));
    EXPECT_EQ(Plane(img), (std::vector<BYTE>{10, 20, 30, 40, 50, 60}));
}

// ------------------------------------------------------------ alpha palette

TEST(AlphaPalette, ValidityFollowsTheTransparencyRule)
{
    Vistel img(2, 2, 8);
    EXPECT_FALSE(img.AlphaPaletteIsValid());  // all reserved bytes 0
    img.SetTransIndex(0);
    EXPECT_TRUE(img.AlphaPaletteIsValid());   // every other entry reads 255
    img.SetTransIndex(-1);
    img.SetPaletteColor(200, 1, 2, 3, 1);
    EXPECT_TRUE(img.AlphaPaletteIsValid());

    img.AlphaPaletteClear();
    EXPECT_FALSE(img.AlphaPaletteIsValid());
    EXPECT_EQ(img.GetPalette()[200].rgbRed, 1);
    img.SetTransIndex(3);
    img.AlphaPaletteClear();
    for (int i = 0; i < 256; i++) ASSERT_EQ(img.GetPalette()[i].rgbReserved, 0);

    Vistel full(2, 2, 24), empty;
    EXPECT_FALSE(full.AlphaPaletteIsValid());
    EXPECT_FALSE(empty.AlphaPaletteIsValid());
}

// ------------------------------------------------------------ splitting

TEST(AlphaSplit, PlaneBecomesAGreyImage)
{
    Vistel img(3, 2, 24);
    SetPlane(img, {0, 1, 2, 100, 200, 255});
    Vistel dest(5, 5, 24, VISTEL_FORMAT_JPG);
    dest.AlphaCreate();
    ASSERT_TRUE(img.AlphaSplit(&dest));
    EXPECT_EQ(dest.GetWidth(), 3u);
    EXPECT_EQ(dest.GetHeight(), 2u);
    EXPECT_EQ(dest.GetBpp(), 8);
    EXPECT_TRUE(dest.IsGrayScale());
    EXPECT_FALSE(dest.AlphaIsValid());
    EXPECT_EQ(dest.GetPixelIndex(2, 0), 2);
    EXPECT_EQ(dest.GetPixelIndex(0, 1), 100);
    EXPECT_EQ(dest.GetPixelIndex(2, 1), 255);
    EXPECT_TRUE(img.AlphaIsValid());

    Vistel none(2, 2, 24);
    EXPECT_FALSE(none.AlphaSplit(&dest));
    EXPECT_FALSE(img.AlphaSplit(nullptr));
    EXPECT_EQ(dest.GetWidth(), 3u);
    // A move into a ghost fails and says so; the ghost's owner is untouched.
    Vistel owner(3, 3, 8), ghost;
    ghost.Ghost(&owner);
    EXPECT_FALSE(img.AlphaSplit(&ghost));
    EXPECT_EQ(owner.GetWidth(), 3u);
}

TEST(AlphaSplit, PaletteAlphaBecomesAGreyImage)
{
    Vistel img(2, 1, 8);
    img.SetPixelIndex(0, 0, 1);
    img.SetPixelIndex(1, 0, 0);
    Vistel dest;
    EXPECT_FALSE(img.AlphaPaletteSplit(&dest));
    EXPECT_FALSE(dest.IsValid());
    img.SetTransIndex(1);
    ASSERT_TRUE(img.AlphaPaletteSplit(&dest));
    EXPECT_EQ(dest.GetBpp(), 8);
    EXPECT_EQ(dest.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(dest.GetPixelIndex(1, 0), 255);
    EXPECT_FALSE(img.AlphaPaletteSplit(nullptr));
}
