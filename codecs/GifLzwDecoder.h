// LZW decompression of one GIF frame's image data into palette indices.
#ifndef VISTEL_GIFLZWDECODER_H
#define VISTEL_GIFLZWDECODER_H

#include <cstddef>
#include <cstdint>

class GifLzwDecoder {
public:
    static const int kMaxCodes = 4096;

    // Minimum code sizes a frame may state; anything else decodes to nothing.
    static bool CodeSizeIsValid(int minCodeSize) { return minCodeSize >= 1 && minCodeSize <= 11; }

    // Most pixels `dataBytes` of LZW data can stand for. A code of w bits
    // names a string of at most 2^w pixels, and w is at most 12, so a bit of
    // data yields at most 4096 / 12 pixels; no valid frame passes this.
    static uint64_t MaxPixels(uint64_t dataBytes) { return dataBytes * 8 * kMaxCodes / 12 + kMaxCodes; }

    // Decodes `size` bytes of joined data sub-blocks into at most `capacity`
    // indices, one byte each, in the order the data holds them. Decoding ends
    // at the end code, at the end of the data, when `capacity` is reached, or
    // at a code past the next free table slot (the rest of the data is taken
    // as unreadable). Returns the number of indices written.
    size_t Decode(const uint8_t* data, size_t size, int minCodeSize, uint8_t* out,
                  size_t capacity);

private:
    // Every string in the table is a run of earlier output: where it starts
    // and how long it is. Roots have length 1 and start at their first use.
    uint32_t start_[kMaxCodes];
    uint16_t length_[kMaxCodes];
};

#endif
