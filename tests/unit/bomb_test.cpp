// Run-length and LZW data that would expand past the declared picture must
// stay inside it. (Headers claiming more than their data holds or the
// ceiling allows are refused through photos: tests/tcl/hostile.test.)
#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "Formats.h"
#include "Vistel.h"

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
