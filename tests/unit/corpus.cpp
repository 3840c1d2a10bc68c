#include "corpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

#include "Vistel.h"

namespace fs = std::filesystem;

namespace corpus {

namespace {

// Under CI the references must be there: the test asking fails (a skip
// after a failure still counts as a failure).
void FailUnderCi(const std::string& what)
{
    const char* ci = getenv("CI");
    if (ci && strcmp(ci, "true") == 0 && ::testing::UnitTest::GetInstance()->current_test_info())
        ADD_FAILURE() << "CI=true but " << what;
}

}  // namespace

std::string Root()
{
    const char* env = getenv("VISTEL_TESTDATA");
    std::string root = env && *env ? env : VISTEL_TESTDATA;
    if (fs::is_directory(root)) return root;
    FailUnderCi("the test corpora are missing: " + root);
    return "";
}

std::vector<std::string> Files(const std::string& suite, const std::vector<std::string>& exts)
{
    std::vector<std::string> out;
    std::string base = Root();
    if (base.empty()) return out;
    fs::path dir = fs::path(base) / suite;
    if (!fs::is_directory(dir)) return out;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::string rel = fs::relative(entry.path(), dir).generic_string();
        if (rel.rfind("ref/", 0) == 0) continue;
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (!exts.empty() && std::find(exts.begin(), exts.end(), ext) == exts.end()) continue;
        out.push_back(rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::vector<std::vector<std::string>> ReadTable(const std::string& path)
{
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::istringstream columns(line);
        for (std::string field; std::getline(columns, field, '\t');) fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

std::vector<std::vector<std::string>> ReadRef(const std::string& suite, const std::string& relpath)
{
    std::vector<std::vector<std::string>> lines;
    std::ifstream in(Root() + "/" + suite + "/ref/" + relpath + ".rgba.sha256");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        lines.emplace_back(std::istream_iterator<std::string>(words),
                           std::istream_iterator<std::string>());
    }
    return lines;
}

namespace {

const uint32_t K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
    0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
    0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
    0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
    0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
    0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
    0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2};

uint32_t Rotr(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

void Block(uint32_t h[8], const uint8_t* p)
{
    uint32_t w[64];
    for (int i = 0; i < 16; i++)
        w[i] = (uint32_t)p[4 * i] << 24 | (uint32_t)p[4 * i + 1] << 16 |
               (uint32_t)p[4 * i + 2] << 8 | p[4 * i + 3];
    for (int i = 16; i < 64; i++) {
        uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
    for (int i = 0; i < 64; i++) {
        uint32_t t1 = hh + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                      K[i] + w[i];
        uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        hh = g; g = f; f = e; e = d + t1; d = c; c = b; b = a; a = t1 + t2;
    }
    h[0] += a; h[1] += b; h[2] += c; h[3] += d; h[4] += e; h[5] += f; h[6] += g; h[7] += hh;
}

}  // namespace

std::string Sha256Hex(const uint8_t* data, size_t size)
{
    uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    size_t full = size / 64 * 64;
    for (size_t i = 0; i < full; i += 64) Block(h, data + i);
    uint8_t tail[128] = {0};
    size_t rest = size - full;
    if (rest) memcpy(tail, data + full, rest);
    tail[rest] = 0x80;
    size_t tailLen = rest + 9 <= 64 ? 64 : 128;
    uint64_t bits = (uint64_t)size * 8;
    for (int i = 0; i < 8; i++) tail[tailLen - 1 - i] = (uint8_t)(bits >> (8 * i));
    for (size_t i = 0; i < tailLen; i += 64) Block(h, tail + i);
    char hex[65];
    for (int i = 0; i < 8; i++) snprintf(hex + 8 * i, 9, "%08x", h[i]);
    return std::string(hex, 64);
}

std::vector<uint8_t> OpaqueRgba(Vistel& img)
{
    BYTE* buf = nullptr;
    long size = 0;
    if (!img.Encode2RGBA(buf, size)) return {};
    std::vector<uint8_t> out(buf, buf + size);
    Vistel::FreeMemory(buf);
    if (!img.AlphaIsValid() && !img.IsTransparent() && !img.AlphaPaletteIsEnabled())
        for (size_t i = 3; i < out.size(); i += 4) out[i] = 255;
    return out;
}

std::vector<std::string> PillowDescribe(const std::vector<uint8_t>& file, bool rgbOnly)
{
    static const char* script =
        "import sys, hashlib\n"
        "from PIL import Image\n"
        "im = Image.open(sys.argv[1])\n"
        "for i in range(getattr(im, 'n_frames', 1)):\n"
        "    im.seek(i)\n"
        "    px = im.convert(sys.argv[2])\n"
        "    print(px.width, px.height, hashlib.sha256(px.tobytes()).hexdigest(),\n"
        "          im.info.get('duration', 0))\n"
        "dpi = [round(v) for v in im.info.get('dpi', (0, 0))]\n"
        "print('loop', im.info.get('loop', -1), 'dpi', *dpi)\n";
    static int calls = 0;
    const char* tmp = getenv("TMPDIR");
    const std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/vistel_pillow_" +
                             std::to_string(getpid()) + "_" + std::to_string(calls++);
    std::ofstream(base + ".py") << script;
    std::ofstream(base + ".img", std::ios::binary).write((const char*)file.data(), file.size());
    // Without the sanitizer runtime a sanitized build may preload.
    const std::string cmd = "env -u LD_PRELOAD /usr/bin/python3 " + base + ".py " + base + ".img " +
                            (rgbOnly ? "RGB" : "RGBA") + " 2>/dev/null";
    std::vector<std::string> lines;
    if (FILE* pipe = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (fgets(buf, sizeof buf, pipe)) lines.emplace_back(buf, strcspn(buf, "\n"));
        if (pclose(pipe) != 0) lines.clear();
    }
    if (lines.empty()) FailUnderCi("Pillow (python3-pil) cannot be run");
    remove((base + ".py").c_str());
    remove((base + ".img").c_str());
    return lines;
}

}  // namespace corpus
