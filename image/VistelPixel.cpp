// Palette entries, pixel indices and colours, nearest-colour search,
// blending and line drawing.
#include <cstdlib>
#include <cstring>

#include "Vistel.h"
#include "PackedIndex.h"

namespace {

// The 16-colour standard palette, as blue, green, red.
const BYTE kStdPalette16[16][3] = {
    {0, 0, 0},       {0, 0, 128},     {0, 128, 0},     {0, 128, 128},
    {128, 0, 0},     {128, 0, 128},   {128, 128, 0},   {192, 192, 192},
    {128, 128, 128}, {0, 0, 255},     {0, 255, 0},     {0, 255, 255},
    {255, 0, 0},     {255, 0, 255},   {255, 255, 0},   {255, 255, 255}};

// The 256-colour standard palette, each entry 0xBBGGRR.
const uint32_t kStdPalette256[256] = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xc0c0c0,
    0xc0dcc0, 0xf0caa6, 0xd4f0ff, 0xb1e2ff, 0x8ed4ff, 0x6bc6ff, 0x48b8ff, 0x25aaff,
    0x00aaff, 0x0092dc, 0x007ab9, 0x006296, 0x004a73, 0x003250, 0xd4e3ff, 0xb1c7ff,
    0x8eabff, 0x6b8fff, 0x4873ff, 0x2557ff, 0x0055ff, 0x0049dc, 0x003db9, 0x003196,
    0x002573, 0x001950, 0xd4d4ff, 0xb1b1ff, 0x8e8eff, 0x6b6bff, 0x4848ff, 0x2525ff,
    0x0000fe, 0x0000dc, 0x0000b9, 0x000096, 0x000073, 0x000050, 0xe3d4ff, 0xc7b1ff,
    0xab8eff, 0x8f6bff, 0x7348ff, 0x5725ff, 0x5500ff, 0x4900dc, 0x3d00b9, 0x310096,
    0x250073, 0x190050, 0xf0d4ff, 0xe2b1ff, 0xd48eff, 0xc66bff, 0xb848ff, 0xaa25ff,
    0xaa00ff, 0x9200dc, 0x7a00b9, 0x620096, 0x4a0073, 0x320050, 0xffd4ff, 0xffb1ff,
    0xff8eff, 0xff6bff, 0xff48ff, 0xff25ff, 0xfe00fe, 0xdc00dc, 0xb900b9, 0x960096,
    0x730073, 0x500050, 0xffd4f0, 0xffb1e2, 0xff8ed4, 0xff6bc6, 0xff48b8, 0xff25aa,
    0xff00aa, 0xdc0092, 0xb9007a, 0x960062, 0x73004a, 0x500032, 0xffd4e3, 0xffb1c7,
    0xff8eab, 0xff6b8f, 0xff4873, 0xff2557, 0xff0055, 0xdc0049, 0xb9003d, 0x960031,
    0x730025, 0x500019, 0xffd4d4, 0xffb1b1, 0xff8e8e, 0xff6b6b, 0xff4848, 0xff2525,
    0xfe0000, 0xdc0000, 0xb90000, 0x960000, 0x730000, 0x500000, 0xffe3d4, 0xffc7b1,
    0xffab8e, 0xff8f6b, 0xff7348, 0xff5725, 0xff5500, 0xdc4900, 0xb93d00, 0x963100,
    0x732500, 0x501900, 0xfff0d4, 0xffe2b1, 0xffd48e, 0xffc66b, 0xffb848, 0xffaa25,
    0xffaa00, 0xdc9200, 0xb97a00, 0x966200, 0x734a00, 0x503200, 0xffffd4, 0xffffb1,
    0xffff8e, 0xffff6b, 0xffff48, 0xffff25, 0xfefe00, 0xdcdc00, 0xb9b900, 0x969600,
    0x737300, 0x505000, 0xf0ffd4, 0xe2ffb1, 0xd4ff8e, 0xc6ff6b, 0xb8ff48, 0xaaff25,
    0xaaff00, 0x92dc00, 0x7ab900, 0x629600, 0x4a7300, 0x325000, 0xe3ffd4, 0xc7ffb1,
    0xabff8e, 0x8fff6b, 0x73ff48, 0x57ff25, 0x55ff00, 0x49dc00, 0x3db900, 0x319600,
    0x257300, 0x195000, 0xd4ffd4, 0xb1ffb1, 0x8eff8e, 0x6bff6b, 0x48ff48, 0x25ff25,
    0x00fe00, 0x00dc00, 0x00b900, 0x009600, 0x007300, 0x005000, 0xd4ffe3, 0xb1ffc7,
    0x8effab, 0x6bff8f, 0x48ff73, 0x25ff57, 0x00ff55, 0x00dc49, 0x00b93d, 0x009631,
    0x007325, 0x005019, 0xd4fff0, 0xb1ffe2, 0x8effd4, 0x6bffc6, 0x48ffb8, 0x25ffaa,
    0x00ffaa, 0x00dc92, 0x00b97a, 0x009662, 0x00734a, 0x005032, 0xd4ffff, 0xb1ffff,
    0x8effff, 0x6bffff, 0x48ffff, 0x25ffff, 0x00fefe, 0x00dcdc, 0x00b9b9, 0x009696,
    0x007373, 0x005050, 0xf2f2f2, 0xe6e6e6, 0xdadada, 0xcecece, 0xc2c2c2, 0xb6b6b6,
    0xaaaaaa, 0x9e9e9e, 0x929292, 0x868686, 0x7a7a7a, 0x6e6e6e, 0x626262, 0x565656,
    0x4a4a4a, 0x3e3e3e, 0x323232, 0x262626, 0x1a1a1a, 0x0e0e0e, 0xf0fbff, 0xa4a0a0,
    0x808080, 0x0000ff, 0x00ff00, 0x00ffff, 0xff0000, 0xff00ff, 0xffff00, 0xffffff};

bool SameColor(const RGBQUAD& a, const RGBQUAD& b)
{
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed &&
           a.rgbReserved == b.rgbReserved;
}

}  // namespace

// ---------------------------------------------------------------- palette

RGBQUAD Vistel::GetPaletteColor(BYTE idx)
{
    RGBQUAD rgb = {0, 0, 0, 0};
    RGBQUAD* pal = GetPalette();
    if (!pal || idx >= head.biClrUsed) return rgb;
    rgb = pal[idx];
    if (info.nBkgndIndex >= 0) rgb.rgbReserved = (idx == info.nBkgndIndex) ? 0 : 255;
    return rgb;
}

bool Vistel::GetPaletteColor(BYTE i, BYTE* r, BYTE* g, BYTE* b)
{
    RGBQUAD* pal = GetPalette();
    if (!pal || i >= head.biClrUsed) return false;
    *r = pal[i].rgbRed;
    *g = pal[i].rgbGreen;
    *b = pal[i].rgbBlue;
    return true;
}

void Vistel::SetPaletteColor(BYTE idx, BYTE r, BYTE g, BYTE b, BYTE alpha)
{
    RGBQUAD* pal = GetPalette();
    if (!pal || idx >= head.biClrUsed) return;
    pal[idx].rgbBlue = b;
    pal[idx].rgbGreen = g;
    pal[idx].rgbRed = r;
    pal[idx].rgbReserved = alpha;
    info.last_c_isvalid = false;
}

void Vistel::SetPaletteColor(BYTE idx, RGBQUAD c)
{
    RGBQUAD* pal = GetPalette();
    if (!pal || idx >= head.biClrUsed) return;
    pal[idx] = c;
    info.last_c_isvalid = false;
}

void Vistel::SetPaletteColor(BYTE idx, COLORREF cr)
{
    SetPaletteColor(idx, RGBtoRGBQUAD(cr));
}

void Vistel::SetPalette(RGBQUAD* pPal, DWORD nColors)
{
    RGBQUAD* pal = GetPalette();
    if (!pPal || !pal) return;
    DWORD bytes = nColors * 4 < GetPaletteSize() ? nColors * 4 : GetPaletteSize();
    memcpy(pal, pPal, bytes);
    info.last_c_isvalid = false;
}

void Vistel::SetPalette(DWORD n, BYTE* r, BYTE* g, BYTE* b)
{
    RGBQUAD* pal = GetPalette();
    if (!r || !pal) return;
    if (!g) g = r;
    if (!b) b = g;
    DWORD m = n < head.biClrUsed ? n : head.biClrUsed;
    for (DWORD i = 0; i < m; i++) {
        pal[i].rgbRed = r[i];
        pal[i].rgbGreen = g[i];
        pal[i].rgbBlue = b[i];
    }
    info.last_c_isvalid = false;
}

void Vistel::SetPalette(rgb_color* rgb, DWORD nColors)
{
    RGBQUAD* pal = GetPalette();
    if (!rgb || !pal) return;
    DWORD m = nColors < head.biClrUsed ? nColors : head.biClrUsed;
    for (DWORD i = 0; i < m; i++) {
        pal[i].rgbRed = rgb[i].r;
        pal[i].rgbGreen = rgb[i].g;
        pal[i].rgbBlue = rgb[i].b;
    }
    info.last_c_isvalid = false;
}

void Vistel::SetGrayPalette()
{
    RGBQUAD* pal = GetPalette();
    if (!pal) return;
    DWORD step = 255 / (head.biClrUsed - 1);
    for (DWORD i = 0; i < head.biClrUsed; i++) {
        BYTE v = (BYTE)(i * step);
        pal[i].rgbBlue = pal[i].rgbGreen = pal[i].rgbRed = v;
    }
    info.last_c_isvalid = false;
}

void Vistel::SetStdPalette()
{
    if (!pDib) return;
    RGBQUAD* pal = GetPalette();
    if (head.biBitCount == 4) {
        for (int i = 0; i < 16; i++)
            pal[i] = {kStdPalette16[i][0], kStdPalette16[i][1], kStdPalette16[i][2], 0};
    } else if (head.biBitCount == 8) {
        for (int i = 0; i < 256; i++) {
            uint32_t v = kStdPalette256[i];
            pal[i] = {(BYTE)(v >> 16), (BYTE)(v >> 8), (BYTE)v, 0};
        }
    } else {
        return;
    }
    info.last_c_isvalid = false;
}

void Vistel::BlendPalette(COLORREF cr, long perc)
{
    RGBQUAD* pal = GetPalette();
    if (!pal) return;
    long p = perc > 100 ? 100 : perc;
    long r = cr & 0xFF, g = (cr >> 8) & 0xFF, b = (cr >> 16) & 0xFF;
    for (DWORD i = 0; i < head.biClrUsed; i++) {
        pal[i].rgbBlue = (BYTE)((pal[i].rgbBlue * (100 - p) + b * p) / 100);
        pal[i].rgbGreen = (BYTE)((pal[i].rgbGreen * (100 - p) + g * p) / 100);
        pal[i].rgbRed = (BYTE)((pal[i].rgbRed * (100 - p) + r * p) / 100);
    }
    info.last_c_isvalid = false;
}

bool Vistel::IsGrayScale()
{
    RGBQUAD* pal = GetPalette();
    if (!pal) return false;
    for (DWORD i = 0; i < head.biClrUsed; i++) {
        if (pal[i].rgbBlue != i || pal[i].rgbGreen != i || pal[i].rgbRed != i) return false;
    }
    return true;
}

bool Vistel::IsSamePalette(Vistel& img, bool bCheckAlpha)
{
    if (head.biClrUsed != img.head.biClrUsed || head.biClrUsed == 0) return false;
    for (DWORD n = 0; n < head.biClrUsed; n++) {
        RGBQUAD c1 = GetPaletteColor((BYTE)n);
        RGBQUAD c2 = img.GetPaletteColor((BYTE)n);
        if (c1.rgbRed != c2.rgbRed || c1.rgbGreen != c2.rgbGreen || c1.rgbBlue != c2.rgbBlue)
            return false;
        if (bCheckAlpha && c1.rgbReserved != c2.rgbReserved) return false;
    }
    return true;
}

void Vistel::SwapIndex(BYTE idx1, BYTE idx2)
{
    if (!GetPalette()) return;
    RGBQUAD c1 = GetPaletteColor(idx1);
    RGBQUAD c2 = GetPaletteColor(idx2);
    SetPaletteColor(idx1, c2);
    SetPaletteColor(idx2, c1);
    const long w = head.biWidth, h = head.biHeight;
    for (long y = 0; y < h; y++) {
        for (long x = 0; x < w; x++) {
            BYTE idx = BlindGetPixelIndex(x, y);
            if (idx == idx1) SetPixelIndex(x, y, idx2);
            else if (idx == idx2) SetPixelIndex(x, y, idx1);
        }
    }
}

void Vistel::SetClrImportant(DWORD ncolors)
{
    // The nearest-colour search range changes with biClrImportant.
    info.last_c_isvalid = false;
    if (ncolors == 0 || ncolors > 256) {
        head.biClrImportant = 0;
        return;
    }
    switch (head.biBitCount) {
    case 1: head.biClrImportant = ncolors < 2 ? ncolors : 2; break;
    case 4: head.biClrImportant = ncolors < 16 ? ncolors : 16; break;
    case 8: head.biClrImportant = ncolors; break;
    default: break;
    }
}

// ----------------------------------------------------------------- pixels

BYTE Vistel::GetPixelIndex(long x, long y)
{
    if (!pDib || head.biClrUsed == 0) return 0;
    if (!IsInside(x, y)) {
        if (info.nBkgndIndex != -1) return (BYTE)info.nBkgndIndex;
        return *info.pImage;
    }
    return BlindGetPixelIndex(x, y);
}

BYTE Vistel::BlindGetPixelIndex(long x, long y)
{
    if (head.biBitCount > 8) return 0;
    return GetPackedIndex(info.pImage + (size_t)y * info.dwEffWidth, head.biBitCount, x);
}

void Vistel::SetPixelIndex(long x, long y, BYTE i)
{
    if (!pDib || head.biClrUsed == 0 || !IsInside(x, y)) return;
    if (head.biBitCount > 8) return;
    SetPackedIndex(info.pImage + (size_t)y * info.dwEffWidth, head.biBitCount, x, i);
}

RGBQUAD Vistel::GetPixelColor(long x, long y, bool bGetAlpha)
{
    if (pDib && IsInside(x, y)) {
        RGBQUAD rgb;
        if (head.biClrUsed) {
            rgb = GetPaletteColor(GetPixelIndex(x, y));
        } else {
            const BYTE* p = info.pImage + (size_t)y * info.dwEffWidth + (size_t)x * 3;
            rgb.rgbBlue = p[0];
            rgb.rgbGreen = p[1];
            rgb.rgbRed = p[2];
            rgb.rgbReserved = info.nBkgndColor.rgbReserved;
        }
        if (pAlpha && bGetAlpha) rgb.rgbReserved = BlindAlphaGet(x, y);
        return rgb;
    }
    if (info.nBkgndIndex != -1) {
        if (head.biBitCount < 24) return GetPaletteColor((BYTE)(info.nBkgndIndex & 255));
        return info.nBkgndColor;
    }
    if (!pDib) return info.nBkgndColor;
    return GetPixelColor(0, 0, true);
}

RGBQUAD Vistel::BlindGetPixelColor(long x, long y)
{
    if (head.biClrUsed) return GetPaletteColor(BlindGetPixelIndex(x, y));
    const BYTE* p = info.pImage + (size_t)y * info.dwEffWidth + (size_t)x * 3;
    RGBQUAD rgb;
    rgb.rgbBlue = p[0];
    rgb.rgbGreen = p[1];
    rgb.rgbRed = p[2];
    rgb.rgbReserved = pAlpha ? BlindAlphaGet(x, y) : 0;
    return rgb;
}

BYTE Vistel::GetPixelGray(long x, long y)
{
    RGBQUAD c = GetPixelColor(x, y, true);
    return RGB2GRAY(c.rgbRed, c.rgbGreen, c.rgbBlue);
}

void Vistel::SetPixelColor(long x, long y, RGBQUAD c, bool bSetAlpha)
{
    if (!pDib || !IsInside(x, y)) return;
    if (head.biClrUsed) {
        SetPixelIndex(x, y, GetNearestIndex(c));
        return;
    }
    BYTE* p = info.pImage + (size_t)y * info.dwEffWidth + (size_t)x * 3;
    p[0] = c.rgbBlue;
    p[1] = c.rgbGreen;
    p[2] = c.rgbRed;
    if (bSetAlpha) AlphaSet(x, y, c.rgbReserved);
}

void Vistel::SetPixelColor(long x, long y, COLORREF cr)
{
    SetPixelColor(x, y, RGBtoRGBQUAD(cr), false);
}

void Vistel::BlendPixelColor(long x, long y, RGBQUAD c, float blend, bool bSetAlpha)
{
    if (!pDib || !IsInside(x, y)) return;
    int a0 = (int)(blend * 256.0f);
    int a1 = 256 - a0;
    RGBQUAD c0 = BlindGetPixelColor(x, y);
    BYTE b = (BYTE)((a0 * c.rgbBlue + a1 * c0.rgbBlue) >> 8);
    BYTE g = (BYTE)((a0 * c.rgbGreen + a1 * c0.rgbGreen) >> 8);
    BYTE r = (BYTE)((a0 * c.rgbRed + a1 * c0.rgbRed) >> 8);
    if (head.biClrUsed) {
        RGBQUAD blended = {b, g, r, c.rgbReserved};
        SetPixelIndex(x, y, GetNearestIndex(blended));
        return;
    }
    BYTE* p = info.pImage + (size_t)y * info.dwEffWidth + (size_t)x * 3;
    p[0] = b;
    p[1] = g;
    p[2] = r;
    if (bSetAlpha) AlphaSet(x, y, c.rgbReserved);
}

BYTE* Vistel::BlindGetPixelPointer(long x, long y)
{
    if (head.biClrUsed) return nullptr;
    return info.pImage + (size_t)y * info.dwEffWidth + (size_t)x * 3;
}

bool Vistel::IsTransparent(long x, long y)
{
    if (!pDib) return false;
    if (info.nBkgndIndex >= 0) {
        if (head.biClrUsed) {
            if (GetPixelIndex(x, y) == info.nBkgndIndex) return true;
        } else {
            RGBQUAD ct = info.nBkgndColor;
            RGBQUAD c = GetPixelColor(x, y, false);
            if (SameColor(c, ct)) return true;
        }
    }
    if (pAlpha) return AlphaGet(x, y) == 0;
    return false;
}

BYTE Vistel::GetNearestIndex(RGBQUAD c)
{
    RGBQUAD* pal = GetPalette();
    if (!pal) return 0;
    if (info.last_c_isvalid && SameColor(info.last_c, c)) return info.last_c_index;
    info.last_c = c;
    info.last_c_isvalid = true;

    DWORD m = head.biClrImportant ? head.biClrImportant : head.biClrUsed;
    if (m > head.biClrUsed) m = head.biClrUsed;
    long distance = 200000;
    BYTE best = 0;
    for (DWORD j = 0; j < m; j++) {
        long db = (long)pal[j].rgbBlue - c.rgbBlue;
        long dg = (long)pal[j].rgbGreen - c.rgbGreen;
        long dr = (long)pal[j].rgbRed - c.rgbRed;
        long k = db * db + dg * dg + dr * dr;
        if (k == 0) {
            best = (BYTE)j;
            break;
        }
        if (k < distance) {
            distance = k;
            best = (BYTE)j;
        }
    }
    info.last_c_index = best;
    return best;
}

void Vistel::RGBtoBGR(BYTE* buffer, int length)
{
    if (!buffer || head.biClrUsed != 0) return;
    long len = length < (long)info.dwEffWidth ? length : (long)info.dwEffWidth;
    for (long i = 0; i + 2 < len; i += 3) {
        BYTE t = buffer[i];
        buffer[i] = buffer[i + 2];
        buffer[i + 2] = t;
    }
}

void Vistel::DrawLine(int StartX, int EndX, int StartY, int EndY, RGBQUAD color,
                      bool bSetAlpha)
{
    if (!pDib) return;
    int deltax = abs(EndX - StartX);
    int deltay = abs(EndY - StartY);
    int x = StartX, y = StartY;
    int xinc1, xinc2, yinc1, yinc2, den, num, numadd, numpixels;

    int xstep = StartX > EndX ? -1 : 1;
    int ystep = StartY > EndY ? -1 : 1;
    if (deltax >= deltay) {
        // x is the major axis: it moves every step, y when num overflows.
        xinc1 = 0; yinc1 = ystep;
        xinc2 = xstep; yinc2 = 0;
        den = deltax; numadd = deltay;
    } else {
        xinc1 = xstep; yinc1 = 0;
        xinc2 = 0; yinc2 = ystep;
        den = deltay; numadd = deltax;
    }
    num = den / 2;
    numpixels = den;

    for (int curpixel = 0; curpixel <= numpixels; curpixel++) {
        num += numadd;
        SetPixelColor(x, y, color, bSetAlpha);
        if (num >= den) {
            num -= den;
            x += xinc1;
            y += yinc1;
        }
        x += xinc2;
        y += yinc2;
    }
}

void Vistel::DrawLine(int StartX, int EndX, int StartY, int EndY, COLORREF cr)
{
    DrawLine(StartX, EndX, StartY, EndY, RGBtoRGBQUAD(cr), false);
}
