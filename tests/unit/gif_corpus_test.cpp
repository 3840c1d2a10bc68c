// Broken files of ../shared/testdata (the GIFs Pillow cannot read and every
// fuzz crasher) must fail with a message or decode cleanly. Real GIFs are
// compared frame by frame through photos in tests/tcl/gifcorpus.test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Formats.h"
#include "Vistel.h"
#include "corpus.h"

TEST(GifCorpus, BrokenFilesFailOrDecodeCleanly)
{
    if (corpus::Root().empty()) GTEST_SKIP() << "no test corpus";
    std::vector<std::string> paths;
    for (const std::string& rel : corpus::Files("gif", {".gif"}))
        if (corpus::Status("gif", rel) == "error") paths.push_back("/gif/" + rel);
    for (const std::string& rel : corpus::Files("fuzz-crashers", {}))
        paths.push_back("/fuzz-crashers/" + rel);
    ASSERT_FALSE(paths.empty());
    for (const std::string& path : paths) {
        std::vector<uint8_t> data;
        ASSERT_TRUE(corpus::ReadFile(corpus::Root() + path, &data));
        for (DWORD type : {(DWORD)VISTEL_FORMAT_GIF, (DWORD)VISTEL_FORMAT_UNKNOWN}) {
            Vistel image;
            if (formats::Decode(image, data.data(), data.size(), type)) {
                EXPECT_TRUE(image.IsValid()) << path;
            } else {
                EXPECT_STRNE(image.GetLastError(), "") << path;
            }
        }
    }
}
