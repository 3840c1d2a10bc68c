// Decompression bombs and lying headers: files of a few hundred bytes that
// claim pictures of gigabytes must fail quickly, with a message, and without
// allocating past the library's memory ceiling; run-length and LZW data
// that would expand past the declared picture must stay inside it.
//
// Each bomb is decoded in a fresh child process, so that a decoder that
// does allocate its claim (or crashes) cannot take the test binary with it,
// and so that the child's peak address space (VmPeak) measures everything
// the decoder allocated, libpng's and libjpeg's allocations included. Times
// are printed, never asserted.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "SafeSize.h"
#include "Vistel.h"
#include "Formats.h"

#if defined(__SANITIZE_ADDRESS__)
#define VISTEL_BOMB_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VISTEL_BOMB_ASAN 1
#endif
#endif

namespace {

using Bytes = std::vector<BYTE>;

// ------------------------------------------------------------ byte builders

void Put16le(Bytes& b, unsigned v)
{
    b.push_back((BYTE)v);
    b.push_back((BYTE)(v >> 8));
}

void Put32le(Bytes& b, uint32_t v)
{
    Put16le(b, v & 0xFFFF);
    Put16le(b, v >> 16);
}

void Put32be(Bytes& b, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back((BYTE)(v >> shift));
}

// A GIF whose logical screen and single frame have the given sizes, with
// `dataBytes` bytes of LZW data (8-bit codes, all zero) in full sub-blocks.
Bytes GifBomb(unsigned screenW, unsigned screenH, unsigned frameW, unsigned frameH,
              size_t dataBytes = 510)
{
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    Put16le(b, screenW);
    Put16le(b, screenH);
    b.insert(b.end(), {0x80, 0, 0});  // two-entry global table
    b.insert(b.end(), {0, 0, 0, 255, 255, 255});
    b.push_back(0x2C);
    Put16le(b, 0);
    Put16le(b, 0);
    Put16le(b, frameW);
    Put16le(b, frameH);
    b.push_back(0);
    b.push_back(8);  // minimum code size
    while (dataBytes > 0) {
        size_t n = dataBytes < 255 ? dataBytes : 255;
        b.push_back((BYTE)n);
        b.insert(b.end(), n, 0);
        dataBytes -= n;
    }
    b.push_back(0);
    b.push_back(0x3B);
    return b;
}

// A Windows BMP with a 40-byte header; for 8 bits a grey palette, for RLE8
// a stream of maximal runs.
Bytes BmpBomb(int32_t width, int32_t height, unsigned bpp, unsigned compression)
{
    const uint32_t paletteBytes = bpp <= 8 ? (4u << bpp) : 0;
    Bytes pixels;
    if (compression == 1) {
        for (int i = 0; i < 100; i++) pixels.insert(pixels.end(), {255, 7});
        pixels.insert(pixels.end(), {0, 1});
    } else {
        pixels.assign(240, 0x5A);
    }
    Bytes b = {'B', 'M'};
    Put32le(b, 54 + paletteBytes + (uint32_t)pixels.size());
    Put32le(b, 0);
    Put32le(b, 54 + paletteBytes);
    Put32le(b, 40);
    Put32le(b, (uint32_t)width);
    Put32le(b, (uint32_t)height);
    Put16le(b, 1);
    Put16le(b, bpp);
    Put32le(b, compression);
    Put32le(b, (uint32_t)pixels.size());
    Put32le(b, 2835);
    Put32le(b, 2835);
    Put32le(b, 0);
    Put32le(b, 0);
    for (uint32_t i = 0; i < paletteBytes / 4; i++) b.insert(b.end(), {(BYTE)i, (BYTE)i, (BYTE)i, 0});
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

void PutChunk(Bytes& b, const char* type, const Bytes& data)
{
    Put32be(b, (uint32_t)data.size());
    const size_t start = b.size();
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), data.begin(), data.end());
    Put32be(b, (uint32_t)crc32(0, b.data() + start, (uInt)(b.size() - start)));
}

// An RGB PNG of the given header size whose IDAT inflates to `zeros`
// zero bytes: a few hundred bytes on disk.
Bytes PngBomb(uint32_t width, uint32_t height, size_t zeros = 1 << 20)
{
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    Put32be(ihdr, width);
    Put32be(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
    PutChunk(b, "IHDR", ihdr);
    Bytes raw(zeros, 0);
    uLongf packedSize = compressBound((uLong)raw.size());
    Bytes packed(packedSize);
    compress2(packed.data(), &packedSize, raw.data(), (uLong)raw.size(), 9);
    packed.resize(packedSize);
    PutChunk(b, "IDAT", packed);
    PutChunk(b, "IEND", {});
    return b;
}

// A TGA of the given type (2 raw, 10 run-length) and size at 24 bits,
// followed by 100 run-length packets of 128 pixels (or raw bytes).
Bytes TgaBomb(unsigned width, unsigned height, BYTE type)
{
    Bytes b = {0, 0, type, 0, 0, 0, 0, 0};
    Put16le(b, 0);
    Put16le(b, 0);
    Put16le(b, width);
    Put16le(b, height);
    b.push_back(24);
    b.push_back(0x20);
    for (int i = 0; i < 100; i++) b.insert(b.end(), {0xFF, 10, 20, 30});
    return b;
}

// A small baseline JPEG from our encoder, its frame header rewritten to
// claim width x height.
Bytes JpegBomb(unsigned width, unsigned height)
{
    Vistel image;
    image.Create(16, 16, 24, VISTEL_FORMAT_JPG);
    VsMemFile out;
    out.Open();
    if (!formats::Encode(image, &out, VISTEL_FORMAT_JPG)) return {};
    BYTE* buf = out.GetBuffer(false);
    Bytes b(buf, buf + out.Size());
    for (size_t i = 2; i + 9 < b.size(); i++) {
        if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC2)) {
            b[i + 5] = (BYTE)(height >> 8);
            b[i + 6] = (BYTE)height;
            b[i + 7] = (BYTE)(width >> 8);
            b[i + 8] = (BYTE)width;
            return b;
        }
    }
    return {};
}

// ------------------------------------------------------- isolated decoding
//
// The test binary runs itself as the child (BombChild.DecodeStdin, active
// only when VISTEL_BOMB_TYPE is set): a fresh process whose VmPeak before
// the decode is its start-up peak, so that the growth is the decoder's.

struct Outcome {
    bool exited = false;  // the child ran to its end
    bool ok = false;      // Decode returned true
    long width = 0, height = 0;
    char message[256] = {};
    long long peakGrowthKb = 0;  // VmPeak after minus before
    double ms = 0;
};

const int kOutcomeFd = 3;

long long VmPeakKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 7, "VmPeak:") == 0) return std::stoll(line.substr(7));
    }
    return -1;
}

TEST(BombChild, DecodeStdin)
{
    const char* type = getenv("VISTEL_BOMB_TYPE");
    if (!type) GTEST_SKIP() << "run by the bomb tests in a child process";
    Bytes data;
    BYTE chunk[4096];
    for (ssize_t n; (n = read(0, chunk, sizeof chunk)) > 0;) data.insert(data.end(), chunk, chunk + n);
    Outcome o;
    const long long before = VmPeakKb();
    const auto start = std::chrono::steady_clock::now();
    {
        Vistel image;
        o.ok = formats::Decode(image, data.data(), (DWORD)data.size(), (DWORD)atoi(type));
        o.width = (long)image.GetWidth();
        o.height = (long)image.GetHeight();
        snprintf(o.message, sizeof o.message, "%s", image.GetLastError());
    }
    const auto end = std::chrono::steady_clock::now();
    o.peakGrowthKb = VmPeakKb() - before;
    o.ms = std::chrono::duration<double, std::milli>(end - start).count();
    o.exited = true;
    ASSERT_EQ(write(kOutcomeFd, &o, sizeof o), (ssize_t)sizeof o);
}

Outcome DecodeInChild(const Bytes& data, DWORD type)
{
    Outcome result;
    int in[2], out[2];
    if (pipe(in) != 0) return result;
    if (pipe(out) != 0) return result;
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], kOutcomeFd);
        for (int fd : {in[0], in[1], out[0], out[1]}) {
            if (fd != kOutcomeFd) close(fd);
        }
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        const std::string typeText = std::to_string(type);
        setenv("VISTEL_BOMB_TYPE", typeText.c_str(), 1);
        execl("/proc/self/exe", "unit_tests", "--gtest_filter=BombChild.DecodeStdin",
              (char*)nullptr);
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    // The bombs are a few KB: the pipe holds them whole.
    ssize_t sent = write(in[1], data.data(), data.size());
    close(in[1]);
    Outcome received;
    if (sent == (ssize_t)data.size() &&
        read(out[0], &received, sizeof received) == (ssize_t)sizeof received)
        result = received;
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) result.exited = false;
    return result;
}

struct Bomb {
    const char* name;
    Bytes data;
    DWORD type;
    // What the format's own decoder says, named by the dispatch.
    const char* message;
};

// The ceiling's own message for claims that are well-formed but too big;
// the codecs' messages for headers that are invalid or for files that
// cannot hold the pixels they announce.
const char* const kCeiling = vssize::kTooLarge;

std::vector<Bomb> AllBombs()
{
    return {
        {"gif_screen_65535", GifBomb(65535, 65535, 65535, 65535), VISTEL_FORMAT_GIF, kCeiling},
        {"gif_small_screen_huge_frame", GifBomb(16, 16, 65535, 65535), VISTEL_FORMAT_GIF,
         kCeiling},
        {"gif_huge_screen_small_frame", GifBomb(65535, 65535, 4, 4), VISTEL_FORMAT_GIF, kCeiling},
        {"bmp_24_100000", BmpBomb(100000, 100000, 24, 0), VISTEL_FORMAT_BMP,
         "BMP dimensions too large"},
        {"bmp_24_100000_topdown", BmpBomb(100000, -100000, 24, 0), VISTEL_FORMAT_BMP,
         "BMP dimensions too large"},
        {"bmp_rle8_100000", BmpBomb(100000, 100000, 8, 1), VISTEL_FORMAT_BMP,
         "BMP dimensions too large"},
        // The PNG standard limits both sizes to 2^31 - 1; libpng refuses
        // more than a million pixels a side by default.
        {"png_width_2p31", PngBomb(0x80000000u, 1), VISTEL_FORMAT_PNG,
         "PNG unsigned integer out of range"},
        {"png_2p31m1_square", PngBomb(0x7FFFFFFFu, 0x7FFFFFFFu), VISTEL_FORMAT_PNG,
         "Invalid IHDR data"},
        {"png_65535_square", PngBomb(65535, 65535), VISTEL_FORMAT_PNG, kCeiling},
        // Past the ceiling, and even at one run-length packet per 128
        // pixels they would need 134 MB of data.
        {"tga_rle_65535", TgaBomb(65535, 65535, 10), VISTEL_FORMAT_TGA, "TGA dimensions too large"},
        {"tga_raw_65535", TgaBomb(65535, 65535, 2), VISTEL_FORMAT_TGA, "TGA dimensions too large"},
        {"jpeg_65500", JpegBomb(65500, 65500), VISTEL_FORMAT_JPG, kCeiling},
    };
}

// Every bomb, decoded as its own type and as unknown type: a clean, quick
// failure with the expected message, within the memory ceiling.
TEST(Bombs, FailCleanlyWithinTheCeiling)
{
    [[maybe_unused]] const long long ceilingKb = (long long)(vssize::MaxPixels() * 4 / 1024);
    long long largestKb = 0;
    for (const Bomb& bomb : AllBombs()) {
        ASSERT_FALSE(bomb.data.empty()) << bomb.name;
        EXPECT_LT(bomb.data.size(), 4096u) << bomb.name;
        for (DWORD type : {bomb.type, (DWORD)VISTEL_FORMAT_UNKNOWN}) {
            SCOPED_TRACE(std::string(bomb.name) + (type ? " typed" : " unknown"));
            const Outcome o = DecodeInChild(bomb.data, type);
            ASSERT_TRUE(o.exited) << "the decoder crashed or was killed";
            EXPECT_FALSE(o.ok) << o.width << "x" << o.height;
            // TGA has no signature: data whose header it refuses is no TGA.
            const formats::Format* format = formats::ByType(bomb.type);
            std::string expected = bomb.message;
            if (expected.find(format->name) == std::string::npos)
                expected = std::string(format->name) + ": " + expected;
            if (!type && !format->signature) expected = "unknown image format";
            EXPECT_EQ(o.message, expected);
            printf("[ bomb     ] %-28s %-7s %8.2f ms  peak +%lld KB  \"%s\"\n", bomb.name,
                   type ? "typed" : "unknown", o.ms, o.peakGrowthKb, o.message);
            if (o.peakGrowthKb > largestKb) largestKb = o.peakGrowthKb;
#ifndef VISTEL_BOMB_ASAN
            // The sanitizer's allocator maps its own regions; the
            // address-space peak is only meaningful without it.
            EXPECT_LT(o.peakGrowthKb, ceilingKb);
#endif
        }
    }
    printf("[ bomb     ] largest address-space growth: %lld KB\n", largestKb);
    RecordProperty("largest_peak_growth_kb", std::to_string(largestKb));
}

// ------------------------------------------------ expansion past the picture

// Decodes in process (the sanitizer build sees every access); a success
// keeps the declared size, a failure carries a message.
void ExpectStaysInside(const Bytes& data, DWORD type, DWORD width, DWORD height)
{
    Bytes copy = data;
    Vistel image;
    if (formats::Decode(image, copy.data(), (DWORD)copy.size(), type)) {
        EXPECT_EQ(image.GetWidth(), width);
        EXPECT_EQ(image.GetHeight(), height);
    } else {
        EXPECT_STRNE(image.GetLastError(), "");
    }
}

TEST(Bombs, ExpansionStaysInsideTheDeclaredPicture)
{
    {
        SCOPED_TRACE("GIF: 60 KB of LZW data for a 4x4 frame");
        ExpectStaysInside(GifBomb(4, 4, 4, 4, 60000), VISTEL_FORMAT_GIF, 4, 4);
    }
    {
        SCOPED_TRACE("TGA: 12800 run-length pixels for 5x3");
        ExpectStaysInside(TgaBomb(5, 3, 10), VISTEL_FORMAT_TGA, 5, 3);
    }
    {
        SCOPED_TRACE("BMP: runs of 255 pixels in a 5x3 RLE8 picture");
        ExpectStaysInside(BmpBomb(5, 3, 8, 1), VISTEL_FORMAT_BMP, 5, 3);
    }
    {
        SCOPED_TRACE("PNG: 1 MB of inflated rows for 5x3");
        ExpectStaysInside(PngBomb(5, 3), VISTEL_FORMAT_PNG, 5, 3);
    }
}

}  // namespace
