// Small crafted files under tests/data/crafted, listed in expect.tsv with
// what the photo match claims (the probe's size; "none" when no type takes
// the data) and what a read by content gives: the picture's size, pixels
// and, for a few, resolution, or the refusal's message. They hold what no
// corpus file has: rare header variants, run-length streams that run past
// rows and ends, and hostile counts, offsets and sizes. Every file, and
// every prefix of it, is read from an exactly sized copy, so that the
// sanitizer build sees any read past the end; a prefix must decode at the
// size the match claims for it (a claim of 0 x 0 is a refusal), or fail
// with a message and leave the image as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Formats.h"
#include "corpus.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kDir = VISTEL_TESTS_DATA "/crafted/";

std::string Size(long w, long h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

std::string Claim(const Bytes& data)
{
    basic_image_information info = {};
    return formats::Probe(data.data(), data.size(), &info) ? Size(info.width, info.height) : "none";
}

std::string Hex(const Bytes& rgba)
{
    std::string out;
    char word[10];
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
        snprintf(word, sizeof word, " %02x%02x%02x%02x", rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]);
        out += word;
    }
    return out.empty() ? out : out.substr(1);
}

void ReadPrefix(const Bytes& prefix)
{
    SCOPED_TRACE(std::to_string(prefix.size()) + " bytes");
    const std::string claim = Claim(prefix);
    Vistel img(3, 2, 24);
    img.Clear(0x5A);
    if (formats::Decode(img, prefix.data(), prefix.size(), VISTEL_FORMAT_UNKNOWN)) {
        EXPECT_GT(img.GetWidth() * img.GetHeight(), 0u);
        if (claim != "none") {
            EXPECT_EQ(Size(img.GetWidth(), img.GetHeight()), claim);
        }
    } else {
        EXPECT_STRNE(img.GetLastError(), "");
        EXPECT_EQ(Size(img.GetWidth(), img.GetHeight()), "3x2");
        EXPECT_EQ(img.GetBits(1)[8], 0x5A);
    }
}

TEST(CraftedFiles, ReadAsTheTableSays)
{
    const auto rows = corpus::ReadTable(kDir + "expect.tsv");
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        Bytes data;
        ASSERT_TRUE(corpus::ReadFile(kDir + row[0], &data));
        EXPECT_EQ(Claim(data), row[1]);
        Vistel img;
        const bool ok = formats::Decode(img, data.data(), data.size(), VISTEL_FORMAT_UNKNOWN);
        EXPECT_EQ(ok ? Size(img.GetWidth(), img.GetHeight()) : img.GetLastError(), row[2]);
        if (ok && row.size() > 3) {
            EXPECT_EQ(Hex(corpus::OpaqueRgba(img)), row[3]);
        }
        if (ok && row.size() > 4) {
            EXPECT_EQ(Size(img.GetXDPI(), img.GetYDPI()), row[4]) << "resolution";
        }
        for (size_t n = 0; n < data.size(); n++) ReadPrefix(Bytes(data.begin(), data.begin() + n));
    }
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kDir))
        files += entry.path().extension() != ".tsv";
    EXPECT_EQ(rows.size(), files) << "every file is listed once";
}

}  // namespace
