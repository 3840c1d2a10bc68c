// Damaged real files: every file of the shared corpora, cut at a quarter,
// half and nine tenths of its length and with its header bytes scrambled,
// decoded in memory through the dispatch (as unknown type, and as the type
// its name says). Nothing may crash or overrun (the sanitizer build checks
// that); a failure always carries a message; a success has a picture, of
// the size the header check reported (for the whole files too).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "Formats.h"
#include "Vistel.h"
#include "corpus.h"

namespace {

using Bytes = std::vector<BYTE>;

// One decode of a damaged copy; for an animation then its last frame,
// which composes every frame before it.
void DecodeOne(const Bytes& bytes, DWORD type)
{
    Vistel image;
    if (!formats::Decode(image, bytes.data(), bytes.size(), type)) {
        EXPECT_STRNE(image.GetLastError(), "");
        return;
    }
    EXPECT_GT(image.GetWidth() * image.GetHeight(), 0u);
    if (image.GetNumFrames() <= 1) return;
    Vistel last;
    last.SetFrame(image.GetNumFrames() - 1);
    if (!formats::Decode(last, bytes.data(), bytes.size(), type)) {
        EXPECT_STRNE(last.GetLastError(), "");
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

}  // namespace

TEST(DamagedFiles, FailWithAMessageOrDecodeAtTheClaimedSize)
{
    const std::string root = corpus::Root();
    if (root.empty()) GTEST_SKIP() << "no shared test corpora";
    int damaged = 0;
    for (const auto& suite : std::filesystem::directory_iterator(root)) {
        if (!suite.is_directory()) continue;
        const std::string name = suite.path().filename().string();
        for (const std::string& rel : corpus::Files(name, {})) {
            Bytes file;
            if (!corpus::ReadFile(suite.path().string() + "/" + rel, &file)) continue;
            const formats::Format* format = formats::ByFileName(rel.c_str());
            {
                SCOPED_TRACE(name + "/" + rel);
                ExpectClaimedSize(file);
            }
            std::vector<std::pair<const char*, Bytes>> variants;
            for (auto [what, num, den] : {std::tuple{"quarter", 1, 4}, {"half", 1, 2}, {"nine tenths", 9, 10}})
                variants.push_back({what, Bytes(file.begin(), file.begin() + file.size() * num / den)});
            // Bytes 4..35 lie past every signature and inside every header.
            Bytes scrambled = file;
            for (size_t i = 4; i < 36 && i < scrambled.size(); i++) scrambled[i] = (i & 1) ? 0xFF : 0x7F;
            variants.push_back({"scrambled header", scrambled});
            for (const auto& [what, bytes] : variants) {
                SCOPED_TRACE(name + "/" + rel + " (" + what + ")");
                ExpectClaimedSize(bytes);
                DecodeOne(bytes, VISTEL_FORMAT_UNKNOWN);
                if (format) DecodeOne(bytes, format->type);
                damaged++;
            }
        }
    }
    EXPECT_GT(damaged, 3000);
}
