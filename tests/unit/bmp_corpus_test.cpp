// The BMP decoder over the public bmpsuite and bmp-extra corpora: every file
// Pillow decodes must decode here and match its RGBA hash unless listed
// below with the reason the two decoders differ; every other file must
// either decode or fail with a message. Skips when the corpora are absent.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "Vistel.h"
#include "Formats.h"
#include "corpus.h"

namespace {

// Files Pillow decodes that this decoder rejects on purpose (none so far).
const std::map<std::string, std::string> kRejected = {};

// 16-bit files: a 5- or 6-bit channel is shifted up here (31 becomes 248),
// while Pillow scales it to 0..255 (v * 255 / 31). The reference is matched
// after rescaling our output the same way.
const std::map<std::string, int> kGreenBits = {
    {"bmpsuite/g/rgb16.bmp", 5},
    {"bmpsuite/g/rgb16-565.bmp", 6},
    {"bmpsuite/g/rgb16-565pal.bmp", 6},
    {"bmpsuite/g/rgb16bfdef.bmp", 5},
    {"bmpsuite/q/rgb16faketrns.bmp", 5},
    {"bmpsuite/q/rgba16-5551.bmp", 5},
    {"bmp-extra/image-rs/Info_X1_R5_G5_B5.bmp", 5},
    {"bmp-extra/image-rs/Info_X1_R5_G5_B5_Top_Down.bmp", 5},
    {"bmp-extra/image-rs/V4_R5_G6_B5.bmp", 6},
    {"bmp-extra/image-rs/V5_A1_R5_G5_B5.bmp", 5},
};

// Files both decode but whose pixels differ, and why.
const std::map<std::string, std::string> kDiffer = {
    {"bmpsuite/b/pal8badindex.bmp",
     "indexes past the file's 101 colours: black here, Pillow's grey ramp"},
    {"bmpsuite/q/rgba32-1.bmp", "32-bit alpha mask: Pillow keeps alpha, the decoder drops it"},
    {"bmp-extra/pillow/rgb32bf-abgr.bmp", "32-bit alpha mask, as above"},
    {"bmp-extra/pillow/rgb32bf-rgba.bmp", "32-bit alpha mask, as above"},
    {"bmp-extra/pillow/hopper_rle8_row_overflow.bmp",
     "an RLE8 run past the row end ends the image here; Pillow goes on"},
};

uint8_t Rescale(uint8_t shifted, int bits)
{
    const unsigned v = shifted >> (8 - bits), top = (1u << bits) - 1;
    return (uint8_t)(v * 255 / top);
}

void RescaleLikePillow(std::vector<uint8_t>* rgba, int greenBits)
{
    for (size_t i = 0; i + 3 < rgba->size(); i += 4) {
        (*rgba)[i] = Rescale((*rgba)[i], 5);
        (*rgba)[i + 1] = Rescale((*rgba)[i + 1], greenBits);
        (*rgba)[i + 2] = Rescale((*rgba)[i + 2], 5);
    }
}

struct Tally {
    int agree = 0, differ = 0, rejected = 0, otherDecoded = 0, otherFailed = 0;
};

void CheckFile(const std::string& suite, const std::string& rel, Tally* tally)
{
    const std::string key = suite + "/" + rel;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(corpus::ReadFile(corpus::Root() + "/" + key, &bytes)) << key;
    const std::string status = corpus::Status(suite, rel);

    Vistel img;
    const bool decoded = formats::Decode(img, bytes.data(), (DWORD)bytes.size(), VISTEL_FORMAT_BMP);
    std::vector<corpus::RefFrame> ref;
    if (status != "ok" || !corpus::ReadRef(suite, rel, &ref) || ref.size() != 1) {
        // Broken or questionable: either outcome, but failures explain themselves.
        if (decoded) {
            EXPECT_FALSE(corpus::OpaqueRgba(img).empty()) << key;
            tally->otherDecoded++;
        } else {
            EXPECT_STRNE(img.GetLastError(), "") << key;
            tally->otherFailed++;
        }
        return;
    }

    if (kRejected.count(key)) {
        EXPECT_FALSE(decoded) << key << " now decodes; update the list";
        EXPECT_STRNE(img.GetLastError(), "") << key;
        tally->rejected++;
        return;
    }
    ASSERT_TRUE(decoded) << key << ": " << img.GetLastError();
    EXPECT_EQ((int)img.GetWidth(), ref[0].width) << key;
    EXPECT_EQ((int)img.GetHeight(), ref[0].height) << key;
    std::vector<uint8_t> rgba = corpus::OpaqueRgba(img);
    ASSERT_FALSE(rgba.empty()) << key;
    if (kGreenBits.count(key)) RescaleLikePillow(&rgba, kGreenBits.at(key));
    const bool same = corpus::Sha256Hex(rgba.data(), rgba.size()) == ref[0].sha256;
    if (kDiffer.count(key)) {
        EXPECT_FALSE(same) << key << " now matches; update the list";
        tally->differ++;
    } else {
        EXPECT_TRUE(same) << key << " differs from the reference";
        tally->agree++;
    }
}

void CheckSuite(const std::string& suite)
{
    if (corpus::Root().empty()) GTEST_SKIP() << "test corpora not present";
    const std::vector<std::string> files = corpus::Files(suite, {".bmp"});
    if (files.empty()) GTEST_SKIP() << suite << " not present";
    Tally t;
    for (const std::string& rel : files) CheckFile(suite, rel, &t);
    printf("%s: %d agree, %d differ (known), %d rejected (known), "
           "others: %d decoded, %d failed\n",
           suite.c_str(), t.agree, t.differ, t.rejected, t.otherDecoded, t.otherFailed);
}

}  // namespace

TEST(BmpCorpus, Bmpsuite)
{
    CheckSuite("bmpsuite");
}

TEST(BmpCorpus, BmpExtra)
{
    CheckSuite("bmp-extra");
}
