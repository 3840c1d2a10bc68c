// Colour depth and construction: images from pixel arrays, bit-field
// unpacking, depth reduction and increase, grey and negative, dithering.
#include "Vistel.h"
#include "PackedIndex.h"

#include "BitField.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

// Unpacks 16-bit bit-field or 32-bit pixels into this 24-bit image; 16-bit
// channels are widened as BitField does, so that white stays white. The
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
        const BitField red(redmask), green(greenmask), blue(bluemask);
        const size_t srcStride = (size_t)((width + 1) / 2) * 4;
        for (long y = height - 1; y >= 0; y--) {
            const BYTE* s = src + srcStride * y;
            BYTE* d = bits + (size_t)info.dwEffWidth * y;
            for (long x = width - 1; x >= 0; x--) {
                const DWORD w = (DWORD)s[2 * x] | ((DWORD)s[2 * x + 1] << 8);
                d[3 * x] = blue.Extract(w);
                d[3 * x + 1] = green.Extract(w);
                d[3 * x + 2] = red.Extract(w);
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

namespace {

// A work image that starts with its owner's info block.
class WorkImage : public Vistel {
public:
    explicit WorkImage(const Vistel& owner) { CopyInfo(owner); }
};

inline BYTE Clamp255(long v)
{
    return (BYTE)(v < 0 ? 0 : v > 255 ? 255 : v);
}

inline BYTE Gray(const RGBQUAD& c)
{
    return Vistel::RGB2GRAY(c.rgbRed, c.rgbGreen, c.rgbBlue);
}

// Reports progress before row y and tells whether the loop may go on.
bool NextRow(Vistel& img, Vistel& work, long y)
{
    const long p = (long)((int64_t)y * 100 / (int64_t)img.GetHeight());
    img.SetProgress(p);
    work.SetProgress(p);
    return img.GetEscape() == 0;
}

// Ordered-dither matrix of method 1 and threshold matrix of method 7.
const BYTE kDitherMatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
const BYTE kBayerThreshold[4][4] = {
    {0, 192, 48, 240}, {128, 64, 176, 112}, {32, 224, 16, 208}, {160, 96, 144, 80}};

// One neighbour of an error-diffusion kernel: offsets and weight.
struct DiffusionTap {
    int dx, dy, weight;
};
struct DiffusionKernel {
    int divisor;
    int taps;
    DiffusionTap tap[12];
};

// Kernels of the error-diffusion dither methods, neighbours in update order.
const DiffusionKernel kFloydSteinberg = {16, 4, {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}};
const DiffusionKernel kBurkes = {
    32, 7, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}};
const DiffusionKernel kStucki = {42, 12, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8},
                                          {1, 1, 4}, {2, 1, 2}, {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4},
                                          {1, 2, 2}, {2, 2, 1}}};
const DiffusionKernel kJarvis = {48, 12, {{1, 0, 7}, {2, 0, 5}, {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7},
                                          {1, 1, 5}, {2, 1, 3}, {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5},
                                          {1, 2, 3}, {2, 2, 1}}};
const DiffusionKernel kSierra = {32, 10, {{1, 0, 5}, {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5},
                                          {1, 1, 4}, {2, 1, 2}, {-1, 2, 2}, {0, 2, 3}, {1, 2, 2}}};
const DiffusionKernel kStevensonArce = {200, 12, {{2, 0, 32}, {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30},
                                                  {3, 1, 16}, {-2, 2, 12}, {0, 2, 26}, {2, 2, 12},
                                                  {-3, 3, 5}, {-1, 3, 12}, {1, 3, 12}, {3, 3, 5}}};

const DiffusionKernel& KernelOf(long method)
{
    switch (method) {
    case 2: return kBurkes;
    case 3: return kStucki;
    case 4: return kJarvis;
    case 5: return kSierra;
    case 6: return kStevensonArce;
    default: return kFloydSteinberg;
    }
}

// Fills `tmp` from the rows of a pixel array; rowOf(r) gives array row r
// (null for a missing row), and the array is top-down when `flip`. At most
// `bytesPerLine` bytes of each row are read; image bytes that no array byte
// covers are zero. 32-bit rows are blue, green, red, alpha.
template <class RowOf>
bool BuildFromRows(Vistel& tmp, RowOf rowOf, DWORD width, DWORD height, DWORD bpp,
                   DWORD bytesPerLine, bool flip)
{
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
    if (!tmp.Create(width, height, bpp, 0)) return false;
    if (bpp < 24) tmp.SetGrayPalette();
    if (bpp == 32) {
        tmp.AlphaCreate();
        if (!tmp.AlphaIsValid()) return false;
    }
    const size_t eff = tmp.GetEffWidth();
    for (DWORD r = 0; r < height; r++) {
        const BYTE* src = rowOf(r);
        const DWORD y = flip ? height - 1 - r : r;
        BYTE* dst = tmp.GetBits(y);
        size_t filled;
        if (bpp == 32) {
            const size_t n = src ? std::min<size_t>(width, bytesPerLine / 4) : 0;
            BYTE* alpha = tmp.AlphaGetPointer(0, (long)y);
            for (size_t x = 0; x < n; x++) {
                dst[3 * x] = src[4 * x];
                dst[3 * x + 1] = src[4 * x + 1];
                dst[3 * x + 2] = src[4 * x + 2];
                alpha[x] = src[4 * x + 3];
            }
            filled = 3 * n;
        } else {
            filled = src ? std::min<size_t>(eff, bytesPerLine) : 0;
            if (filled) memcpy(dst, src, filled);
        }
        memset(dst + filled, 0, eff - filled);
    }
    return true;
}

// Adds weight/16 of the error (eb, eg, er) to a 24-bit pixel, each term
// truncated toward zero and each sum clamped.
inline void AddError(BYTE* p, long eb, long eg, long er, long weight)
{
    p[0] = Clamp255(p[0] + eb * weight / 16);
    p[1] = Clamp255(p[1] + eg * weight / 16);
    p[2] = Clamp255(p[2] + er * weight / 16);
}

// Nearest palette entry of an indexed image, answering exactly as
// GetNearestIndex (least squared distance over blue, green and red, among
// the first biClrImportant entries when set, ties to the lower index) for
// the long runs of lookups of a whole-image conversion. The entries are
// sorted by green and searched outwards from the colour's green until the
// green difference alone exceeds the best distance; answers are memoised
// per exact colour in a direct-mapped table.
class NearestColour {
public:
    explicit NearestColour(Vistel& img)
        : keys_(new (std::nothrow) uint32_t[kSlots]()), answers_(new (std::nothrow) BYTE[kSlots])
    {
        const RGBQUAD* pal = img.GetPalette();
        DWORD n = img.GetNumColors();
        if (img.GetClrImportant()) n = std::min(n, img.GetClrImportant());
        count_ = pal ? (int)std::min<DWORD>(n, 256) : 0;
        for (int j = 0; j < count_; j++)
            byGreen_[j] = {pal[j].rgbGreen, pal[j].rgbBlue, pal[j].rgbRed, (BYTE)j};
        std::stable_sort(byGreen_, byGreen_ + count_,
                         [](const Entry& a, const Entry& b) { return a.g < b.g; });
    }

    BYTE Find(BYTE b, BYTE g, BYTE r)
    {
        if (!keys_ || !answers_) return Search(b, g, r);
        const uint32_t key = (uint32_t)b | ((uint32_t)g << 8) | ((uint32_t)r << 16) | kFilled;
        const uint32_t slot = (key * 2654435761u) >> (32 - kSlotBits);
        if (keys_[slot] != key) {
            keys_[slot] = key;
            answers_[slot] = Search(b, g, r);
        }
        return answers_[slot];
    }

private:
    struct Entry {
        BYTE g, b, r, index;
    };
    static constexpr int kSlotBits = 15;
    static constexpr uint32_t kSlots = 1u << kSlotBits;
    static constexpr uint32_t kFilled = 1u << 24;

    // Considers one entry; false once its green difference alone is beyond
    // the best distance, which ends the walk in that direction.
    bool Try(const Entry& e, BYTE b, BYTE g, BYTE r, long* best, int* index) const
    {
        const long dg = (long)e.g - g;
        long d = dg * dg;
        if (d > *best) return false;
        const long db = (long)e.b - b, dr = (long)e.r - r;
        d += db * db + dr * dr;
        if (d < *best || (d == *best && e.index < *index)) {
            *best = d;
            *index = e.index;
        }
        return true;
    }

    BYTE Search(BYTE b, BYTE g, BYTE r) const
    {
        long best = 200000;
        int index = 0;
        const Entry* mid = std::lower_bound(byGreen_, byGreen_ + count_, g,
                                            [](const Entry& e, BYTE v) { return e.g < v; });
        const Entry* up = mid;
        const Entry* down = mid;
        bool goUp = up < byGreen_ + count_, goDown = down > byGreen_;
        while (goUp || goDown) {
            if (goUp) {
                goUp = Try(*up, b, g, r, &best, &index) && ++up < byGreen_ + count_;
            }
            if (goDown) {
                --down;
                goDown = Try(*down, b, g, r, &best, &index) && down > byGreen_;
            }
        }
        return (BYTE)index;
    }

    std::unique_ptr<uint32_t[]> keys_;
    std::unique_ptr<BYTE[]> answers_;
    Entry byGreen_[256];
    int count_ = 0;
};

// Maps every pixel of `src` to the nearest colour of the palette of the
// indexed image `dst`.
void MapToPalette(Vistel& src, Vistel& dst)
{
    const long w = (long)src.GetWidth(), h = (long)src.GetHeight();
    const WORD sbpp = src.GetBpp(), dbpp = dst.GetBpp();
    BYTE map[256] = {0};
    if (const RGBQUAD* spal = src.GetPalette()) {
        // An indexed source has at most 256 colours: look each up once.
        for (DWORD i = 0; i < src.GetNumColors(); i++) {
            RGBQUAD c = spal[i];
            c.rgbReserved = 0;
            map[i] = dst.GetNearestIndex(c);
        }
    }
    NearestColour nearest(dst);
    for (long y = 0; y < h; y++) {
        if (!NextRow(src, dst, y)) return;
        const BYTE* in = src.GetBits((DWORD)y);
        BYTE* out = dst.GetBits((DWORD)y);
        if (sbpp == 24) {
            for (long x = 0; x < w; x++, in += 3)
                SetPackedIndex(out, dbpp, x, nearest.Find(in[0], in[1], in[2]));
        } else {
            for (long x = 0; x < w; x++) SetPackedIndex(out, dbpp, x, map[GetPackedIndex(in, sbpp, x)]);
        }
    }
}

// Maps the 24-bit `src` to the palette of `dst`, spreading each pixel's
// error over the source's unvisited neighbours with weights 7 (right),
// 2, 4, 1 (below left, below, below right) in sixteenths. `src` is
// modified as it is read.
void DiffuseTrueColor(Vistel& src, Vistel& dst)
{
    const long w = (long)src.GetWidth(), h = (long)src.GetHeight();
    const WORD dbpp = dst.GetBpp();
    const RGBQUAD* pal = dst.GetPalette();
    NearestColour nearest(dst);
    for (long y = 0; y < h; y++) {
        if (!NextRow(src, dst, y)) return;
        BYTE* row = src.GetBits((DWORD)y);
        BYTE* below = y + 1 < h ? src.GetBits((DWORD)(y + 1)) : nullptr;
        BYTE* out = dst.GetBits((DWORD)y);
        for (long x = 0; x < w; x++) {
            BYTE* p = row + 3 * x;
            const BYTE idx = nearest.Find(p[0], p[1], p[2]);
            SetPackedIndex(out, dbpp, x, idx);
            const long eb = (long)p[0] - pal[idx].rgbBlue;
            const long eg = (long)p[1] - pal[idx].rgbGreen;
            const long er = (long)p[2] - pal[idx].rgbRed;
            if (x + 1 < w) AddError(p + 3, eb, eg, er, 7);
            if (below) {
                BYTE* q = below + 3 * x;
                if (x > 0) AddError(q - 3, eb, eg, er, 2);
                AddError(q, eb, eg, er, 4);
                if (x + 1 < w) AddError(q + 3, eb, eg, er, 1);
            }
        }
    }
}

// The same diffusion for an indexed source, pixel by pixel through the
// colour accessors: each corrected neighbour goes back into the source as
// its own nearest palette colour.
void DiffuseIndexed(Vistel& src, Vistel& dst)
{
    static const struct {
        int dx, dy, weight;
    } taps[4] = {{1, 0, 7}, {-1, 1, 2}, {0, 1, 4}, {1, 1, 1}};
    const long w = (long)src.GetWidth(), h = (long)src.GetHeight();
    for (long y = 0; y < h; y++) {
        if (!NextRow(src, dst, y)) return;
        for (long x = 0; x < w; x++) {
            const RGBQUAD c = src.GetPixelColor(x, y, true);
            dst.SetPixelColor(x, y, c, false);
            const RGBQUAD q = dst.GetPixelColor(x, y, true);
            const long eb = (long)c.rgbBlue - q.rgbBlue;
            const long eg = (long)c.rgbGreen - q.rgbGreen;
            const long er = (long)c.rgbRed - q.rgbRed;
            for (const auto& t : taps) {
                const long nx = x + t.dx, ny = y + t.dy;
                if (!src.IsInside(nx, ny)) continue;
                RGBQUAD n = src.GetPixelColor(nx, ny, true);
                n.rgbBlue = Clamp255(n.rgbBlue + eb * t.weight / 16);
                n.rgbGreen = Clamp255(n.rgbGreen + eg * t.weight / 16);
                n.rgbRed = Clamp255(n.rgbRed + er * t.weight / 16);
                src.SetPixelColor(nx, ny, n, false);
            }
        }
    }
}

// Grey level of every pixel of `img` as GrayScale computes it, one byte per
// pixel, bottom row first; `levels` maps palette indices to grey levels.
void GrayLevels(Vistel& img, const BYTE levels[256], BYTE* out)
{
    const long w = (long)img.GetWidth(), h = (long)img.GetHeight();
    const WORD bpp = img.GetBpp();
    for (long y = 0; y < h; y++, out += w) {
        const BYTE* in = img.GetBits((DWORD)y);
        if (bpp == 24) {
            for (long x = 0; x < w; x++, in += 3) out[x] = Vistel::RGB2GRAY(in[2], in[1], in[0]);
        } else {
            for (long x = 0; x < w; x++) out[x] = levels[GetPackedIndex(in, bpp, x)];
        }
    }
}

// Grey level of each palette entry, and the transparent index moved to the
// grey level of its entry (an index outside the palette is left alone).
void PaletteGrayLevels(Vistel& img, BYTE levels[256], long* transIndex)
{
    memset(levels, 0, 256);
    const RGBQUAD* pal = img.GetPalette();
    const DWORD n = pal ? std::min<DWORD>(img.GetNumColors(), 256) : 0;
    for (DWORD i = 0; i < n; i++) levels[i] = Gray(pal[i]);
    const long t = img.GetTransIndex();
    *transIndex = (t >= 0 && (DWORD)t < n) ? levels[t] : t;
}

}  // namespace

// --------------------------------------------------------- construction

bool Vistel::CreateFromArray(BYTE* pArray, DWORD dwWidth, DWORD dwHeight, DWORD dwBitsperpixel,
                             DWORD dwBytesperline, bool bFlipImage)
{
    if (!pArray) return false;
    WorkImage tmp(*this);
    auto rowOf = [=](DWORD r) -> const BYTE* { return pArray + (size_t)dwBytesperline * r; };
    if (!BuildFromRows(tmp, rowOf, dwWidth, dwHeight, dwBitsperpixel, dwBytesperline,
                       bFlipImage)) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    return Transfer(tmp);
}

bool Vistel::CreateFromMatrix(BYTE** ppMatrix, DWORD dwWidth, DWORD dwHeight,
                              DWORD dwBitsperpixel, DWORD dwBytesperline, bool bFlipImage)
{
    if (!ppMatrix) return false;
    WorkImage tmp(*this);
    auto rowOf = [=](DWORD r) -> const BYTE* { return ppMatrix[r]; };
    if (!BuildFromRows(tmp, rowOf, dwWidth, dwHeight, dwBitsperpixel, dwBytesperline,
                       bFlipImage)) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    return Transfer(tmp);
}

// --------------------------------------------------------- depth

bool Vistel::DecreaseBpp(DWORD nbit, bool errordiffusion, RGBQUAD* ppal, DWORD clrimportant)
{
    if (!pDib || nbit > head.biBitCount) return false;
    if (nbit == head.biBitCount &&
        (clrimportant == 0 || (head.biClrImportant != 0 && clrimportant > head.biClrImportant)))
        return true;

    WorkImage tmp(*this);
    if (!tmp.Create(GetWidth(), GetHeight(), nbit, GetType())) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    tmp.Clear(0);
    if (clrimportant) tmp.SetClrImportant(clrimportant);
    if (pAlpha && !tmp.AlphaCopy(*this)) return false;

    switch (tmp.GetBpp()) {
    case 1:
        if (ppal) {
            tmp.SetPalette(ppal, 2);
        } else {
            tmp.SetPaletteColor(0, 0, 0, 0);
            tmp.SetPaletteColor(1, 255, 255, 255);
        }
        break;
    case 4:
    case 8:
        if (ppal) tmp.SetPalette(ppal, tmp.GetBpp() == 4 ? 16 : 256);
        else tmp.SetStdPalette();
        break;
    default: return false;
    }

    if (!errordiffusion) MapToPalette(*this, tmp);
    else if (head.biClrUsed) DiffuseIndexed(*this, tmp);
    else DiffuseTrueColor(*this, tmp);

    if (head.biBitCount == 1) {
        tmp.SetPaletteColor(0, 0, 0, 0);
        tmp.SetPaletteColor(1, 255, 255, 255);
    }
    return Transfer(tmp);
}

bool Vistel::IncreaseBpp(DWORD nbit)
{
    if (!pDib || (nbit != 4 && nbit != 8 && nbit != 24)) return false;
    if (head.biBitCount == nbit) return true;
    if (head.biBitCount > nbit) return false;

    WorkImage tmp(*this);
    if (!tmp.Create(GetWidth(), GetHeight(), nbit, GetType())) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    tmp.Clear(0);
    const long w = head.biWidth, h = head.biHeight;
    const WORD sbpp = head.biBitCount;

    if (nbit < 24) {
        tmp.SetPalette(GetPalette(), head.biClrUsed);
        if (pAlpha && !tmp.AlphaCopy(*this)) return false;
        for (long y = 0; y < h; y++) {
            if (!NextRow(*this, tmp, y)) break;
            const BYTE* in = GetBits((DWORD)y);
            BYTE* out = tmp.GetBits((DWORD)y);
            for (long x = 0; x < w; x++) SetPackedIndex(out, (WORD)nbit, x, GetPackedIndex(in, sbpp, x));
        }
        return Transfer(tmp);
    }

    // To true colour: the transparent index survives as the transparent
    // colour, and palette alpha and transparency become the alpha plane.
    if (info.nBkgndIndex >= 0) tmp.SetTransColor(GetPaletteColor((BYTE)info.nBkgndIndex));
    if (pAlpha && !tmp.AlphaCopy(*this)) return false;
    if (!pAlpha && AlphaPaletteIsValid()) {
        tmp.AlphaCreate();
        if (!tmp.AlphaIsValid()) return false;
    }
    RGBQUAD colors[256];
    for (int i = 0; i < 256; i++) colors[i] = GetPaletteColor((BYTE)i);
    for (long y = 0; y < h; y++) {
        if (!NextRow(*this, tmp, y)) break;
        const BYTE* in = GetBits((DWORD)y);
        BYTE* out = tmp.GetBits((DWORD)y);
        const BYTE* inAlpha = pAlpha ? pAlpha + (size_t)y * w : nullptr;
        BYTE* outAlpha = tmp.AlphaGetPointer(0, y);
        for (long x = 0; x < w; x++, out += 3) {
            const RGBQUAD& c = colors[GetPackedIndex(in, sbpp, x)];
            out[0] = c.rgbBlue;
            out[1] = c.rgbGreen;
            out[2] = c.rgbRed;
            if (outAlpha) outAlpha[x] = inAlpha ? inAlpha[x] : c.rgbReserved;
        }
    }
    return Transfer(tmp);
}

bool Vistel::GrayScale()
{
    if (!pDib) return false;
    const long w = head.biWidth, h = head.biHeight;
    BYTE levels[256];
    long transIndex = info.nBkgndIndex;
    if (head.biClrUsed) PaletteGrayLevels(*this, levels, &transIndex);

    if (head.biBitCount == 8) {
        // In place: each index becomes its entry's grey level.
        for (long y = 0; y < h; y++) {
            if (!NextRow(*this, *this, y)) break;
            BYTE* row = GetBits((DWORD)y);
            for (long x = 0; x < w; x++) row[x] = levels[row[x]];
        }
        SetGrayPalette();
        info.nBkgndIndex = transIndex;
        return true;
    }

    WorkImage tmp(*this);
    if (!tmp.Create(GetWidth(), GetHeight(), 8, GetType())) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    tmp.Clear(0);
    tmp.SetGrayPalette();
    if (pAlpha && !tmp.AlphaCopy(*this)) return false;
    tmp.SetTransIndex(transIndex);
    const WORD bpp = head.biBitCount;
    for (long y = 0; y < h; y++) {
        if (!NextRow(*this, tmp, y)) break;
        const BYTE* in = GetBits((DWORD)y);
        BYTE* out = tmp.GetBits((DWORD)y);
        if (bpp == 24) {
            for (long x = 0; x < w; x++, in += 3) out[x] = RGB2GRAY(in[2], in[1], in[0]);
        } else {
            for (long x = 0; x < w; x++) out[x] = levels[GetPackedIndex(in, bpp, x)];
        }
    }
    return Transfer(tmp);
}

bool Vistel::Negative()
{
    if (!pDib) return false;
    if (!head.biClrUsed) {
        BYTE* p = info.pImage;
        for (DWORD i = 0; i < head.biSizeImage; i++) p[i] = (BYTE)~p[i];
        info.nBkgndColor.rgbBlue = (BYTE)~info.nBkgndColor.rgbBlue;
        info.nBkgndColor.rgbGreen = (BYTE)~info.nBkgndColor.rgbGreen;
        info.nBkgndColor.rgbRed = (BYTE)~info.nBkgndColor.rgbRed;
        return true;
    }
    if (!IsGrayScale()) {
        RGBQUAD* pal = GetPalette();
        for (DWORD i = 0; i < head.biClrUsed; i++) {
            pal[i].rgbBlue = (BYTE)~pal[i].rgbBlue;
            pal[i].rgbGreen = (BYTE)~pal[i].rgbGreen;
            pal[i].rgbRed = (BYTE)~pal[i].rgbRed;
        }
        info.last_c_isvalid = false;
        return true;
    }
    // Identity grey ramp: index i becomes 255 - i kept to the index width,
    // which is every pixel's bits inverted (row padding left alone).
    const DWORD pixelBits = (DWORD)head.biWidth * head.biBitCount;
    const DWORD fullBytes = pixelBits / 8;
    const BYTE lastMask = (BYTE)(0xFF00 >> (pixelBits % 8));
    for (long y = 0; y < head.biHeight; y++) {
        BYTE* row = GetBits((DWORD)y);
        for (DWORD i = 0; i < fullBytes; i++) row[i] = (BYTE)~row[i];
        if (lastMask) row[fullBytes] ^= lastMask;
    }
    return true;
}

bool Vistel::Dither(long method)
{
    if (!pDib) return false;
    if (head.biBitCount == 1) return true;

    // The grey levels GrayScale would give, kept aside so that this image
    // stays as it is until the result is moved in.
    const long w = head.biWidth, h = head.biHeight;
    BYTE levels[256];
    long transIndex = info.nBkgndIndex;
    if (head.biClrUsed) PaletteGrayLevels(*this, levels, &transIndex);
    BYTE* gray = (BYTE*)malloc((size_t)w * (size_t)h);
    if (!gray) {
        SetLastError("Vistel::Dither can't allocate memory");
        return false;
    }
    GrayLevels(*this, levels, gray);

    WorkImage tmp(*this);
    tmp.SetTransIndex(transIndex);
    bool ok = tmp.Create(GetWidth(), GetHeight(), 1, GetType()) != nullptr;
    if (ok) {
        tmp.Clear(0);
        ok = !pAlpha || tmp.AlphaCopy(*this);
    }
    if (!ok) {
        SetLastError(tmp.GetLastError());
        free(gray);
        return false;
    }

    const DiffusionKernel& kernel = KernelOf(method);
    for (long y = 0; y < h; y++) {
        if (!NextRow(*this, tmp, y)) break;
        BYTE* out = tmp.GetBits((DWORD)y);
        const BYTE* g = gray + (size_t)y * w;
        for (long x = 0; x < w; x++) {
            BYTE bit;
            if (method == 1) {
                const int intensity = g[x];
                const int ditherIntensity = intensity * 16 / 255;
                bit = intensity == 255 || kDitherMatrix[y & 3][x & 3] < ditherIntensity;
            } else if (method == 7) {
                bit = g[x] > kBayerThreshold[y & 3][x & 3];
            } else {
                const long level = g[x];
                const long error = level <= 128 ? level : level - 255;
                bit = level > 128;
                for (int t = 0; t < kernel.taps; t++) {
                    const long nx = x + kernel.tap[t].dx, ny = y + kernel.tap[t].dy;
                    if (nx < 0 || nx >= w || ny >= h) continue;
                    BYTE& n = gray[(size_t)ny * w + nx];
                    n = Clamp255(n + error * kernel.tap[t].weight / kernel.divisor);
                }
            }
            SetPackedIndex(out, 1, x, bit);
        }
    }
    free(gray);

    tmp.SetPaletteColor(0, 0, 0, 0);
    tmp.SetPaletteColor(1, 255, 255, 255);
    return Transfer(tmp);
}
