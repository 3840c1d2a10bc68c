// LZW decompressor: code reader, string table, line writer, interlacing.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
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

// Picture row y counted from the top, as indexes.
std::vector<uint8_t> TopRow(Vistel& image, long y)
{
    std::vector<uint8_t> row;
    long h = (long)image.GetHeight();
    for (long x = 0; x < (long)image.GetWidth(); x++) row.push_back(image.GetPixelIndex(x, h - 1 - y));
    return row;
}

std::vector<uint8_t> AllPixels(Vistel& image)
{
    std::vector<uint8_t> all;
    for (long y = 0; y < (long)image.GetHeight(); y++) {
        std::vector<uint8_t> row = TopRow(image, y);
        all.insert(all.end(), row.begin(), row.end());
    }
    return all;
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

TEST(GifLzw, RoundTripsAtEveryCodeSize)
{
    struct Case {
        const char* what;
        long w, h;
        int colours, minSize, runBias;
        bool clearWhenFull;
    } cases[] = {
        // Random data fills the 4096-entry table several times: codes grow
        // from 9 to 12 bits and the stream clears the table when it is full.
        {"width growth and resets", 300, 200, 256, 8, 50, true},
        {"full table without clear", 256, 256, 200, 8, 70, false},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (int size : {2, 3, 5, 7, 9})
        all.push_back({"code size", 97, 41, std::min(1 << size, 256), size, 95, true});
    unsigned seed = 1;
    for (const Case& c : all) {
        SCOPED_TRACE(testing::Message() << c.what << " " << c.minSize);
        Vistel image(c.w, c.h, 8, 2);
        std::vector<uint8_t> pixels = RandomPixels((size_t)(c.w * c.h), c.colours, seed++, c.runBias);
        LzwRun run = RunDecoder(image, Stream(c.minSize, LzwCompress(pixels, c.minSize, c.clearWhenFull)));
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(run.badCodes, 0);
        EXPECT_EQ(AllPixels(image), pixels);
    }
}

TEST(GifLzw, CodeSizeOutsideOneToElevenIsRefused)
{
    for (int bad : {0, 12}) {
        Vistel image(4, 1, 8, 2);
        image.Clear(7);
        LzwRun run = RunDecoder(image, Stream(bad, {0x00, 0x00}));
        EXPECT_EQ(run.result, GifLzwDecoder::LZW_BAD_CODE_SIZE) << bad;
        EXPECT_EQ(image.GetPixelIndex(0, 0), 7);
    }
}

// Hand-packed code streams at code size 2 (clear 4, end 5); codes widen
// to 4 bits once the table reaches 8 entries.
TEST(GifLzw, HandPackedStreams)
{
    struct Case {
        const char* what;
        std::vector<std::pair<int, int>> codes;  // code, width
        long width;
        std::vector<uint8_t> row;  // empty: not checked
        int badCodes;              // -1: not checked
        bool endsAtTerminator;  // checked when set
    } cases[] = {
        {"repeated clears, no end code", {{4, 3}, {4, 3}, {1, 3}, {2, 3}, {3, 3}, {0, 4}}, 4,
         {1, 2, 3, 0}, -1, true},
        {"string code being made (6 = 1 1)", {{4, 3}, {1, 3}, {6, 3}, {6, 3}, {5, 4}}, 5,
         {1, 1, 1, 1, 1}, 0, false},
        {"code above the next slot is counted", {{4, 3}, {1, 3}, {7, 3}, {2, 3}, {5, 3}}, 4, {}, 1,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitPacker bits;
        for (auto code : c.codes) bits.Put(code.first, code.second);
        Vistel image(c.width, 1, 8, 2);
        LzwRun run = RunDecoder(image, Stream(2, bits.Finish()));
        if (!c.row.empty()) {
            EXPECT_EQ(TopRow(image, 0), c.row);
        }
        if (c.badCodes >= 0) {
            EXPECT_EQ(run.badCodes, c.badCodes);
        }
        if (c.endsAtTerminator) {
            EXPECT_TRUE(run.terminatorRead);
        }
    }
}

TEST(GifLzw, CutShortDataKeepsDecodedRows)
{
    Vistel image(10, 10, 8, 2);
    image.Clear(9);
    std::vector<uint8_t> pixels = RandomPixels(100, 8, 4, 0);
    Bytes packed = LzwCompress(pixels, 3);
    packed.resize(packed.size() / 2);
    // Sub-blocks of 4 bytes; the input ends inside one, which is lost.
    Bytes stream = Stream(3, packed, false, 4);
    stream.resize(stream.size() - 2);
    LzwRun run = RunDecoder(image, stream);
    EXPECT_EQ(run.result, 0);
    std::vector<uint8_t> got = AllPixels(image);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 20, pixels.begin()));
    EXPECT_EQ(TopRow(image, 9), std::vector<uint8_t>(10, 9));
}

TEST(GifLzw, ReadAheadPointsPastTheConsumedData)
{
    Vistel image(3, 2, 8, 2);
    Bytes stream = Stream(2, LzwCompress({1, 2, 3, 3, 2, 1}, 2));
    size_t dataEnd = stream.size() - 1;  // the terminator is not consumed
    stream.insert(stream.end(), {0x3B, 0x55, 0x66});
    LzwRun run = RunDecoder(image, stream);
    EXPECT_FALSE(run.terminatorRead);
    EXPECT_EQ((long)stream.size() - run.readAhead, (long)dataEnd);
}

TEST(GifLzw, PacksOneAndFourBitRowsMostSignificantFirst)
{
    Vistel mono(5, 2, 1, 2);
    mono.Clear(0);
    RunDecoder(mono, Stream(2, LzwCompress({1, 0, 1, 1, 0, 0, 1, 0, 0, 1}, 2)));
    EXPECT_EQ(mono.GetBits(1)[0] & 0xF8, 0xB0);  // top row 1 0 1 1 0
    EXPECT_EQ(mono.GetBits(0)[0] & 0xF8, 0x48);  // bottom row 0 1 0 0 1

    Vistel nibbles(3, 1, 4, 2);
    RunDecoder(nibbles, Stream(4, LzwCompress({0xA, 0x5, 0xF}, 4)));
    EXPECT_EQ(nibbles.GetBits(0)[0], 0xA5);
    EXPECT_EQ(nibbles.GetBits(0)[1] & 0xF0, 0xF0);
}

TEST(GifLzw, InterlacedRowsLandInPassOrderForSmallHeights)
{
    for (int h = 1; h <= 9; h++) {
        Vistel image(2, h, 8, 2);
        image.Clear(0xEE);
        std::vector<int> order = giftest::InterlacedOrder(h);
        std::vector<uint8_t> stored;
        for (int y : order) stored.insert(stored.end(), 2, (uint8_t)y);
        LzwRun run = RunDecoder(image, Stream(8, LzwCompress(stored, 8)), true);
        EXPECT_EQ(run.result, 0);
        for (int y = 0; y < h; y++)
            EXPECT_EQ(TopRow(image, y), std::vector<uint8_t>(2, (uint8_t)y)) << "height " << h;
    }
}

TEST(GifLzw, SurplusRowsAreNotDrawn)
{
    for (bool interlaced : {false, true}) {
        Vistel image(2, 3, 8, 2);
        std::vector<uint8_t> stored = {0, 0, 1, 1, 2, 2, 7, 7, 8, 8};
        if (interlaced) stored = {0, 0, 2, 2, 1, 1, 7, 7, 8, 8};
        LzwRun run = RunDecoder(image, Stream(8, LzwCompress(stored, 8)), interlaced);
        EXPECT_EQ(run.result, GifLzwDecoder::LZW_END);
        for (int y = 0; y < 3; y++)
            EXPECT_EQ(TopRow(image, y), std::vector<uint8_t>(2, (uint8_t)y)) << interlaced;
    }
}

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
