// Builders for crafted GIF data in tests: an LZW code packer, a plain LZW
// compressor, and a GIF file builder.
#ifndef VISTEL_TESTS_GIF_TEST_UTIL_H
#define VISTEL_TESTS_GIF_TEST_UTIL_H

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace giftest {

typedef std::vector<uint8_t> Bytes;

// Packs codes least significant bit first, each with its own width.
class BitPacker {
public:
    void Put(int code, int width)
    {
        acc |= (uint32_t)code << nbits;
        nbits += width;
        while (nbits >= 8) {
            out.push_back((uint8_t)acc);
            acc >>= 8;
            nbits -= 8;
        }
    }
    Bytes Finish()
    {
        if (nbits > 0) out.push_back((uint8_t)acc);
        acc = 0;
        nbits = 0;
        return out;
    }

private:
    Bytes out;
    uint32_t acc = 0;
    int nbits = 0;
};

// Splits packed codes into data sub-blocks, with the empty terminator block
// when `terminate` is set.
inline Bytes SubBlocks(const Bytes& packed, bool terminate = true, size_t blockSize = 255)
{
    Bytes out;
    for (size_t i = 0; i < packed.size(); i += blockSize) {
        size_t n = std::min(blockSize, packed.size() - i);
        out.push_back((uint8_t)n);
        out.insert(out.end(), packed.begin() + i, packed.begin() + i + n);
    }
    if (terminate) out.push_back(0);
    return out;
}

// Classic GIF LZW compression of palette indexes, clearing a full table.
inline Bytes LzwCompress(const std::vector<uint8_t>& pixels, int minSize)
{
    const int clear = 1 << minSize, eoi = clear + 1;
    BitPacker bits;
    int width = minSize + 1;
    int freeEnt = clear + 2;
    std::map<std::pair<int, int>, int> table;
    auto output = [&](int code) {
        bits.Put(code, width);
        if (freeEnt > (1 << width) - 1 && width < 12) width++;
    };
    auto reset = [&]() {
        table.clear();
        freeEnt = clear + 2;
        width = minSize + 1;
    };
    output(clear);
    if (pixels.empty()) {
        output(eoi);
        return bits.Finish();
    }
    int prefix = pixels[0];
    for (size_t i = 1; i < pixels.size(); i++) {
        int c = pixels[i];
        auto it = table.find({prefix, c});
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        output(prefix);
        if (freeEnt < 4096) {
            table[{prefix, c}] = freeEnt++;
        } else {
            output(clear);
            reset();
        }
        prefix = c;
    }
    output(prefix);
    output(eoi);
    return bits.Finish();
}

struct Rgb {
    uint8_t r, g, b;
};

// Palette whose entry i is (i, 255 - i, i / 2): every index distinguishable.
inline std::vector<Rgb> RampPalette(int entries)
{
    std::vector<Rgb> pal;
    for (int i = 0; i < entries; i++) pal.push_back({(uint8_t)i, (uint8_t)(255 - i), (uint8_t)(i / 2)});
    return pal;
}

inline int TableSizeField(size_t entries)
{
    int n = 0;
    while ((size_t)(2 << n) < entries) n++;
    return n;
}

// Writes a GIF stream block by block.
class GifBuilder {
public:
    GifBuilder(int width, int height, const std::vector<Rgb>& global = {})
    {
        Append("GIF89a");
        Word(width);
        Word(height);
        if (global.empty()) {
            data.push_back(0);
        } else {
            data.push_back((uint8_t)(0x80 | 0x70 | TableSizeField(global.size())));
        }
        data.push_back(0);
        data.push_back(0);
        Table(global);
    }
    // Graphic control extension; transIndex < 0 for none.
    GifBuilder& Gce(int disposal, int transIndex = -1, int delay = 0)
    {
        uint8_t flags = (uint8_t)((disposal & 7) << 2);
        if (transIndex >= 0) flags |= 1;
        Bytes b = {0x21, 0xF9, 4, flags, (uint8_t)delay, (uint8_t)(delay >> 8),
                   (uint8_t)(transIndex < 0 ? 0 : transIndex), 0};
        data.insert(data.end(), b.begin(), b.end());
        return *this;
    }
    GifBuilder& Comment(const std::string& text)
    {
        data.push_back(0x21);
        data.push_back(0xFE);
        Bytes body(text.begin(), text.end());
        Bytes blocks = SubBlocks(body);
        data.insert(data.end(), blocks.begin(), blocks.end());
        return *this;
    }
    // The NETSCAPE2.0 loop block.
    GifBuilder& Loops(int loops)
    {
        data.insert(data.end(), {0x21, 0xFF, 11});
        Append("NETSCAPE2.0");
        data.insert(data.end(), {3, 1, (uint8_t)loops, (uint8_t)(loops >> 8), 0});
        return *this;
    }
    // A frame filled with one index, coded at minimum code size 8.
    GifBuilder& SolidFrame(int l, int t, int w, int h, uint8_t index)
    {
        data.push_back(0x2C);
        Word(l);
        Word(t);
        Word(w);
        Word(h);
        data.push_back(0);
        data.push_back(8);
        Bytes blocks = SubBlocks(LzwCompress(std::vector<uint8_t>((size_t)w * h, index), 8));
        data.insert(data.end(), blocks.begin(), blocks.end());
        return *this;
    }
    GifBuilder& Raw(const Bytes& bytes)
    {
        data.insert(data.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Bytes Finish()
    {
        data.push_back(0x3B);
        return data;
    }
    Bytes data;

private:
    void Append(const std::string& s) { data.insert(data.end(), s.begin(), s.end()); }
    void Word(int v)
    {
        data.push_back((uint8_t)v);
        data.push_back((uint8_t)(v >> 8));
    }
    void Table(const std::vector<Rgb>& table)
    {
        if (table.empty()) return;
        size_t entries = (size_t)2 << TableSizeField(table.size());
        for (size_t i = 0; i < entries; i++) {
            Rgb c = i < table.size() ? table[i] : Rgb{0, 0, 0};
            data.push_back(c.r);
            data.push_back(c.g);
            data.push_back(c.b);
        }
    }
};

}  // namespace giftest

#endif
