// LZW decompressor against hostile code streams: the counting walk that
// finds a frame's end stops where decoding stops, and random streams stay
// inside every buffer. What frames decode to is tested through photos
// against an independent reference (tests/tcl/gif.test).
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "GifLzwDecoder.h"
#include "gif_test_util.h"

using giftest::BitPacker;
using giftest::Bytes;
using giftest::LzwCompress;
using giftest::SubBlocks;

namespace {

struct LzwRun {
    short result = 0;
    int badCodes = 0;
    long readAhead = 0;
    bool terminatorRead = false;
};

// Decodes `stream` (code size byte, then sub-blocks) into `image`, whose
// size and depth give the frame's.
LzwRun RunDecoder(Vistel& image, const Bytes& stream, bool interlaced = false)
{
    std::unique_ptr<GifLzwDecoder> lzw(new GifLzwDecoder);
    Bytes copy = stream;
    VsMemFile file(copy.data(), (DWORD)copy.size());
    CImageIterator iter(&image);
    iter.Upset();
    lzw->BeginFrame(interlaced, (long)image.GetHeight());
    LzwRun run;
    run.result = lzw->decoder(&file, iter, (long)image.GetWidth(), run.badCodes);
    run.readAhead = lzw->ReadAhead();
    run.terminatorRead = lzw->TerminatorRead();
    return run;
}

Bytes Stream(int minSize, const Bytes& packed, bool terminate = true, size_t blockSize = 255)
{
    Bytes s = {(uint8_t)minSize};
    Bytes blocks = SubBlocks(packed, terminate, blockSize);
    s.insert(s.end(), blocks.begin(), blocks.end());
    return s;
}

std::vector<uint8_t> RandomPixels(size_t n, int colours, unsigned seed, int runBias)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> px(n);
    uint8_t last = 0;
    for (auto& p : px) {
        if ((int)(rng() % 100) >= runBias) last = (uint8_t)(rng() % colours);
        p = last;
    }
    return px;
}

}  // namespace

TEST(GifLzw, CountingWalkStopsWhereDecodingStops)
{
    // Without an image the decoder only follows string lengths; the frame
    // walk relies on it ending at the same byte and finding bad codes alike.
    auto compare = [](const Bytes& stream, long w, long h, bool interlaced, const char* what,
                      WORD bpp = 8) {
        Vistel image(w, h, bpp, 2);
        LzwRun full = RunDecoder(image, stream, interlaced);
        std::unique_ptr<GifLzwDecoder> lzw(new GifLzwDecoder);
        Bytes copy = stream;
        VsMemFile file(copy.data(), (DWORD)copy.size());
        CImageIterator rows(h);
        rows.Upset();
        lzw->BeginFrame(interlaced, h);
        int bad = 0;
        lzw->decoder(&file, rows, w, bad);
        EXPECT_EQ(bad > 0, full.badCodes > 0) << what;
        if (full.badCodes == 0) {
            EXPECT_EQ(lzw->ReadAhead(), full.readAhead) << what;
            EXPECT_EQ(lzw->TerminatorRead(), full.terminatorRead) << what;
        }
    };
    for (int minSize : {2, 5, 8}) {
        std::vector<uint8_t> px = RandomPixels(6000, 1 << minSize, (unsigned)minSize, 70);
        Bytes stream = Stream(minSize, LzwCompress(px, minSize), true, 37);
        stream.insert(stream.end(), {0x2C, 0, 0});
        compare(stream, 60, 100, false, "exact");
        compare(stream, 60, 50, true, "surplus rows");
        compare(stream, 7, 3000, false, "short data");
        compare(stream, 61, 40, false, "row ends inside strings");
    }
    // Surplus data whose bad code lies past the last row is never reached.
    BitPacker bits;
    for (int c : {4, 1, 1, 2, 2, 7, 5}) bits.Put(c, 3);
    compare(Stream(2, bits.Finish()), 2, 2, false, "bad code after the rows");
    compare(Stream(2, bits.Finish()), 2, 3, false, "bad code within the rows");

    // Random code streams, including self-referencing and out-of-range
    // codes, must end without reading or writing outside any buffer.
    std::mt19937 rng(11);
    for (int i = 0; i < 400; i++) {
        Bytes packed(1 + rng() % 3000);
        for (auto& b : packed) b = (uint8_t)rng();
        Bytes stream = Stream(2 + (int)(rng() % 8), packed, rng() % 2);
        long w = 1 + rng() % 40, h = 1 + rng() % 40;
        bool interlaced = rng() % 2;
        compare(stream, w, h, interlaced, "random", (rng() % 2) ? 8 : 4);
    }
}
