// Hostile files kept under tests/data/hostile/ and listed in expect.tsv with
// what decoding each must give, as the type its name says and as unknown
// type: decompression bombs (a few hundred bytes claiming gigabytes) must be
// refused with their exact message, run-length and LZW data that would
// expand past the declared picture must give that picture ("WxH").
//
// Each file is decoded in a fresh child process, so that a decoder that does
// allocate its claim (or crashes) cannot take the test binary with it, and so
// that the child's peak address space (VmPeak) measures everything the
// decoder allocated, libpng's and libjpeg's allocations included.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "Formats.h"
#include "SafeSize.h"
#include "Vistel.h"
#include "corpus.h"

#if defined(__SANITIZE_ADDRESS__)
#define VISTEL_BOMB_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VISTEL_BOMB_ASAN 1
#endif
#endif

namespace {

const std::string kDir = VISTEL_TESTS_DATA "/hostile/";

// What the child reports through descriptor 3.
struct Outcome {
    bool exited = false;         // the child ran to its end
    char result[256] = {};       // "WxH" of a decoded picture, else the message
    long long peakGrowthKb = 0;  // VmPeak after minus before
};

long long VmPeakKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 7, "VmPeak:") == 0) return std::stoll(line.substr(7));
    return -1;
}

// The child, in a fresh process whose VmPeak before the decode is its
// start-up peak.
TEST(BombChild, DecodeFile)
{
    const char* file = getenv("VISTEL_BOMB_FILE");
    if (!file) GTEST_SKIP() << "run by the bomb test in a child process";
    std::vector<uint8_t> data;
    ASSERT_TRUE(corpus::ReadFile(file, &data));
    Outcome o;
    const long long before = VmPeakKb();
    {
        Vistel image;
        if (formats::Decode(image, data.data(), data.size(), (DWORD)atoi(getenv("VISTEL_BOMB_TYPE"))))
            snprintf(o.result, sizeof o.result, "%ux%u", image.GetWidth(), image.GetHeight());
        else
            snprintf(o.result, sizeof o.result, "%s", image.GetLastError());
    }
    o.peakGrowthKb = VmPeakKb() - before;
    o.exited = true;
    ASSERT_EQ(write(3, &o, sizeof o), (ssize_t)sizeof o);
}

Outcome DecodeInChild(const std::string& path, DWORD type)
{
    Outcome result;
    int out[2];
    if (pipe(out) != 0) return result;
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 3);
        close(out[0]);
        if (!freopen("/dev/null", "w", stdout)) _exit(126);
        setenv("VISTEL_BOMB_FILE", path.c_str(), 1);
        setenv("VISTEL_BOMB_TYPE", std::to_string(type).c_str(), 1);
        execl("/proc/self/exe", "unit_tests", "--gtest_filter=BombChild.DecodeFile", (char*)nullptr);
        _exit(127);
    }
    close(out[1]);
    if (read(out[0], &result, sizeof result) != (ssize_t)sizeof result) result = Outcome();
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) result.exited = false;
    return result;
}

TEST(Bombs, HostileFilesGiveTheirExpectedOutcome)
{
    [[maybe_unused]] const long long ceilingKb = (long long)(vssize::MaxPixels() * 4 / 1024);
    int files = 0;
    for (const std::vector<std::string>& field : corpus::ReadTable(kDir + "expect.tsv")) {
        ASSERT_EQ(field.size(), 3u) << field[0];
        const formats::Format* format = formats::ByFileName(field[0].c_str());
        ASSERT_NE(format, nullptr) << field[0];
        files++;
        // The header check (the photo match's, by which Tk sizes the photo
        // before decoding) claims the size a decode gives, and none (0 x 0,
        // or no match) for a file the decoder refuses.
        std::vector<uint8_t> data;
        ASSERT_TRUE(corpus::ReadFile(kDir + field[0], &data));
        basic_image_information claim = {};
        formats::Probe(data.data(), data.size(), &claim);
        const std::string size = std::to_string(claim.width) + "x" + std::to_string(claim.height);
        EXPECT_EQ(size, isdigit((unsigned char)field[1][0]) ? field[1] : "0x0") << field[0];
        for (DWORD type : {format->type, (DWORD)VISTEL_FORMAT_UNKNOWN}) {
            SCOPED_TRACE(field[0] + (type ? " typed" : " unknown"));
            const Outcome o = DecodeInChild(kDir + field[0], type);
            ASSERT_TRUE(o.exited) << "the decoder crashed or was killed";
            EXPECT_EQ(o.result, field[type ? 1 : 2]);
#ifndef VISTEL_BOMB_ASAN
            // The sanitizer's allocator maps its own regions; the
            // address-space peak is only meaningful without it.
            EXPECT_LT(o.peakGrowthKb, ceilingKb);
#endif
        }
    }
    EXPECT_GE(files, 16);
}

}  // namespace
