// Crop, Flip and Mirror: whole-row moves of pixels and alpha, no resampling.
//
// Rows are copied with memcpy where pixels start on byte boundaries; 1- and
// 4-bit crops at other offsets shift whole bytes, and 1- and 4-bit mirrors
// reverse a row bytewise through a lookup table and then realign it.
// Rows a crop writes and 1- and 4-bit rows a mirror writes have their
// padding bits and bytes zeroed.
#include "Vistel.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Bytes of a row that hold pixels; the rest of the stride is padding.
size_t UsedRowBytes(size_t width, unsigned bpp)
{
    return (width * bpp + 7) / 8;
}

// Copies `nbits` bits (most significant bit first) starting `bitOffset` bits
// into `src` to the start of `dst`, then zeroes the rest of the `dstBytes`
// bytes of dst. src has `srcBytes` readable bytes, which must cover
// bitOffset + nbits bits; nothing past them is read.
void CopyBitRun(BYTE* dst, size_t dstBytes, const BYTE* src, size_t srcBytes,
                size_t bitOffset, size_t nbits)
{
    const BYTE* s = src + bitOffset / 8;
    const size_t avail = srcBytes - bitOffset / 8;
    const unsigned shift = (unsigned)(bitOffset % 8);
    const size_t nbytes = (nbits + 7) / 8;

    if (shift == 0) {
        memcpy(dst, s, nbytes);
    } else {
        // Each output byte joins the tail of one source byte with the head
        // of the next; the last one may have no next byte inside the row.
        size_t i = 0;
        for (; i + 1 < nbytes; i++) dst[i] = (BYTE)((s[i] << shift) | (s[i + 1] >> (8 - shift)));
        BYTE next = (i + 1 < avail) ? s[i + 1] : 0;
        dst[i] = (BYTE)((s[i] << shift) | (next >> (8 - shift)));
    }
    if (nbits % 8) dst[nbytes - 1] &= (BYTE)(0xFF << (8 - nbits % 8));
    if (dstBytes > nbytes) memset(dst + nbytes, 0, dstBytes - nbytes);
}

// Byte with its pixels in reverse order: bits reversed at 1 bit per pixel,
// nibbles swapped at 4 bits per pixel.
const std::array<BYTE, 256>& PixelReverseTable(unsigned bpp)
{
    static const std::array<BYTE, 256> bits = [] {
        std::array<BYTE, 256> t{};
        for (unsigned v = 0; v < 256; v++) {
            unsigned r = 0;
            for (unsigned b = 0; b < 8; b++)
                if (v & (1u << b)) r |= 0x80u >> b;
            t[v] = (BYTE)r;
        }
        return t;
    }();
    static const std::array<BYTE, 256> nibbles = [] {
        std::array<BYTE, 256> t{};
        for (unsigned v = 0; v < 256; v++) t[v] = (BYTE)((v << 4) | (v >> 4));
        return t;
    }();
    return bpp == 1 ? bits : nibbles;
}

// Reverses the pixels of one 1- or 4-bit row in place. `scratch` holds at
// least `used` bytes. Reversing the used bytes leaves the row's trailing
// padding bits at the front; shifting them out realigns the pixels.
void MirrorPackedRow(BYTE* row, size_t stride, size_t width, unsigned bpp, BYTE* scratch)
{
    const std::array<BYTE, 256>& rev = PixelReverseTable(bpp);
    const size_t used = UsedRowBytes(width, bpp);
    for (size_t i = 0; i < used; i++) scratch[i] = rev[row[used - 1 - i]];
    const size_t padBits = used * 8 - width * bpp;
    CopyBitRun(row, stride, scratch, used, padBits, width * bpp);
}

void Mirror24Row(BYTE* row, size_t width)
{
    BYTE* l = row;
    BYTE* r = row + (width - 1) * 3;
    for (; l < r; l += 3, r -= 3) {
        std::swap(l[0], r[0]);
        std::swap(l[1], r[1]);
        std::swap(l[2], r[2]);
    }
}

// Reverses the order of `rows` rows of `stride` bytes each.
void FlipRows(BYTE* base, size_t stride, size_t rows)
{
    for (size_t lo = 0, hi = rows - 1; lo < hi; lo++, hi--)
        std::swap_ranges(base + lo * stride, base + (lo + 1) * stride, base + hi * stride);
}

// Reverses the first `width` bytes of each of `rows` rows `stride` apart.
void ReverseEachRow(BYTE* base, size_t width, size_t stride, size_t rows)
{
    for (size_t y = 0; y < rows; y++) std::reverse(base + y * stride, base + y * stride + width);
}

}  // namespace

bool Vistel::Crop(const RECT& rect, Vistel* iDst)
{
    return Crop(rect.left, rect.top, rect.right, rect.bottom, iDst);
}

bool Vistel::Crop(long left, long top, long right, long bottom, Vistel* iDst)
{
    if (!pDib) return false;

    const long width = head.biWidth;
    const long height = head.biHeight;
    long startx = std::clamp(left, 0L, width);
    long endx = std::clamp(right, 0L, width);
    // Arguments count rows from the top; the DIB counts them from the bottom.
    long starty = height - std::clamp(top, 0L, height);
    long endy = height - std::clamp(bottom, 0L, height);
    if (startx == endx || starty == endy) return false;
    if (startx > endx) std::swap(startx, endx);
    if (starty > endy) std::swap(starty, endy);

    const DWORD newWidth = (DWORD)(endx - startx);
    const DWORD newHeight = (DWORD)(endy - starty);
    Vistel tmp(newWidth, newHeight, head.biBitCount, info.dwType);
    if (!tmp.IsValid()) return false;
    if (head.biClrUsed) memcpy(tmp.GetPalette(), GetPalette(), GetPaletteSize());
    tmp.info.nBkgndIndex = info.nBkgndIndex;
    tmp.info.nBkgndColor = info.nBkgndColor;

    const unsigned bpp = head.biBitCount;
    const size_t srcUsed = UsedRowBytes((size_t)width, bpp);
    for (long y = starty; y < endy; y++) {
        CopyBitRun(tmp.GetBits((DWORD)(y - starty)), tmp.info.dwEffWidth, GetBits((DWORD)y),
                   srcUsed, (size_t)startx * bpp, (size_t)newWidth * bpp);
        info.nProgress = y * 100 / endy;
    }

    if (pAlpha) {
        tmp.pAlpha = (BYTE*)malloc((size_t)newWidth * newHeight);
        if (!tmp.pAlpha) return false;
        for (long y = starty; y < endy; y++)
            memcpy(tmp.pAlpha + (size_t)(y - starty) * newWidth,
                   pAlpha + (size_t)y * (size_t)width + (size_t)startx, newWidth);
    }

    Vistel* target = iDst ? iDst : this;
    return target->Transfer(tmp);
}

bool Vistel::Flip()
{
    if (!pDib) return false;
    const size_t height = (size_t)head.biHeight;
    FlipRows(info.pImage, info.dwEffWidth, height);
    if (pAlpha) FlipRows(pAlpha, (size_t)head.biWidth, height);
    if (pSelection) FlipRows(pSelection, (size_t)head.biWidth, height);
    return true;
}

bool Vistel::Mirror()
{
    if (!pDib) return false;
    const size_t width = (size_t)head.biWidth;
    const size_t height = (size_t)head.biHeight;
    const size_t stride = info.dwEffWidth;
    const unsigned bpp = head.biBitCount;

    switch (bpp) {
    case 8:
        ReverseEachRow(info.pImage, width, stride, height);
        break;
    case 24:
        for (size_t y = 0; y < height; y++) Mirror24Row(info.pImage + y * stride, width);
        break;
    default: {
        std::vector<BYTE> scratch;
        try {
            scratch.resize(UsedRowBytes(width, bpp));
        } catch (...) {
            return false;
        }
        for (size_t y = 0; y < height; y++)
            MirrorPackedRow(info.pImage + y * stride, stride, width, bpp, scratch.data());
        break;
    }
    }
    if (pAlpha) ReverseEachRow(pAlpha, width, width, height);
    if (pSelection) ReverseEachRow(pSelection, width, width, height);
    return true;
}
