// Real TGA files from ../shared/testdata/tga, decoded and compared with the
// reference RGBA hashes. Skips when the corpus is absent.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "VistelTGA.h"
#include "Formats.h"
#include "corpus.h"

namespace {

const char* kSuite = "tga";

// 15- and 16-bit true-colour pixels: the reference widens 5-bit channels as
// v * 255 / 31, the codec by bit replication ((v << 3) | (v >> 2)). Both
// keep v in the top five bits, so the codec's bytes convert exactly.
bool IsFiveBitTrueColour(const std::vector<uint8_t>& file)
{
    return (file[2] & 7) == 2 && (file[16] == 15 || file[16] == 16);
}

void ToPillowFiveBit(std::vector<uint8_t>* rgba)
{
    for (size_t i = 0; i < rgba->size(); i++)
        if (i % 4 != 3) (*rgba)[i] = (uint8_t)(((*rgba)[i] >> 3) * 255 / 31);
}

// The picture turned upside down and/or left to right.
std::vector<uint8_t> Turned(const std::vector<uint8_t>& rgba, long w, long h, bool flip, bool mirror)
{
    std::vector<uint8_t> out(rgba.size());
    for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++) {
            long sy = flip ? h - 1 - y : y, sx = mirror ? w - 1 - x : x;
            for (int k = 0; k < 4; k++) out[(y * w + x) * 4 + k] = rgba[(sy * w + sx) * 4 + k];
        }
    return out;
}

bool DecodeFile(const std::string& rel, Vistel& img, std::vector<uint8_t>* data)
{
    if (!corpus::ReadFile(corpus::Root() + "/" + kSuite + "/" + rel, data)) return false;
    return formats::Decode(img, data->data(), (DWORD)data->size(), VISTEL_FORMAT_TGA);
}

}  // namespace

TEST(TgaCorpus, DecodesAndMatchesReferences)
{
    if (corpus::Root().empty()) GTEST_SKIP() << "no test corpus";
    // Files the format cannot describe: truncated pixel data, and a header
    // announcing a colour map that is not there.
    const std::set<std::string> rejected = {"pillow/cross_scan_line_truncated.tga",
                                            "pillow/p_8.tga"};
    int compared = 0, decoded = 0;
    for (const std::string& rel : corpus::Files(kSuite, {".tga"})) {
        SCOPED_TRACE(rel);
        Vistel img;
        std::vector<uint8_t> data;
        bool ok = DecodeFile(rel, img, &data);
        if (rejected.count(rel)) {
            EXPECT_FALSE(ok);
            continue;
        }
        ASSERT_TRUE(ok) << img.GetLastError();
        basic_image_information bi;
        EXPECT_TRUE(VistelTGA::CheckFormat(data.data(), (DWORD)data.size(), &bi));
        EXPECT_EQ(img.GetType(), (DWORD)VISTEL_FORMAT_TGA);
        decoded++;
        std::vector<corpus::RefFrame> ref;
        if (!corpus::ReadRef(kSuite, rel, &ref)) continue;
        ASSERT_EQ(ref.size(), 1u);
        EXPECT_EQ((int)img.GetWidth(), ref[0].width);
        EXPECT_EQ((int)img.GetHeight(), ref[0].height);
        std::vector<uint8_t> rgba = corpus::OpaqueRgba(img);
        if (IsFiveBitTrueColour(data)) ToPillowFiveBit(&rgba);
        EXPECT_EQ(corpus::Sha256Hex(rgba.data(), rgba.size()), ref[0].sha256);
        compared++;
    }
    EXPECT_EQ(decoded, 51);
    EXPECT_EQ(compared, 45);
}

// Files without a reference. The four corner files hold the same pixel data
// and differ only in the origin bits, so each is the others turned over; the
// 15-bit colour-mapped twins must agree with their true-colour twin.
TEST(TgaCorpus, TwinsWithoutReferencesAgree)
{
    if (corpus::Root().empty()) GTEST_SKIP() << "no test corpus";
    auto rgbaOf = [](const std::string& rel) {
        Vistel img;
        std::vector<uint8_t> data;
        EXPECT_TRUE(DecodeFile(rel, img, &data)) << rel << ": " << img.GetLastError();
        return img.IsValid() ? corpus::OpaqueRgba(img) : std::vector<uint8_t>();
    };
    std::vector<uint8_t> corner = rgbaOf("image-rs-testsuite/bottom_left.tga");
    ASSERT_EQ(corner.size(), 75u * 70 * 4);
    EXPECT_EQ(rgbaOf("image-rs-testsuite/bottom_right.tga"), Turned(corner, 75, 70, false, true));
    EXPECT_EQ(rgbaOf("image-rs-testsuite/top_left.tga"), Turned(corner, 75, 70, true, false));
    EXPECT_EQ(rgbaOf("image-rs-testsuite/top_right.tga"), Turned(corner, 75, 70, true, true));

    std::vector<uint8_t> plain = rgbaOf("image-rs-testsuite/b5-noattrib.tga");
    ASSERT_FALSE(plain.empty());
    for (const char* rel : {"image-rs-testsuite/b5-cmap.tga",
                            "image-rs-testsuite/b5-unused-cmap.tga"})
        EXPECT_EQ(rgbaOf(rel), plain) << rel;
}
