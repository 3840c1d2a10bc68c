#include "GifLzwDecoder.h"

#include <cstring>

namespace {

// Codes are packed least significant bit first, so eight bytes taken as a
// little-endian word give the next 64 bits whatever the host's byte order.
inline uint64_t LoadLittleEndian64(const uint8_t* p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--) v = (v << 8) | p[i];
    return v;
}

}  // namespace

size_t GifLzwDecoder::Decode(const uint8_t* data, size_t size, int minCodeSize, uint8_t* out,
                             size_t capacity)
{
    if (!CodeSizeIsValid(minCodeSize) || !out) return 0;
    // String starts are kept in 32 bits.
    if (capacity > UINT32_MAX) capacity = UINT32_MAX;

    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    int width = minCodeSize + 1;
    int nextFree = clear + 2;
    uint64_t bits = 0;
    int bitCount = 0;
    size_t in = 0;
    size_t pos = 0;
    bool havePrevious = false;
    size_t prevStart = 0;
    unsigned prevLength = 0;

    while (pos < capacity) {
        if (bitCount < width) {
            if (size - in >= 8) {
                // Tops the buffer up to at least 56 bits in one load.
                bits |= LoadLittleEndian64(data + in) << bitCount;
                in += (size_t)((63 - bitCount) >> 3);
                bitCount |= 56;
            } else {
                while (bitCount < width && in < size) {
                    bits |= (uint64_t)data[in++] << bitCount;
                    bitCount += 8;
                }
                if (bitCount < width) break;  // the data ends inside a code
            }
        }
        const int code = (int)(bits & ((1u << width) - 1));
        bits >>= width;
        bitCount -= width;

        if (code == clear) {
            width = minCodeSize + 1;
            nextFree = clear + 2;
            havePrevious = false;
            continue;
        }
        if (code == end) break;
        // A code past the next free slot, or a new string with nothing
        // before it to extend, cannot be decoded: the data ends here.
        if (code > nextFree || (code == nextFree && !havePrevious)) break;

        // The entry made by this code is the previous string followed by the
        // first pixel of this one, which lands right after it, at pos.
        if (havePrevious && nextFree < kMaxCodes) {
            start_[nextFree] = (uint32_t)prevStart;
            length_[nextFree] = (uint16_t)(prevLength + 1);
            nextFree++;
        }
        // Codes widen once the next free slot needs the wider code; at
        // code size 1 that is after the first code.
        if (nextFree >= (1 << width) && width < 12) width++;

        size_t length;
        if (code < clear) {
            out[pos] = (uint8_t)code;
            length = 1;
        } else {
            length = length_[code];
            if (length > capacity - pos) length = capacity - pos;
            const uint8_t* from = out + start_[code];
            if (from + length <= out + pos) {
                memcpy(out + pos, from, length);
            } else {
                // The string that was made by this very code overlaps its
                // own copy: byte by byte, each read is already written.
                for (size_t i = 0; i < length; i++) out[pos + i] = from[i];
            }
        }
        havePrevious = true;
        prevStart = pos;
        prevLength = (unsigned)length;
        pos += length;
    }
    return pos;
}
