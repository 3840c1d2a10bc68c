// Object life cycle, the DIB block and the info-block accessors.
#include "Vistel.h"

#include "PixelMemory.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Largest resolution whose pixels per metre still fit the header's 32 bits.
const long kMaxDPI = 54000000;

}  // namespace

Vistel::Vistel(DWORD imagetype)
{
    Startup(imagetype);
}

Vistel::Vistel(DWORD dwWidth, DWORD dwHeight, DWORD wBpp, DWORD imagetype)
{
    Startup(imagetype);
    Create(dwWidth, dwHeight, wBpp, imagetype);
}

Vistel::Vistel(const Vistel& src, bool copypixels, bool copyselection, bool copyalpha)
{
    Startup(src.GetType());
    Copy(src, copypixels, copyselection, copyalpha);
}

Vistel::~Vistel()
{
    Destroy();
}

Vistel& Vistel::operator=(const Vistel& src)
{
    if (this != &src) Copy(src, true, true, true);
    return *this;
}

void Vistel::Startup(DWORD imagetype)
{
    pDib = nullptr;
    pSelection = nullptr;
    pAlpha = nullptr;
    pLayers = nullptr;
    memset(&head, 0, sizeof(head));
    memset(&info, 0, sizeof(info));
    info.nQuality = 90;
    info.nAlphaMax = 255;
    info.nBkgndIndex = -1;
    info.dwType = imagetype;
    info.bEnabled = true;
}

void Vistel::SetLastError(const char* text)
{
    if (!text) text = "";
    strncpy(info.szLastError, text, sizeof(info.szLastError) - 1);
    info.szLastError[sizeof(info.szLastError) - 1] = '\0';
}

bool Vistel::TransferResult(Vistel& result, Vistel* iDst)
{
    if (iDst) return iDst->Transfer(result);
    result.info.nNumFrames = info.nNumFrames;
    return Transfer(result);
}

bool Vistel::MakeWorkImage(Vistel& work, DWORD width, DWORD height, bool withAlpha, DWORD bpp)
{
    work.CopyInfo(*this);
    if (!work.Create(width, height, bpp ? bpp : head.biBitCount, GetType())) {
        SetLastError(work.GetLastError());
        return false;
    }
    // Rows a cancelled operation never reaches, and the row padding, read
    // as zero rather than as whatever the allocator left.
    work.Clear(0);
    work.SetPalette(GetPalette(), 256);
    if (withAlpha) {
        work.AlphaCreate();
        if (!work.AlphaIsValid()) {
            SetLastError("not enough memory for the alpha plane");
            return false;
        }
    }
    return true;
}

BYTE* Vistel::Create(DWORD dwWidth, DWORD dwHeight, DWORD wBpp, DWORD imagetype)
{
    if (!Destroy()) return nullptr;

    if (dwWidth == 0 || dwHeight == 0) {
        SetLastError("Vistel::Create : width and height must be greater than zero");
        return nullptr;
    }

    if (wBpp <= 1) wBpp = 1;
    else if (wBpp <= 4) wBpp = 4;
    else if (wBpp <= 8) wBpp = 8;
    else wBpp = 24;

    // Header sizes reach here straight from files: refuse before allocating
    // anything when the pixel block would pass the ceiling (or a 32-bit
    // field could not hold its size).
    uint64_t imageBytes;
    if (dwWidth > 0x7FFFFFFF || dwHeight > 0x7FFFFFFF ||
        !vssize::ImageBytes(dwWidth, dwHeight, wBpp, &imageBytes)) {
        SetLastError(vssize::kTooLarge);
        return nullptr;
    }

    switch (wBpp) {
    case 1: head.biClrUsed = 2; break;
    case 4: head.biClrUsed = 16; break;
    case 8: head.biClrUsed = 256; break;
    default: head.biClrUsed = 0; break;
    }
    head.biSize = sizeof(BITMAPINFOHEADER);
    head.biBitCount = (WORD)wBpp;
    head.biPlanes = 1;
    head.biCompression = 0;
    head.biClrImportant = 0;
    info.dwEffWidth = ((wBpp * dwWidth + 31) / 32) * 4;
    info.dwType = imagetype;
    head.biWidth = (int32_t)dwWidth;
    head.biHeight = (int32_t)dwHeight;
    head.biSizeImage = (DWORD)imageBytes;

    pDib = (BYTE*)AllocPixelMemory(GetSize());
    if (!pDib) {
        SetLastError("Vistel::Create can't allocate memory");
        return nullptr;
    }

    if (head.biClrUsed) memset(GetPalette(), 0, GetPaletteSize());
    info.last_c_isvalid = false;
    // The header's pixels per metre follow the resolution in the info block.
    SetXDPI(info.xDPI);
    SetYDPI(info.yDPI);

    memcpy(pDib, &head, sizeof(BITMAPINFOHEADER));
    info.pImage = GetBits(0);
    return pDib;
}

bool Vistel::Destroy()
{
    if (info.pGhost) return false;
    if (pLayers) {
        for (long n = 0; n < info.nNumLayers; n++) delete pLayers[n];
        delete[] pLayers;
        pLayers = nullptr;
        info.nNumLayers = 0;
    }
    free(pSelection);
    pSelection = nullptr;
    free(pAlpha);
    pAlpha = nullptr;
    free(pDib);
    pDib = nullptr;
    return true;
}

void Vistel::Copy(const Vistel& src, bool copypixels, bool copyselection, bool copyalpha)
{
    // A copy is never a ghost: the info block travels whole but for that.
    if (info.pGhost) return;

    memcpy(&info, &src.info, sizeof(tagVistelInfo));
    info.pGhost = nullptr;
    jpegSegments = src.jpegSegments;

    Create(src.GetWidth(), src.GetHeight(), src.GetBpp(), src.GetType());

    if (copypixels && pDib && src.pDib) {
        memcpy(pDib, src.pDib, GetSize());
        info.pImage = GetBits(0);
    } else if (pDib) {
        SetPalette(src.GetPalette(), 256);
    }

    long nSize = (long)GetWidth() * (long)GetHeight();
    if (copyselection && src.pSelection && pDib) {
        free(pSelection);
        pSelection = (BYTE*)malloc(nSize);
        if (pSelection) memcpy(pSelection, src.pSelection, nSize);
    }
    if (copyalpha && src.pAlpha && pDib) {
        free(pAlpha);
        pAlpha = (BYTE*)AllocPixelMemory(nSize);
        if (pAlpha) memcpy(pAlpha, src.pAlpha, nSize);
    }
}

void Vistel::CopyInfo(const Vistel& src)
{
    if (pDib == nullptr) memcpy(&info, &src.info, sizeof(tagVistelInfo));
}

bool Vistel::Transfer(Vistel& from)
{
    if (!Destroy()) return false;

    memcpy(&head, &from.head, sizeof(BITMAPINFOHEADER));
    memcpy(&info, &from.info, sizeof(tagVistelInfo));
    pDib = from.pDib;
    pSelection = from.pSelection;
    pAlpha = from.pAlpha;
    pLayers = from.pLayers;
    jpegSegments = std::move(from.jpegSegments);
    from.jpegSegments.clear();

    memset(&from.head, 0, sizeof(BITMAPINFOHEADER));
    memset(&from.info, 0, sizeof(tagVistelInfo));
    from.pDib = nullptr;
    from.pSelection = nullptr;
    from.pAlpha = nullptr;
    from.pLayers = nullptr;
    return true;
}

void Vistel::Ghost(Vistel* from)
{
    if (!from) return;
    memcpy(&head, &from->head, sizeof(BITMAPINFOHEADER));
    memcpy(&info, &from->info, sizeof(tagVistelInfo));
    pDib = from->pDib;
    pSelection = from->pSelection;
    pAlpha = from->pAlpha;
    pLayers = from->pLayers;
    jpegSegments = from->jpegSegments;
    info.pGhost = from;
}

void Vistel::Clear(BYTE bval)
{
    if (!pDib) return;
    if (GetBpp() == 1) bval = bval ? 255 : 0;
    else if (GetBpp() == 4) bval = (BYTE)((bval & 15) * 17);
    memset(info.pImage, bval, head.biSizeImage);
}

bool Vistel::IsInside(long x, long y) const
{
    return 0 <= y && y < head.biHeight && 0 <= x && x < head.biWidth;
}

void Vistel::FreeMemory(void* memblock)
{
    free(memblock);
}

DWORD Vistel::GetSize() const
{
    return head.biSize + head.biClrUsed * 4 + head.biSizeImage;
}

BYTE* Vistel::GetBits(DWORD row) const
{
    if (!pDib) return nullptr;
    BYTE* rows = pDib + *(DWORD*)pDib + GetPaletteSize();
    if (row == 0) return rows;
    if (row < (DWORD)head.biHeight) return rows + (size_t)info.dwEffWidth * row;
    return nullptr;
}

RGBQUAD* Vistel::GetPalette() const
{
    if (pDib && head.biClrUsed) return (RGBQUAD*)(pDib + sizeof(BITMAPINFOHEADER));
    return nullptr;
}

BYTE Vistel::GetColorType() const
{
    if (AlphaIsValid()) return 4;
    return head.biBitCount <= 8 ? 1 : 2;
}

void Vistel::SetXDPI(long dpi)
{
    if (dpi < 0) dpi = 0;
    if (dpi > kMaxDPI) dpi = kMaxDPI;
    info.xDPI = dpi;
    head.biXPelsPerMeter = (int32_t)floor(dpi * 10000.0 / 254.0 + 0.5);
    if (pDib) ((BITMAPINFOHEADER*)pDib)->biXPelsPerMeter = head.biXPelsPerMeter;
}

void Vistel::SetYDPI(long dpi)
{
    if (dpi < 0) dpi = 0;
    if (dpi > kMaxDPI) dpi = kMaxDPI;
    info.yDPI = dpi;
    head.biYPelsPerMeter = (int32_t)floor(dpi * 10000.0 / 254.0 + 0.5);
    if (pDib) ((BITMAPINFOHEADER*)pDib)->biYPelsPerMeter = head.biYPelsPerMeter;
}

void Vistel::SetFlags(DWORD flags, bool bLockReservedFlags)
{
    info.dwFlags = bLockReservedFlags ? (flags & 0xFFFF) : flags;
}

DWORD Vistel::GetCodecOption(DWORD imagetype) const
{
    if (imagetype > 5) return 0;
    if (imagetype == 0) imagetype = GetType();
    if (imagetype >= CMAX_IMAGE_FORMATS) return 0;
    return info.dwCodecOpt[imagetype];
}

bool Vistel::SetCodecOption(DWORD opt, DWORD imagetype)
{
    if (imagetype > 5) return false;
    if (imagetype == 0) imagetype = GetType();
    if (imagetype >= CMAX_IMAGE_FORMATS) return false;
    info.dwCodecOpt[imagetype] = opt;
    return true;
}

RGBQUAD Vistel::GetTransColor()
{
    if (head.biBitCount < 24 && info.nBkgndIndex != -1) {
        RGBQUAD c = GetPaletteColor((BYTE)(info.nBkgndIndex & 255));
        c.rgbReserved = 0;
        return c;
    }
    return info.nBkgndColor;
}

void Vistel::SetTransColor(RGBQUAD rgb)
{
    rgb.rgbReserved = 0;
    info.nBkgndColor = rgb;
}

void Vistel::GetOffset(long* x, long* y) const
{
    if (x) *x = info.xOffset;
    if (y) *y = info.yOffset;
}

void Vistel::SetOffset(long x, long y)
{
    info.xOffset = x;
    info.yOffset = y;
}

const char* Vistel::GetVersion()
{
    return "Vistel 5.99c";
}

float Vistel::GetVersionNumber()
{
    return 5.99003f;
}
