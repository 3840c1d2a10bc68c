// Palette indices packed into DIB rows: 1, 4 or 8 bits a pixel, the leftmost
// pixel in the most significant bits of its byte.
#ifndef VISTEL_PACKEDINDEX_H
#define VISTEL_PACKEDINDEX_H

#include "VsTypes.h"

// The index of pixel x of a row.
inline BYTE GetPackedIndex(const BYTE* row, unsigned bpp, long x)
{
    switch (bpp) {
    case 8: return row[x];
    case 4: return (BYTE)((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F);
    default: return (BYTE)((row[x >> 3] >> (7 - (x & 7))) & 1);
    }
}

// Sets the index of pixel x of a row, keeping its neighbours in the byte.
inline void SetPackedIndex(BYTE* row, unsigned bpp, long x, BYTE index)
{
    switch (bpp) {
    case 8: row[x] = index; break;
    case 4: {
        const int shift = (x & 1) ? 0 : 4;
        row[x >> 1] = (BYTE)((row[x >> 1] & ~(0x0F << shift)) | ((index & 0x0F) << shift));
        break;
    }
    default: {
        const int shift = 7 - (int)(x & 7);
        row[x >> 3] = (BYTE)((row[x >> 3] & ~(1 << shift)) | ((index & 1) << shift));
        break;
    }
    }
}

// Unpacks `width` indices of a row into one byte each.
inline void UnpackIndexRow(const BYTE* row, unsigned bpp, long width, BYTE* out)
{
    if (bpp == 8) {
        for (long x = 0; x < width; x++) out[x] = row[x];
        return;
    }
    for (long x = 0; x < width; x++) out[x] = GetPackedIndex(row, bpp, x);
}

#endif
