// Colour depth and construction: images from pixel arrays, bit-field
// unpacking, depth reduction and increase, grey and negative, dithering.
#include "Vistel.h"

#include <cstring>

namespace {

// The 8-bit value of the bits `mask` selects in `w`, aligned so that the
// mask's highest bit becomes bit 7 (narrow fields keep zero low bits, wide
// ones lose their lowest bits). Defined for every mask, including 0.
inline BYTE MaskedChannel(DWORD w, DWORD mask, int top)
{
    DWORD v = w & mask;
    return (BYTE)(top >= 8 ? v >> (top - 8) : v << (8 - top));
}

// One past the highest set bit of `mask`, 0 for an empty mask.
int MaskTop(DWORD mask)
{
    int top = 0;
    while (mask) {
        top++;
        mask >>= 1;
    }
    return top;
}

}  // namespace

// Unpacks 16-bit bit-field or 32-bit pixels into this 24-bit image. The
// source may be the pixel data itself: 16-bit rows are narrower than the
// result, so they are converted from the last pixel backwards; 32-bit rows
// are wider, so they are converted from the first pixel forwards. Either
// way no result byte lands on source bytes still to be read.
void Vistel::Bitfield2RGB(BYTE* src, WORD redmask, WORD greenmask, WORD bluemask, BYTE bpp)
{
    if (!pDib || !src || head.biBitCount != 24) return;
    const long width = head.biWidth;
    const long height = head.biHeight;
    BYTE* const bits = info.pImage;

    if (bpp == 16) {
        const int rtop = MaskTop(redmask), gtop = MaskTop(greenmask), btop = MaskTop(bluemask);
        const size_t srcStride = (size_t)((width + 1) / 2) * 4;
        for (long y = height - 1; y >= 0; y--) {
            const BYTE* s = src + srcStride * y;
            BYTE* d = bits + (size_t)info.dwEffWidth * y;
            for (long x = width - 1; x >= 0; x--) {
                const DWORD w = (DWORD)s[2 * x] | ((DWORD)s[2 * x + 1] << 8);
                d[3 * x] = MaskedChannel(w, bluemask, btop);
                d[3 * x + 1] = MaskedChannel(w, greenmask, gtop);
                d[3 * x + 2] = MaskedChannel(w, redmask, rtop);
            }
        }
    } else if (bpp == 32) {
        const size_t srcStride = (size_t)width * 4;
        for (long y = 0; y < height; y++) {
            const BYTE* s = src + srcStride * y;
            BYTE* d = bits + (size_t)info.dwEffWidth * y;
            for (long x = 0; x < width; x++) {
                const BYTE b = s[4 * x], g = s[4 * x + 1], r = s[4 * x + 2];
                d[3 * x] = b;
                d[3 * x + 1] = g;
                d[3 * x + 2] = r;
            }
        }
    }
}
