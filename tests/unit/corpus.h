// Helpers for the tests of real files: locating ../shared/testdata, reading
// files, tab-separated tables and reference hashes, SHA-256 of decoded RGBA
// bytes, and Pillow (Debian's python3-pil) as an independent decoder.
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
// The rows of a tab-separated file, without blank lines and '#' comments.
std::vector<std::vector<std::string>> ReadTable(const std::string& path);

// The lines of Root()/suite/ref/<relpath>.rgba.sha256 as words: "W H SHA"
// for a still image, "INDEX W H SHA" per frame of an animation.
std::vector<std::vector<std::string>> ReadRef(const std::string& suite, const std::string& relpath);

std::string Sha256Hex(const uint8_t* data, size_t size);

// The image's RGBA export, top row first, with alpha 255 wherever the image
// carries none (no plane, transparent index or alpha palette), as the
// references have it. Empty when the export fails.
std::vector<uint8_t> OpaqueRgba(Vistel& img);

// What Pillow makes of a file, one line per frame: "W H SHA DURATION", SHA
// over its RGBA bytes (RGB when `rgbOnly`), DURATION in ms; then "loop N"
// (-1 without a loop count), "dpi X Y" (0 0 without a resolution). Empty
// when Pillow cannot be run (which fails the running test under CI=true).
std::vector<std::string> PillowDescribe(const std::vector<uint8_t>& file, bool rgbOnly = false);

}  // namespace corpus

#endif
