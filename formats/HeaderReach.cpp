#include "HeaderReach.h"

#include <cstring>

namespace formats {

namespace {

uint32_t BigEndian32(const BYTE* p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

// PNG: chunks from the signature to the first image data chunk, whose
// header is where libpng stops reading the header chunks.
size_t PngReach(const BYTE* d, size_t size)
{
    size_t pos = 8;
    while (pos + 8 <= size) {
        const uint32_t length = BigEndian32(d + pos);
        if (memcmp(d + pos + 4, "IDAT", 4) == 0 || memcmp(d + pos + 4, "IEND", 4) == 0 ||
            length > 0x7FFFFFFFu)
            return 0;
        pos += 12 + (size_t)length;
    }
    return pos + 8;
}

// Data of a first frame that is enough to fill any frame under the highest
// ceiling, 2^29 pixels, at 4,096 pixels a 12-bit code, with the sub-blocks'
// length bytes: the format check judges the frame by the data it sees.
const size_t kFirstFrameData = 200000;

// GIF: the screen and its colour table, extensions (each a chain of
// sub-blocks), then the first frame's descriptor, colour table and data.
size_t GifReach(const BYTE* d, size_t size)
{
    if (size < 13) return 13;
    size_t pos = 13 + ((d[10] & 0x80) ? (size_t)3 << ((d[10] & 7) + 1) : 0);
    while (pos < size) {
        if (d[pos] == 0x2C) {
            if (pos + 10 > size) return pos + 10;
            const BYTE flags = d[pos + 9];
            return pos + 10 + ((flags & 0x80) ? (size_t)3 << ((flags & 7) + 1) : 0) + 1 +
                   kFirstFrameData;
        }
        if (d[pos] != 0x21) return 0;
        pos += 2;
        while (pos < size && d[pos] != 0) pos += 1 + (size_t)d[pos];
        pos++;
    }
    return pos + 1;
}

bool IsFrameHeader(BYTE marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
           marker != 0xCC;
}

// JPEG: segments after the start-of-image marker, each a marker and its
// length, up to the scan header, where libjpeg stops reading the header.
size_t JpegReach(const BYTE* d, size_t size)
{
    size_t pos = 2;
    while (pos + 4 <= size) {
        if (d[pos] != 0xFF) return 0;
        const BYTE marker = d[pos + 1];
        if (marker == 0xFF) {  // fill byte
            pos++;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) return 0;
        const size_t length = ((size_t)d[pos + 2] << 8) | d[pos + 3];
        if (length < 2) return 0;
        pos += 2 + length;
        if (marker == 0xDA || (IsFrameHeader(marker) && pos > size)) return pos > size ? pos : 0;
    }
    return pos + 4;
}

}  // namespace

size_t HeaderReach(DWORD type, const BYTE* data, size_t size)
{
    size_t reach = 0;
    switch (type) {
    case VISTEL_FORMAT_PNG: reach = PngReach(data, size); break;
    case VISTEL_FORMAT_GIF: reach = GifReach(data, size); break;
    case VISTEL_FORMAT_JPG: reach = JpegReach(data, size); break;
    default: break;
    }
    return reach > size ? reach : 0;
}

}  // namespace formats
