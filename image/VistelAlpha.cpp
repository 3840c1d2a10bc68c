// The alpha plane (one byte per pixel, bottom-up, unpadded), the alpha
// palette queries, and the operations that split alpha out.
#include <cstdlib>
#include <cstring>

#include "Vistel.h"

#include "PixelMemory.h"

namespace {

size_t PlaneSize(DWORD width, DWORD height)
{
    return (size_t)width * (size_t)height;
}

}  // namespace

void Vistel::AlphaCreate()
{
    if (pAlpha || !pDib) return;
    size_t n = PlaneSize(GetWidth(), GetHeight());
    pAlpha = (BYTE*)AllocPixelMemory(n);
    if (pAlpha) memset(pAlpha, 255, n);
}

void Vistel::AlphaDelete()
{
    free(pAlpha);
    pAlpha = nullptr;
}

void Vistel::AlphaClear()
{
    if (pAlpha) memset(pAlpha, 0, PlaneSize(GetWidth(), GetHeight()));
}

void Vistel::AlphaSet(BYTE level)
{
    if (pAlpha) memset(pAlpha, level, PlaneSize(GetWidth(), GetHeight()));
}

void Vistel::AlphaInvert()
{
    if (!pAlpha) return;
    size_t n = PlaneSize(GetWidth(), GetHeight());
    for (size_t i = 0; i < n; i++) pAlpha[i] = (BYTE)(255 - pAlpha[i]);
}

void Vistel::AlphaSet(long x, long y, BYTE level)
{
    if (pAlpha && IsInside(x, y)) pAlpha[x + (size_t)y * head.biWidth] = level;
}

BYTE Vistel::AlphaGet(long x, long y)
{
    if (pAlpha && IsInside(x, y)) return pAlpha[x + (size_t)y * head.biWidth];
    return 0;
}

BYTE Vistel::BlindAlphaGet(long x, long y)
{
    return pAlpha[x + (size_t)y * head.biWidth];
}

BYTE* Vistel::AlphaGetPointer(long x, long y)
{
    if (pAlpha && IsInside(x, y)) return pAlpha + x + (size_t)y * head.biWidth;
    return nullptr;
}

bool Vistel::AlphaCopy(Vistel& from)
{
    if (!from.pAlpha || head.biWidth != from.head.biWidth ||
        head.biHeight != from.head.biHeight)
        return false;
    size_t n = PlaneSize(GetWidth(), GetHeight());
    if (!pAlpha) {
        pAlpha = (BYTE*)AllocPixelMemory(n);
        if (!pAlpha) return false;
    }
    memcpy(pAlpha, from.pAlpha, n);
    info.nAlphaMax = from.info.nAlphaMax;
    return true;
}

bool Vistel::AlphaSet(Vistel& from)
{
    if (!from.IsGrayScale() || head.biWidth != from.head.biWidth ||
        head.biHeight != from.head.biHeight)
        return false;
    if (!pAlpha) pAlpha = (BYTE*)AllocPixelMemory(PlaneSize(GetWidth(), GetHeight()));
    BYTE* src = from.info.pImage;
    if (!src || !pAlpha) return false;
    BYTE* dst = pAlpha;
    for (long y = 0; y < head.biHeight; y++) {
        memcpy(dst, src, head.biWidth);
        src += from.info.dwEffWidth;
        dst += head.biWidth;
    }
    return true;
}

bool Vistel::AlphaFlip()
{
    if (!pAlpha) return false;
    const size_t w = GetWidth(), h = GetHeight();
    BYTE* flipped = (BYTE*)malloc(w * h);
    if (!flipped) return false;
    for (size_t y = 0; y < h; y++) memcpy(flipped + (h - 1 - y) * w, pAlpha + y * w, w);
    free(pAlpha);
    pAlpha = flipped;
    return true;
}

bool Vistel::AlphaMirror()
{
    if (!pAlpha) return false;
    const size_t w = GetWidth(), h = GetHeight();
    BYTE* mirrored = (BYTE*)malloc(w * h);
    if (!mirrored) return false;
    for (size_t y = 0; y < h; y++) {
        const BYTE* src = pAlpha + y * w;
        BYTE* dst = mirrored + y * w + w - 1;
        for (size_t x = 0; x < w; x++) *dst-- = src[x];
    }
    free(pAlpha);
    pAlpha = mirrored;
    return true;
}

bool Vistel::AlphaPaletteIsValid()
{
    for (DWORD i = 0; i < head.biClrUsed; i++) {
        if (GetPaletteColor((BYTE)i).rgbReserved != 0) return true;
    }
    return false;
}

void Vistel::AlphaPaletteClear()
{
    for (DWORD i = 0; i < head.biClrUsed; i++) {
        RGBQUAD c = GetPaletteColor((BYTE)i);
        c.rgbReserved = 0;
        SetPaletteColor((BYTE)i, c);
    }
}

bool Vistel::AlphaSplit(Vistel* dest)
{
    if (!pAlpha || !dest) return false;
    Vistel tmp(GetWidth(), GetHeight(), 8, 0);
    if (!tmp.IsValid()) return false;
    const long w = head.biWidth;
    for (long y = 0; y < head.biHeight; y++)
        memcpy(tmp.GetBits(y), pAlpha + (size_t)y * w, w);
    tmp.SetGrayPalette();
    return dest->Transfer(tmp);
}

bool Vistel::AlphaPaletteSplit(Vistel* dest)
{
    if (!AlphaPaletteIsValid() || !dest) return false;
    Vistel tmp(GetWidth(), GetHeight(), 8, 0);
    if (!tmp.IsValid()) return false;
    for (long y = 0; y < head.biHeight; y++) {
        BYTE* row = tmp.GetBits(y);
        for (long x = 0; x < head.biWidth; x++) row[x] = GetPixelColor(x, y, true).rgbReserved;
    }
    tmp.SetGrayPalette();
    return dest->Transfer(tmp);
}
