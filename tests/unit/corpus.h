// Helpers for the corpus tests: locating ../shared/testdata, reading files
// and reference hashes, and SHA-256 of decoded RGBA bytes.
#ifndef VISTEL_TESTS_CORPUS_H
#define VISTEL_TESTS_CORPUS_H

#include <cstdint>
#include <string>
#include <vector>

class Vistel;

namespace corpus {

// Root of the shared test corpora, or "" when the folder is absent (which
// fails the running test when the environment says CI=true).
std::string Root();
// Every regular file under Root()/suite whose name ends in one of the
// extensions (lower-case, with dot; empty list = all), sorted, relative to
// the suite folder. Files under ref/ are skipped.
std::vector<std::string> Files(const std::string& suite, const std::vector<std::string>& exts);
bool ReadFile(const std::string& path, std::vector<uint8_t>* out);

// One line of a reference file: frame index (-1 for a still image), size
// and the hex SHA-256 of Pillow's RGBA bytes.
struct RefFrame {
    int index;
    int width;
    int height;
    std::string sha256;
};
// Reads Root()/suite/ref/<relpath>.rgba.sha256; false when there is none.
bool ReadRef(const std::string& suite, const std::string& relpath, std::vector<RefFrame>* out);
// The verdict column of ref/_status.tsv for relpath ("ok", "anim", "error",
// "pillow-defect"), or "" when not listed.
std::string Status(const std::string& suite, const std::string& relpath);

std::string Sha256Hex(const uint8_t* data, size_t size);

// The image's RGBA export, top row first, with alpha 255 wherever the image
// carries none (no plane, transparent index or alpha palette), as the
// references have it. Empty when the export fails.
std::vector<uint8_t> OpaqueRgba(Vistel& img);

}  // namespace corpus

#endif
