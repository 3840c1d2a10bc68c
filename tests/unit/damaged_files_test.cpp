// Damaged real files: every file of the shared corpora, cut at a quarter,
// half and nine tenths of its length and with its header bytes scrambled,
// decoded in memory through the dispatch (as unknown type, and as the type
// its name says). Nothing may crash or overrun (the sanitizer build checks
// that); a failure always carries a message; a success has a picture, of
// the size the header check reported (for the whole files too).
#include <gtest/gtest.h>

#include <algorithm>
#include <dirent.h>
#include <string>
#include <tuple>
#include <vector>

#include "Vistel.h"
#include "Formats.h"
#include "corpus.h"

namespace {

using Bytes = std::vector<BYTE>;

std::vector<std::string> Suites()
{
    std::vector<std::string> suites;
    const std::string root = corpus::Root();
    if (root.empty()) return suites;
    if (DIR* dir = opendir(root.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name[0] != '.' && entry->d_type == DT_DIR) suites.push_back(name);
        }
        closedir(dir);
    }
    std::sort(suites.begin(), suites.end());
    return suites;
}

DWORD TypeFromName(const std::string& name)
{
    std::string ext = name.substr(name.find_last_of('.') + 1);
    for (char& c : ext) c = (char)tolower((unsigned char)c);
    if (ext == "bmp" || ext == "dib") return VISTEL_FORMAT_BMP;
    if (ext == "gif") return VISTEL_FORMAT_GIF;
    if (ext == "jpg" || ext == "jpeg") return VISTEL_FORMAT_JPG;
    if (ext == "png") return VISTEL_FORMAT_PNG;
    if (ext == "tga") return VISTEL_FORMAT_TGA;
    return VISTEL_FORMAT_UNKNOWN;
}

struct Variant {
    std::string name;
    Bytes data;
};

// The three cuts, and the file with bytes 4..35 (past every format's
// signature, inside every header) replaced by an alternating pattern of
// large values.
std::vector<Variant> Damage(const Bytes& file)
{
    std::vector<Variant> out;
    for (auto [name, num, den] : {std::tuple{"quarter", 1, 4}, {"half", 1, 2}, {"nine tenths", 9, 10}})
        out.push_back({name, Bytes(file.begin(), file.begin() + file.size() * num / den)});
    Bytes scrambled = file;
    for (size_t i = 4; i < 36 && i < scrambled.size(); i++) scrambled[i] = (i & 1) ? 0xFF : 0x7F;
    out.push_back({"scrambled header", scrambled});
    return out;
}

// One decode of a damaged copy; for an animation then its last frame,
// which composes every frame before it.
void DecodeOne(const Bytes& bytes, DWORD type)
{
    Bytes copy = bytes;
    Vistel image;
    if (!formats::Decode(image, copy.data(), (DWORD)copy.size(), type)) {
        EXPECT_STRNE(image.GetLastError(), "");
        return;
    }
    EXPECT_GT(image.GetWidth(), 0u);
    EXPECT_GT(image.GetHeight(), 0u);
    const long frames = image.GetNumFrames();
    if (frames <= 1) return;
    Vistel anim;
    anim.SetFrame(frames - 1);
    if (!formats::Decode(anim, copy.data(), (DWORD)copy.size(), type)) {
        EXPECT_STRNE(anim.GetLastError(), "");
    }
}

// The size the header check reports (the photo match's, by which Tk sizes
// the photo before any decoding) is the size the decoder gives; a claim of
// 0 x 0, for a header the decoder refuses, comes with a failing decode.
void ExpectClaimedSize(const Bytes& bytes)
{
    basic_image_information claim;
    if (!formats::Probe(bytes.data(), bytes.size(), &claim)) return;
    Vistel image;
    const bool decoded = formats::Decode(image, bytes.data(), bytes.size(), claim.format);
    if (claim.width == 0 && claim.height == 0) {
        EXPECT_FALSE(decoded) << "a picture behind a claim of no size";
    } else if (decoded) {
        EXPECT_EQ((DWORD)claim.width, image.GetWidth());
        EXPECT_EQ((DWORD)claim.height, image.GetHeight());
    }
}

class DamagedFiles : public ::testing::TestWithParam<std::string> {};

TEST_P(DamagedFiles, FailWithAMessageOrDecodeAtTheClaimedSize)
{
    if (corpus::Root().empty()) GTEST_SKIP() << "no shared test corpora";
    const std::string suite = GetParam();
    const std::vector<std::string> files = corpus::Files(suite, {});
    int decoded = 0;
    for (const std::string& rel : files) {
        Bytes file;
        if (!corpus::ReadFile(corpus::Root() + "/" + suite + "/" + rel, &file)) continue;
        const DWORD type = TypeFromName(rel);
        {
            SCOPED_TRACE(suite + "/" + rel);
            ExpectClaimedSize(file);
        }
        for (const Variant& v : Damage(file)) {
            SCOPED_TRACE(suite + "/" + rel + " (" + v.name + ")");
            DecodeOne(v.data, VISTEL_FORMAT_UNKNOWN);
            if (type != VISTEL_FORMAT_UNKNOWN) DecodeOne(v.data, type);
            ExpectClaimedSize(v.data);
            decoded++;
        }
    }
    RecordProperty("damaged_copies", decoded);
}

std::vector<std::string> SuitesOrPlaceholder()
{
    std::vector<std::string> suites = Suites();
    if (suites.empty()) suites.push_back("absent");
    return suites;
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedFiles, ::testing::ValuesIn(SuitesOrPlaceholder()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             for (char& c : name) {
                                 if (!isalnum((unsigned char)c)) c = '_';
                             }
                             return name;
                         });

}  // namespace
