// The BMP decoder over the public bmpsuite and bmp-extra corpora: every file
// Pillow decodes must decode here and match its RGBA hash (in Pillow's view,
// ToPillowView) unless listed below with the reason the two decoders differ;
// every other file must either decode or fail with a message. Skips when
// the corpora are absent.
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

// Files both decode but whose pixels differ, and why.
const std::map<std::string, std::string> kDiffer = {
    {"bmpsuite/b/pal8badindex.bmp",
     "indexes past the file's 101 colours: black here, Pillow's grey ramp"},
    {"bmp-extra/pillow/hopper_rle8_row_overflow.bmp",
     "an RLE8 run past the row end ends the image here; Pillow goes on"},
};

uint32_t Le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}

int MaskWidth(uint32_t mask)
{
    while (mask && !(mask & 1)) mask >>= 1;
    int width = 0;
    for (; mask; mask >>= 1) width++;
    return width;
}

// Our pixels as Pillow shows the same file, where the two differ by design.
// Both are read from the file's header (bit-field masks at byte 54, the
// alpha mask at byte 66, wherever the header holds them):
// - 16-bit channels: Pillow scales a value v of n bits as v * 255 / max, we
//   replicate its bits (within 1 of that); both keep v in the top n bits,
//   so ours convert exactly;
// - a 32-bit alpha mask over alpha bytes all 0: Pillow shows a fully
//   transparent picture, we an opaque one.
void ToPillowView(const std::vector<uint8_t>& file, const Vistel& img, std::vector<uint8_t>* rgba)
{
    if (file.size() < 70) return;
    const unsigned bpp = file[28] | file[29] << 8, compression = Le32(&file[30]);
    if (bpp == 16) {
        uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
        if (compression == 3)
            for (int c = 0; c < 3; c++) masks[c] = Le32(&file[54 + 4 * c]) & 0xFFFF;
        for (int c = 0; c < 3; c++) {
            const int n = MaskWidth(masks[c]);
            if (n == 0 || n >= 8) continue;
            for (size_t i = c; i < rgba->size(); i += 4)
                (*rgba)[i] = (uint8_t)(((*rgba)[i] >> (8 - n)) * 255 / ((1u << n) - 1));
        }
    }
    const bool alphaMask = bpp == 32 && Le32(&file[66]) != 0 &&
                           (compression == 6 || (compression == 3 && Le32(&file[14]) >= 56));
    if (alphaMask && !img.AlphaIsValid())
        for (size_t i = 3; i < rgba->size(); i += 4) (*rgba)[i] = 0;
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
    ToPillowView(bytes, img, &rgba);
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
