// Alpha: the plane the codecs, transforms and photo path use (layout,
// bounds, life cycle, copy); one property each for the operations the
// extension does not call (invert, flip, mirror, grey images as alpha,
// the splits, palette alpha).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Vistel.h"
#include "test_images.h"

using namespace testimages;

namespace {

std::vector<BYTE> Plane(Vistel& img)
{
    const BYTE* p = img.AlphaGetPointer(0, 0);
    return p ? std::vector<BYTE>(p, p + img.GetWidth() * img.GetHeight()) : std::vector<BYTE>();
}

// Fills the plane bottom row first with the given bytes.
void SetPlane(Vistel& img, const std::vector<BYTE>& values)
{
    img.AlphaCreate();
    ASSERT_EQ(values.size(), (size_t)img.GetWidth() * img.GetHeight());
    memcpy(img.AlphaGetPointer(0, 0), values.data(), values.size());
}

}  // namespace

TEST(AlphaPlane, LayoutBoundsAndLifeCycle)
{
    Vistel img(3, 2, 8);
    img.AlphaCreate();
    EXPECT_EQ(Plane(img), std::vector<BYTE>(6, 255));
    img.AlphaSet(1, 1, 7);
    EXPECT_EQ(Plane(img)[4], 7);
    EXPECT_EQ(img.BlindAlphaGet(1, 1), 7);
    EXPECT_EQ(img.AlphaGetPointer(1, 1), img.AlphaGetPointer(0, 0) + 4);
    // Outside: reads give 0, writes go nowhere, no pointer.
    for (auto [x, y] : {std::pair{-1L, 0L}, {3L, 0L}, {0L, -1L}, {0L, 2L}}) {
        img.AlphaSet(x, y, 9);
        EXPECT_EQ(img.AlphaGet(x, y), 0);
        EXPECT_EQ(img.AlphaGetPointer(x, y), nullptr);
    }
    EXPECT_EQ(Plane(img), (std::vector<BYTE>{255, 255, 255, 255, 7, 255}));
    img.AlphaCreate();  // an existing plane is kept as it is
    EXPECT_EQ(img.AlphaGet(1, 1), 7);
    img.AlphaSet((BYTE)33);
    EXPECT_EQ(Plane(img), std::vector<BYTE>(6, 33));
    img.AlphaClear();
    EXPECT_EQ(Plane(img), std::vector<BYTE>(6, 0));

    img.AlphaDelete();  // every operation on a missing plane is harmless
    img.AlphaClear();
    img.AlphaSet((BYTE)1);
    img.AlphaInvert();
    img.AlphaSet(0, 0, 1);
    EXPECT_FALSE(img.AlphaGet(0, 0) || img.AlphaFlip() || img.AlphaMirror() || img.AlphaIsValid());
}

TEST(AlphaPlane, CopyNeedsAPlaneAndTheSameShape)
{
    Vistel from(3, 2, 24), other(2, 3, 24), dest(3, 2, 8);
    EXPECT_FALSE(dest.AlphaCopy(from));  // from has no plane
    SetPlane(from, {1, 2, 3, 4, 5, 6});
    SetPlane(other, std::vector<BYTE>(6, 9));
    EXPECT_FALSE(other.AlphaCopy(from));  // same area, other shape
    EXPECT_EQ(Plane(other), std::vector<BYTE>(6, 9));
    ASSERT_TRUE(dest.AlphaCopy(from));
    EXPECT_EQ(Plane(dest), Plane(from));
    EXPECT_NE(dest.AlphaGetPointer(0, 0), from.AlphaGetPointer(0, 0));
}

TEST(AlphaPlane, InvertFlipMirrorAndGreyImagesAsAlpha)
{
    Vistel wide(3, 2, 24);  // not square, so rows and columns cannot be confused
    SetPlane(wide, {0, 2, 3, 4, 5, 255});
    wide.AlphaInvert();
    EXPECT_EQ(Plane(wide), (std::vector<BYTE>{255, 253, 252, 251, 250, 0}));
    ASSERT_TRUE(wide.AlphaFlip());
    EXPECT_EQ(Plane(wide), (std::vector<BYTE>{251, 250, 0, 255, 253, 252}));
    ASSERT_TRUE(wide.AlphaMirror());
    EXPECT_EQ(Plane(wide), (std::vector<BYTE>{0, 250, 251, 252, 253, 255}));

    // Grey rows are padded to 4 bytes, the plane is not; only the identity
    // grey ramp of the same size is taken.
    Vistel grey(3, 2, 8), tinted(3, 2, 8), img(3, 2, 24);
    grey.SetGrayPalette();
    tinted.SetGrayPalette();
    tinted.SetPaletteColor(128, 128, 128, 129);
    memcpy(grey.GetBits(0), "\x0A\x14\x1E\xEE\x28\x32\x3C\xEE", 8);
    EXPECT_FALSE(img.AlphaSet(tinted));
    EXPECT_FALSE(img.AlphaIsValid());
    ASSERT_TRUE(img.AlphaSet(grey));
    EXPECT_EQ(Plane(img), (std::vector<BYTE>{10, 20, 30, 40, 50, 60}));
}

TEST(AlphaSplit, PlaneOrPaletteAlphaBecomesAGreyImage)
{
    Vistel img(3, 2, 24), dest(5, 5, 24, VISTEL_FORMAT_JPG), none(2, 2, 24);
    SetPlane(img, {0, 1, 2, 100, 200, 255});
    EXPECT_FALSE(none.AlphaSplit(&dest));
    ASSERT_TRUE(img.AlphaSplit(&dest));
    EXPECT_TRUE(dest.IsGrayScale() && !dest.AlphaIsValid());
    EXPECT_EQ(0, memcmp(dest.GetBits(1), "\x64\xC8\xFF", 3));
    // A move into a ghost fails and says so; the ghost's owner is untouched.
    Vistel owner(3, 3, 8), ghost;
    ghost.Ghost(&owner);
    EXPECT_FALSE(img.AlphaSplit(&ghost));
    EXPECT_EQ(owner.GetWidth(), 3u);

    Vistel indexed(2, 1, 8), alpha;
    indexed.SetPixelIndex(0, 0, 1);
    indexed.SetPixelIndex(1, 0, 0);
    EXPECT_FALSE(indexed.AlphaPaletteSplit(&alpha));
    indexed.SetTransIndex(1);
    ASSERT_TRUE(indexed.AlphaPaletteSplit(&alpha));
    EXPECT_EQ(alpha.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(alpha.GetPixelIndex(1, 0), 255);
    indexed.SetTransIndex(-1);
    indexed.SetPaletteColor(200, 1, 2, 3, 1);  // a reserved byte makes palette alpha too
    EXPECT_TRUE(indexed.AlphaPaletteIsValid());
    indexed.AlphaPaletteClear();
    EXPECT_FALSE(indexed.AlphaPaletteIsValid());
}
