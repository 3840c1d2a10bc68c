// GIF decoder: header check, comments, hostile and broken streams. How
// frames compose in a photo is tested through photos against an
// independent reference (tests/tcl/gif.test, gifcorpus.test).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "VistelGIF.h"
#include "gif_test_util.h"

using giftest::Bytes;
using giftest::GifBuilder;
using giftest::RampPalette;

namespace {

struct Decoded {
    std::unique_ptr<VistelGIF> image{new VistelGIF};
    bool ok = false;
};

Decoded DecodeGif(Bytes data, long frame = 0, long escape = 0)
{
    Decoded d;
    d.image->SetFrame(frame);
    d.image->SetEscape(escape);
    VsMemFile file(data.data(), (DWORD)data.size());
    d.ok = d.image->Decode(&file);
    return d;
}

// Index at (x, y) with y counted from the top of the picture.
int At(Vistel& image, long x, long y)
{
    return image.GetPixelIndex(x, (long)image.GetHeight() - 1 - y);
}

// Screen 4 x 4 with a 4-entry global table (a 4-bit canvas).
GifBuilder FourByFour() { return GifBuilder(4, 4, RampPalette(4)); }

}  // namespace

TEST(GifHeader, CheckFormatAndDimensionOnlyMode)
{
    // The check reads up to the first image descriptor: a screen with no
    // image is no picture.
    Bytes bare = GifBuilder(320, 200, RampPalette(2)).Finish();
    basic_image_information info;
    EXPECT_FALSE(VistelGIF::CheckFormat(bare.data(), (DWORD)bare.size(), &info));
    Bytes one = GifBuilder(40000, 200, RampPalette(2)).SolidFrame(0, 0, 1, 1, 1).Finish();
    ASSERT_TRUE(VistelGIF::CheckFormat(one.data(), (DWORD)one.size(), &info));
    EXPECT_EQ(info.format, (DWORD)VISTEL_FORMAT_GIF);
    EXPECT_EQ(info.width, 40000);  // the field is unsigned
    EXPECT_EQ(info.height, 200);
    one[3] = '7';
    EXPECT_FALSE(VistelGIF::CheckFormat(one.data(), (DWORD)one.size(), &info));

    Decoded d = DecodeGif(GifBuilder(123, 45, RampPalette(2)).SolidFrame(0, 0, 1, 1, 1).Finish(), 0, -1);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.image->GetWidth(), 123u);
    EXPECT_EQ(d.image->GetHeight(), 45u);
    EXPECT_FALSE(d.image->IsValid());
}

TEST(GifExtensions, CommentKeepsTheFirstSubBlock)
{
    std::string text(300, 'c');
    text[0] = 'A';
    Decoded d = DecodeGif(FourByFour().Comment(text).SolidFrame(0, 0, 4, 4, 1).Finish());
    ASSERT_TRUE(d.ok);
    char comment[256];
    d.image->GetComment(comment);
    EXPECT_EQ(strlen(comment), 255u);
    EXPECT_EQ(comment[0], 'A');

    // An empty comment ends at its own terminator; the next frame is read.
    Bytes empty = FourByFour().Raw({0x21, 0xFE, 0x00}).SolidFrame(0, 0, 4, 4, 3).Finish();
    Decoded e = DecodeGif(empty);
    ASSERT_TRUE(e.ok);
    EXPECT_EQ(At(*e.image, 0, 0), 3);

    // A comment after the only frame is still reported.
    Decoded after = DecodeGif(FourByFour().SolidFrame(0, 0, 4, 4, 1).Comment("end").Finish());
    ASSERT_TRUE(after.ok);
    after.image->GetComment(comment);
    EXPECT_STREQ(comment, "end");
}

TEST(GifRobustness, HostileScreenIsRefusedBeforeAllocation)
{
    Bytes data = GifBuilder(65535, 65535, RampPalette(256)).SolidFrame(0, 0, 1, 1, 1).Finish();
    Decoded d = DecodeGif(data);
    EXPECT_FALSE(d.ok);
    EXPECT_STREQ(d.image->GetLastError(), vssize::kTooLarge);

    // Frames whose indices together pass the ceiling.
    vssize::CeilingScope ceiling(100);
    GifBuilder many(8, 8, RampPalette(256));
    for (int i = 0; i < 2; i++) many.SolidFrame(0, 0, 8, 8, 1);
    Decoded all = DecodeGif(many.Finish());
    EXPECT_FALSE(all.ok);
    EXPECT_STREQ(all.image->GetLastError(), "GIF: the frames exceed the memory ceiling");
}

TEST(GifRobustness, FailureLeavesTheImageAsItWas)
{
    VistelGIF image;
    Bytes good = FourByFour().SolidFrame(0, 0, 4, 4, 3).Finish();
    VsMemFile file(good.data(), (DWORD)good.size());
    ASSERT_TRUE(image.Decode(&file));
    Bytes bad = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0x81, 0, 0, 1, 2};
    VsMemFile badFile(bad.data(), (DWORD)bad.size());
    EXPECT_FALSE(image.Decode(&badFile));
    EXPECT_STRNE(image.GetLastError(), "");
    EXPECT_EQ(image.GetWidth(), 4u);
    EXPECT_EQ(At(image, 2, 2), 3);

    // Extensions read before the failure do not stay either.
    Bytes late = FourByFour().Loops(7).Gce(2, 1, 9).SolidFrame(0, 0, 4, 4, 0).Finish();
    VsMemFile lateFile(late.data(), (DWORD)late.size());
    image.SetFrame(3);
    EXPECT_FALSE(image.Decode(&lateFile));
    EXPECT_EQ(image.GetLoops(), 0);
    EXPECT_EQ(image.GetTransIndex(), -1);
    EXPECT_EQ(image.GetFrameDelay(), 0u);
    EXPECT_EQ(At(image, 2, 2), 3);
}

TEST(GifRobustness, TruncatedAndBrokenStreams)
{
    GifBuilder gif = FourByFour();
    for (int i = 0; i < 3; i++) gif.Gce(i % 4, 1).SolidFrame(0, 0, 4, 4, (uint8_t)i);
    Bytes whole = gif.Finish();
    for (size_t n = 0; n <= whole.size(); n++) {
        Bytes cut(whole.begin(), whole.begin() + n);
        Decoded d = DecodeGif(cut);
        if (d.ok && d.image->IsValid()) {
            EXPECT_EQ(d.image->GetWidth(), 4u);
        }
    }
    // Endless empty blocks and stray bytes end with the data.
    Bytes junk = FourByFour().SolidFrame(0, 0, 4, 4, 1).Finish();
    junk.pop_back();
    junk.insert(junk.end(), 5000, 0x00);
    junk.insert(junk.end(), 300, 0x21);
    Decoded j = DecodeGif(junk);
    EXPECT_TRUE(j.ok);
}
