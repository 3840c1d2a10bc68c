// GIF decoder: header check, colour tables, extensions, frame selection,
// composition by disposal method and transparency, the frame set.
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

Decoded DecodeGif(Bytes data, long frame = 0, bool allFrames = false, long escape = 0)
{
    Decoded d;
    d.image->SetFrame(frame);
    d.image->SetEscape(escape);
    if (allFrames) d.image->RetreiveAllFrame();
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
    BYTE header[13] = {'G', 'I', 'F', '8', '9', 'a', 0x40, 0x01, 0xC8, 0x00, 0, 0, 0};
    basic_image_information info;
    EXPECT_FALSE(VistelGIF::CheckFormat(header, 12, &info));
    ASSERT_TRUE(VistelGIF::CheckFormat(header, 13, &info));
    EXPECT_EQ(info.format, (DWORD)VISTEL_FORMAT_GIF);
    EXPECT_EQ(info.height, 200);
    header[7] = 0x9C;  // 40000: the field is unsigned
    ASSERT_TRUE(VistelGIF::CheckFormat(header, 13, &info));
    EXPECT_EQ(info.width, 40000);
    header[3] = '7';
    EXPECT_FALSE(VistelGIF::CheckFormat(header, 13, &info));

    Decoded d = DecodeGif(GifBuilder(123, 45, RampPalette(2)).Finish(), 0, false, -1);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.image->GetWidth(), 123u);
    EXPECT_EQ(d.image->GetHeight(), 45u);
    EXPECT_FALSE(d.image->IsValid());
}

TEST(GifDecode, SmallFrameOnScreenAndTableDepths)
{
    // 4-entry table: 4 bits per pixel; outside the frame: the control
    // block's transparent index.
    Bytes data = FourByFour().Gce(0, 2).Frame(1, 1, 2, 2, {0, 1, 3, 0}).Finish();
    Decoded d = DecodeGif(data);
    ASSERT_TRUE(d.ok) << d.image->GetLastError();
    Vistel& im = *d.image;
    EXPECT_EQ(im.GetBpp(), 4);
    EXPECT_EQ(im.GetTransIndex(), 2);
    EXPECT_EQ(im.GetNumFrames(), 1);
    EXPECT_EQ(At(im, 0, 0), 2);
    EXPECT_EQ(At(im, 3, 3), 2);
    EXPECT_EQ(At(im, 1, 1), 0);
    EXPECT_EQ(At(im, 2, 1), 1);
    EXPECT_EQ(At(im, 1, 2), 3);
    EXPECT_EQ(im.GetPalette()[3].rgbGreen, 252);

    Bytes mono = GifBuilder(9, 2, RampPalette(2)).Frame(0, 0, 9, 2, std::vector<uint8_t>(18, 1), {}, false, 2).Finish();
    Decoded m = DecodeGif(mono);
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.image->GetBpp(), 1);
    EXPECT_EQ(At(*m.image, 8, 1), 1);
    // No control block: the canvas starts at index 0 and is not transparent.
    EXPECT_EQ(m.image->GetTransIndex(), -1);

    Bytes wide = GifBuilder(2, 1, RampPalette(256)).Frame(0, 0, 2, 1, {200, 17}).Finish();
    Decoded w = DecodeGif(wide);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.image->GetBpp(), 8);
    EXPECT_EQ(At(*w.image, 0, 0), 200);
}

TEST(GifDecode, LocalTableThenGlobalTable)
{
    std::vector<giftest::Rgb> local = {{10, 20, 30}, {40, 50, 60}};
    Bytes data = FourByFour().Gce(1).SolidFrame(0, 0, 4, 4, 1, local).Gce(1)
                     .SolidFrame(0, 0, 4, 4, 1).Finish();
    Decoded f0 = DecodeGif(data, 0);
    ASSERT_TRUE(f0.ok);
    EXPECT_EQ(f0.image->GetPalette()[1].rgbRed, 40);
    Decoded f1 = DecodeGif(data, 1);
    ASSERT_TRUE(f1.ok);
    EXPECT_EQ(f1.image->GetPalette()[1].rgbGreen, 254);
}

TEST(GifDecode, FrameSelectionAndCount)
{
    GifBuilder gif = FourByFour();
    for (int i = 0; i < 5; i++) gif.Gce(1, -1, 10 + i).SolidFrame(0, 0, 4, 4, (uint8_t)(i % 4));
    Bytes data = gif.Finish();

    Decoded two = DecodeGif(data, 2);
    ASSERT_TRUE(two.ok);
    EXPECT_EQ(two.image->GetNumFrames(), 5);
    EXPECT_EQ(two.image->GetFrameDelay(), 12u);
    EXPECT_EQ(At(*two.image, 0, 0), 2);

    for (long bad : {5L, -1L}) {
        Decoded beyond = DecodeGif(data, bad);
        EXPECT_FALSE(beyond.ok);
        EXPECT_STRNE(beyond.image->GetLastError(), "");
        EXPECT_EQ(beyond.image->GetNumFrames(), 5);
    }

    // A frame that does not fit on the screen is skipped and not counted.
    Bytes off = FourByFour().SolidFrame(2, 0, 3, 4, 1).SolidFrame(0, 0, 4, 4, 3).Finish();
    Decoded o = DecodeGif(off);
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.image->GetNumFrames(), 1);
    EXPECT_EQ(At(*o.image, 3, 3), 3);
}

// Disposal "none" and "keep" both draw over the previous frame; the
// transparent index lets it show through.
TEST(GifCompose, NoneAndKeepDrawOverThePreviousFrame)
{
    for (int disposal : {0, 1}) {
        SCOPED_TRACE(disposal);
        Bytes data = FourByFour().Gce(disposal, 2).SolidFrame(0, 0, 4, 4, 1).Gce(disposal, 2)
                         .Frame(0, 0, 4, 1, {3, 2, 2, 0}).Finish();
        Decoded d = DecodeGif(data, 1);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.image->GetTransIndex(), 2);
        EXPECT_EQ(At(*d.image, 0, 0), 3);
        EXPECT_EQ(At(*d.image, 1, 0), 1);
        EXPECT_EQ(At(*d.image, 3, 0), 0);
        EXPECT_EQ(At(*d.image, 1, 1), 1);
    }
}

TEST(GifCompose, TransparentPixelsLeaveAnEightBitCanvas)
{
    std::vector<uint8_t> top(16 * 3);
    for (size_t i = 0; i < top.size(); i++) top[i] = (uint8_t)(i % 5 == 0 ? 200 : i * 7);
    Bytes data = GifBuilder(20, 4, RampPalette(256)).Gce(1, 200).SolidFrame(0, 0, 20, 4, 9)
                     .Gce(1, 200).Frame(3, 1, 16, 3, top).Finish();
    Decoded d = DecodeGif(data, 1);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.image->GetBpp(), 8);
    for (long y = 0; y < 4; y++)
        for (long x = 0; x < 20; x++) {
            int want = 9;
            if (y >= 1 && x >= 3 && x < 19 && top[(size_t)(y - 1) * 16 + (size_t)(x - 3)] != 200)
                want = top[(size_t)(y - 1) * 16 + (size_t)(x - 3)];
            EXPECT_EQ(At(*d.image, x, y), want) << x << "," << y;
        }
}

TEST(GifCompose, RestoreToBackgroundClearsTheWholeScreen)
{
    // With transparency the clear index is the first frame's transparent
    // index; without it, -1 taken as a byte (15 on a 4-bit canvas).
    for (int trans : {2, -1}) {
        Bytes data = FourByFour().Gce(1, trans).SolidFrame(0, 0, 4, 4, 1).Gce(2, trans)
                         .SolidFrame(0, 0, 2, 2, 3).Gce(1, trans).SolidFrame(3, 3, 1, 1, 0)
                         .Finish();
        Decoded d = DecodeGif(data, 2);
        ASSERT_TRUE(d.ok);
        int cleared = trans >= 0 ? trans : 15;
        EXPECT_EQ(At(*d.image, 0, 0), cleared) << trans;
        EXPECT_EQ(At(*d.image, 2, 2), cleared) << trans;
        EXPECT_EQ(At(*d.image, 3, 3), 0) << trans;
        EXPECT_EQ(d.image->GetTransIndex(), trans);
    }
}

TEST(GifCompose, RestoreToPreviousGoesBackToTheLastKeptFrame)
{
    for (int trans : {2, -1}) {
        Bytes data = FourByFour().Gce(1, trans).SolidFrame(0, 0, 4, 4, 1).Gce(3, trans)
                         .SolidFrame(0, 0, 4, 4, 3).Gce(1, trans).SolidFrame(0, 0, 1, 1, 0)
                         .Finish();
        Decoded mid = DecodeGif(data, 1);
        ASSERT_TRUE(mid.ok);
        EXPECT_EQ(At(*mid.image, 2, 2), 3);
        Decoded d = DecodeGif(data, 2);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(At(*d.image, 0, 0), 0) << trans;
        EXPECT_EQ(At(*d.image, 2, 2), 1) << trans;
    }

    // Without any kept frame, restore-to-previous returns to the blank canvas.
    Bytes first = FourByFour().Gce(3, 2).SolidFrame(0, 0, 4, 4, 1).Gce(1, 2)
                      .SolidFrame(0, 0, 1, 1, 3).Finish();
    Decoded b = DecodeGif(first, 1);
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(At(*b.image, 0, 0), 3);
    EXPECT_EQ(At(*b.image, 2, 2), 2);
}

TEST(GifCompose, LaterFrameWithMoreColoursDeepensTheCanvas)
{
    Bytes data = GifBuilder(3, 1, RampPalette(2)).Gce(1).Frame(0, 0, 3, 1, {1, 0, 1}, {}, false, 2)
                     .Gce(1).Frame(1, 0, 1, 1, {200}, RampPalette(256)).Finish();
    Decoded d = DecodeGif(data, 1);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.image->GetBpp(), 8);
    EXPECT_EQ(At(*d.image, 0, 0), 1);
    EXPECT_EQ(At(*d.image, 1, 0), 200);
    EXPECT_EQ(d.image->GetPalette()[200].rgbRed, 200);

    // The other way round: a 2-colour frame on an 8-bit canvas replaces
    // only the first two palette entries.
    Bytes narrow = GifBuilder(3, 1, RampPalette(256)).Gce(1).Frame(0, 0, 3, 1, {200, 17, 3}).Gce(1)
                       .Frame(1, 0, 1, 1, {1}, {{9, 9, 9}, {7, 7, 7}}, false, 2).Finish();
    Decoded n = DecodeGif(narrow, 1);
    ASSERT_TRUE(n.ok);
    EXPECT_EQ(n.image->GetBpp(), 8);
    EXPECT_EQ(At(*n.image, 1, 0), 1);
    EXPECT_EQ(n.image->GetPalette()[1].rgbRed, 7);
    EXPECT_EQ(n.image->GetPalette()[200].rgbRed, 200);
}

TEST(GifCompose, TilesWithoutGlobalTableMakeATrueColourPicture)
{
    std::vector<giftest::Rgb> red = {{255, 0, 0}, {0, 0, 0}};
    std::vector<giftest::Rgb> blue = {{0, 0, 255}, {0, 0, 0}};
    Bytes data = GifBuilder(4, 2).SolidFrame(0, 0, 2, 1, 0, red).SolidFrame(2, 1, 2, 1, 0, blue)
                     .Finish();
    Decoded d = DecodeGif(data, 0);
    ASSERT_TRUE(d.ok) << d.image->GetLastError();
    EXPECT_EQ(d.image->GetBpp(), 24);
    EXPECT_EQ(d.image->GetFrame(), 1);
    EXPECT_EQ(d.image->GetPixelColor(0, 1).rgbRed, 255);
    EXPECT_EQ(d.image->GetPixelColor(3, 0).rgbBlue, 255);
    EXPECT_FALSE(d.image->IsTransparent());

    // A transparent index beyond the last frame's two colours gives black.
    Bytes trans = GifBuilder(4, 2).SolidFrame(0, 0, 2, 1, 0, red).Gce(0, 200)
                      .SolidFrame(2, 1, 2, 1, 0, blue).Finish();
    Decoded t = DecodeGif(trans, 0);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.image->GetTransIndex(), 0);
    RGBQUAD c = t.image->GetTransColor();
    EXPECT_EQ(c.rgbRed + c.rgbGreen + c.rgbBlue, 0);
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

// Loop counts come from either application block; frame 1's control block
// must not make frame 0 transparent or give it a delay.
TEST(GifExtensions, LoopsAndLaterControlBlocksDoNotChangeEarlierFrames)
{
    Bytes data = FourByFour().Loops(5).SolidFrame(0, 0, 4, 4, 2).Gce(1, 2, 7)
                     .SolidFrame(0, 0, 1, 1, 1).Finish();
    Decoded d = DecodeGif(data, 0);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.image->GetLoops(), 5);
    EXPECT_EQ(d.image->GetTransIndex(), -1);
    EXPECT_EQ(d.image->GetFrameDelay(), 0u);
    EXPECT_EQ(At(*d.image, 0, 0), 2);
    Decoded o = DecodeGif(FourByFour().Application("ANIMEXTS1.0", {1, 0x2C, 0x01})
                              .SolidFrame(0, 0, 4, 4, 1).Finish());
    ASSERT_TRUE(o.ok);
    EXPECT_EQ(o.image->GetLoops(), 300);
}

TEST(GifFrameSet, AllFramesKeepsEachComposedFrame)
{
    Bytes data = FourByFour().Gce(1, 2, 5).SolidFrame(0, 0, 4, 4, 1).Gce(2, 2, 6)
                     .SolidFrame(0, 0, 2, 2, 3).Gce(1, 2, 7).SolidFrame(3, 3, 1, 1, 0).Finish();
    Decoded d = DecodeGif(data, 2, true);
    ASSERT_TRUE(d.ok);
    VistelGIF& im = *d.image;
    ASSERT_EQ(im.GetNumFrames(), 3);
    for (long i = 0; i < 3; i++) {
        Vistel* f = im.GetFrameNo(i);
        ASSERT_NE(f, &im);
        EXPECT_EQ(f->GetWidth(), 4u);
        EXPECT_EQ(f->GetFrameDelay(), (DWORD)(5 + i));
        EXPECT_EQ(f->GetTransIndex(), 2);
        EXPECT_EQ(f->GetFrameNo(0), f);  // a stored frame owns no frame set
    }
    EXPECT_EQ(At(*im.GetFrameNo(0), 0, 0), 1);
    EXPECT_EQ(At(*im.GetFrameNo(1), 1, 1), 3);
    EXPECT_EQ(At(*im.GetFrameNo(2), 1, 1), 2);
    EXPECT_EQ(At(*im.GetFrameNo(2), 3, 3), 0);

    // Decoding again replaces the set; a failed decode keeps it.
    VsMemFile again(data.data(), (DWORD)data.size());
    ASSERT_TRUE(im.Decode(&again));
    Vistel* kept = im.GetFrameNo(2);
    ASSERT_NE(kept, &im);
    Bytes broken = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0, 0, 0};
    VsMemFile bad(broken.data(), (DWORD)broken.size());
    EXPECT_FALSE(im.Decode(&bad));
    EXPECT_EQ(im.GetFrameNo(2), kept);
    EXPECT_TRUE(im.DestroyGifFrames());
    EXPECT_EQ(im.GetFrameNo(1), &im);
}

TEST(GifFrameSet, ThroughTheDispatch)
{
    GifBuilder gif = FourByFour();
    for (int i = 0; i < 3; i++) gif.Gce(1, 2, i).SolidFrame(i, 0, 1, 1, 1);
    Bytes data = gif.Finish();
    Vistel first;
    ASSERT_TRUE(first.Decode(data.data(), (DWORD)data.size(), VISTEL_FORMAT_UNKNOWN));
    EXPECT_EQ(first.GetType(), (DWORD)VISTEL_FORMAT_GIF);
    ASSERT_EQ(first.GetNumFrames(), 3);
    Vistel anim;
    anim.RetreiveAllFrame();
    anim.SetFrame(2);
    ASSERT_TRUE(anim.Decode(data.data(), (DWORD)data.size(), VISTEL_FORMAT_GIF));
    ASSERT_TRUE(anim.Decode(data.data(), (DWORD)data.size(), VISTEL_FORMAT_GIF));
    EXPECT_EQ(At(*anim.GetFrameNo(2), 2, 0), 1);
    EXPECT_EQ(At(*anim.GetFrameNo(1), 2, 0), 2);

    // RGBA export: the transparent index gives alpha 0, the others 255.
    BYTE* rgba = nullptr;
    long size = 0;
    ASSERT_TRUE(anim.GetFrameNo(0)->Encode2RGBA(rgba, size));
    ASSERT_EQ(size, 4 * 4 * 4);
    EXPECT_EQ(rgba[3], 255);
    EXPECT_EQ(rgba[4 + 3], 0);
    Vistel::FreeMemory(rgba);
}

TEST(GifRobustness, HostileScreenIsRefusedBeforeAllocation)
{
    Bytes data = GifBuilder(65535, 65535, RampPalette(256)).SolidFrame(0, 0, 1, 1, 1).Finish();
    Decoded d = DecodeGif(data);
    EXPECT_FALSE(d.ok);
    EXPECT_STREQ(d.image->GetLastError(), "VISTEL_MAX_MEMORY exceeded");

    // Many frames on a large screen: the frame set would pass the ceiling.
    GifBuilder many(8000, 8000, RampPalette(256));
    for (int i = 0; i < 10; i++) many.SolidFrame(0, 0, 1, 1, 1);
    Decoded all = DecodeGif(many.Finish(), 9, true);
    EXPECT_FALSE(all.ok);
    EXPECT_STRNE(all.image->GetLastError(), "");
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

    // Extensions read before the failure do not stay either; the frame
    // count found is reported.
    Bytes late = FourByFour().Loops(7).Gce(2, 1, 9).SolidFrame(0, 0, 4, 4, 0).Finish();
    VsMemFile lateFile(late.data(), (DWORD)late.size());
    image.SetFrame(3);
    EXPECT_FALSE(image.Decode(&lateFile));
    EXPECT_EQ(image.GetNumFrames(), 1);
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
        Decoded d = DecodeGif(cut, 0, true);
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
