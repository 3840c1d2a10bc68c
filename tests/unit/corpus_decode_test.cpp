// Every decoder input of the shared corpora (the rows of each suite's
// ref/_status.tsv), decoded by content as a photo read does and checked
// against the suite's references (Pillow 9.4's RGBA hashes) and its manifest
// tests/data/corpus/<suite>.tsv. Without a manifest row, a file Pillow
// decodes must decode, as the type its name says, to its reference (an
// animation: to its first frame), and any other must decode to a picture or
// fail with a message. The first row whose pattern matches the file's path
// overrides that with one expectation:
//   rejects        fails, with a message;
//   decodes        decodes (no reference holds its picture);
//   differs        decodes to other pixels than the reference, for the
//                  reason the row gives;
//   like FILE      decodes to the pixels FILE of the same suite decodes to
//                  (the suite's own rendering, or a twin), the colour of
//                  fully transparent pixels aside; near FILE: within 1;
//   scaled R G B   matches once each n-bit channel is widened as the
//                  reference does, v * 255 / (2^n - 1): we replicate its
//                  bits, and both keep v in the top n bits;
//   opaque         matches with alpha 0: the reference shows alpha masks
//                  over all-zero alpha bytes as transparent, we as opaque;
//   cmyk           within 1 per channel of the reference's own CMYK
//                  conversion, rebuilt here from libjpeg's samples.
// GIF compositions are checked through photos in tests/tcl/gifcorpus.test.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Formats.h"
#include "VistelJPG.h"
#include "corpus.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Decoded {
    bool ok = false;
    std::string error;
    DWORD type = 0, width = 0, height = 0;
    Bytes rgba;
};

Decoded DecodeFile(const std::string& path, bool pixels)
{
    Decoded d;
    Bytes data;
    corpus::ReadFile(path, &data);
    Vistel img;
    d.ok = formats::Decode(img, data.data(), data.size(), VISTEL_FORMAT_UNKNOWN);
    d.error = img.GetLastError();
    if (d.ok) {
        d.type = img.GetType(), d.width = img.GetWidth(), d.height = img.GetHeight();
        if (pixels) d.rgba = corpus::OpaqueRgba(img);
    }
    return d;
}

// The reference's CMYK conversion from libjpeg's raw samples: Adobe files
// hold inverted CMYK; channel = (255 - K) - (255 - K) * C / 255, with the
// reference library's rounded division.
Bytes PillowCmyk(const std::string& path)
{
    Bytes file, rgba;
    corpus::ReadFile(path, &file);
    jpeg_decompress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, file.data(), file.size());
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&c);
    const int invert = c.saw_Adobe_marker ? 255 : 0;
    Bytes row(c.output_width * 4);
    while (c.output_scanline < c.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&c, &r, 1);
        for (size_t i = 0; i < row.size(); i += 4) {
            const int k = 255 - std::abs(invert - row[i + 3]);
            for (int ch = 0; ch < 3; ch++) {
                const int t = std::abs(invert - row[i + ch]) * k + 128;
                rgba.push_back((uint8_t)(k - (((t >> 8) + t) >> 8)));
            }
            rgba.push_back(255);
        }
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return rgba;
}

int MaxDifference(const Bytes& a, const Bytes& b)
{
    if (a.size() != b.size()) return 256;
    int most = 0;
    for (size_t i = 0; i < a.size(); i++) most = std::max(most, std::abs(a[i] - b[i]));
    return most;
}

// The pixels with fully transparent ones black, as renderings show them.
Bytes Visible(Bytes rgba)
{
    for (size_t i = 0; i < rgba.size(); i += 4)
        if (rgba[i + 3] == 0) rgba[i] = rgba[i + 1] = rgba[i + 2] = 0;
    return rgba;
}

// Our pixels as the reference shows them, where the two differ by design.
void ToReferenceView(const std::string& expect, std::istringstream& words, Bytes* rgba)
{
    if (expect == "scaled") {
        for (int c = 0, n; c < 3 && words >> n; c++)
            for (size_t i = c; i < rgba->size(); i += 4)
                (*rgba)[i] = (uint8_t)(((*rgba)[i] >> (8 - n)) * 255 / ((1 << n) - 1));
    } else if (expect == "opaque") {
        for (size_t i = 3; i < rgba->size(); i += 4) (*rgba)[i] = 0;
    }
}

void CheckFile(const std::string& suite, const std::string& rel, const std::string& expect,
               std::istringstream& words)
{
    const std::string dir = corpus::Root() + "/" + suite + "/";
    const Decoded d = DecodeFile(dir + rel, expect != "either" && expect != "decodes");
    if (!d.ok) {
        EXPECT_TRUE(expect == "rejects" || expect == "either") << "fails: " << d.error;
        EXPECT_NE(d.error, "");
        return;
    }
    EXPECT_NE(expect, "rejects") << "decodes";
    EXPECT_GT(d.width * d.height, 0u);
    if (const formats::Format* f = formats::ByFileName(rel.c_str())) {
        EXPECT_EQ(d.type, f->type);
    }
    if (expect == "either" || expect == "decodes") return;
    if (expect == "like" || expect == "near") {
        std::string other;
        words >> other;
        const Decoded twin = DecodeFile(dir + other, true);
        EXPECT_LE(MaxDifference(Visible(d.rgba), Visible(twin.rgba)), expect == "near") << other;
        return;
    }
    const auto ref = corpus::ReadRef(suite, rel);
    ASSERT_FALSE(ref.empty());
    const std::vector<std::string> first(ref[0].end() - 3, ref[0].end());  // W H SHA
    EXPECT_EQ(std::to_string(d.width) + " " + std::to_string(d.height), first[0] + " " + first[1]);
    Bytes rgba = d.rgba;
    if (expect == "cmyk") {
        const Bytes theirs = PillowCmyk(dir + rel);
        ASSERT_EQ(corpus::Sha256Hex(theirs.data(), theirs.size()), first[2]);
        EXPECT_LE(MaxDifference(rgba, theirs), 1);
        return;
    }
    ToReferenceView(expect, words, &rgba);
    const bool same = corpus::Sha256Hex(rgba.data(), rgba.size()) == first[2];
    EXPECT_EQ(same, expect != "differs") << (same ? "now matches the reference" : "differs from the reference");
}

class CorpusSuite : public testing::TestWithParam<const char*> {};

TEST_P(CorpusSuite, DecodesAsTheReferenceAndManifestSay)
{
    const std::string suite = GetParam();
    if (corpus::Root().empty()) GTEST_SKIP() << "test corpora absent";
    const auto manifest = corpus::ReadTable(VISTEL_TESTS_DATA "/corpus/" + suite + ".tsv");
    const auto inputs = corpus::ReadTable(corpus::Root() + "/" + suite + "/ref/_status.tsv");
    ASSERT_FALSE(inputs.empty()) << suite;
    std::vector<int> uses(manifest.size());
    std::map<std::string, int> tally;
    for (const auto& input : inputs) {
        const std::string& rel = input[0];
        std::istringstream words;
        const auto row = std::find_if(manifest.begin(), manifest.end(), [&](const auto& r) {
            return fnmatch(r[0].c_str(), rel.c_str(), 0) == 0;
        });
        if (row != manifest.end()) {
            uses[row - manifest.begin()]++;
            words.str((*row)[1]);
        }
        std::string expect;
        if (!(words >> expect)) expect = input[1] == "ok" || input[1] == "anim" ? "reference" : "either";
        tally[expect]++;
        SCOPED_TRACE(suite + "/" + rel + ": " + expect);
        CheckFile(suite, rel, expect, words);
    }
    for (size_t i = 0; i < manifest.size(); i++)
        EXPECT_GT(uses[i], 0) << manifest[i][0] << ": matches no file of the suite";
    for (const auto& t : tally) printf("[ %s ] %s: %d\n", suite.c_str(), t.first.c_str(), t.second);
}

INSTANTIATE_TEST_SUITE_P(Suites, CorpusSuite,
                         testing::Values("pngsuite", "png-extra", "bmpsuite", "bmp-extra", "tga",
                                         "jpeg", "fuzz-crashers"),
                         [](const testing::TestParamInfo<const char*>& p) {
                             std::string name = p.param;
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });

}  // namespace
