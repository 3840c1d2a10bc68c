// The raw RGBA export, and the codec entry points of the plain image.
#include <cstring>
#include <vector>

#include "PackedIndex.h"
#include "Vistel.h"

bool Vistel::Decode(VsFile*)
{
    SetLastError("Decode: no file type");
    return false;
}

bool Vistel::Encode(VsFile*)
{
    SetLastError("Encode: Unknown format");
    return false;
}

bool Vistel::EncodeSafeCheck(VsFile* hFile)
{
    if (!hFile) {
        SetLastError("null file handler");
        return true;
    }
    if (!pDib) {
        SetLastError("null image!!!");
        return true;
    }
    return false;
}

// ------------------------------------------------------------- RGBA export

bool Vistel::Encode2RGBA(VsFile* hFile)
{
    if (EncodeSafeCheck(hFile)) return false;
    const long w = head.biWidth, h = head.biHeight;
    std::vector<BYTE> row((size_t)w * 4);

    // Indexed images go through a 256-entry table of their palette colours
    // with the transparency rule applied, exactly as a per-pixel
    // BlindGetPixelColor would report them.
    RGBQUAD lut[256];
    if (head.biClrUsed)
        for (int i = 0; i < 256; i++) lut[i] = GetPaletteColor((BYTE)i);

    for (long y = h - 1; y >= 0; y--) {
        BYTE* out = row.data();
        if (head.biClrUsed) {
            const BYTE* src = info.pImage + (size_t)y * info.dwEffWidth;
            const int bpp = head.biBitCount;
            for (long x = 0; x < w; x++, out += 4) {
                const RGBQUAD& c = lut[GetPackedIndex(src, bpp, x)];
                out[0] = c.rgbRed;
                out[1] = c.rgbGreen;
                out[2] = c.rgbBlue;
                out[3] = c.rgbReserved;
            }
        } else {
            const BYTE* src = info.pImage + (size_t)y * info.dwEffWidth;
            const BYTE* alpha = pAlpha ? pAlpha + (size_t)y * w : nullptr;
            for (long x = 0; x < w; x++, out += 4, src += 3) {
                out[0] = src[2];
                out[1] = src[1];
                out[2] = src[0];
                out[3] = alpha ? alpha[x] : 0;
            }
        }
        if (hFile->Write(row.data(), 1, row.size()) != row.size()) {
            SetLastError("Encode2RGBA: write failed");
            return false;
        }
    }
    return true;
}

bool Vistel::Encode2RGBA(BYTE*& buffer, long& size)
{
    if (buffer != nullptr) {
        SetLastError("the buffer must be empty");
        return false;
    }
    VsMemFile file;
    // One allocation for the whole export instead of growth row by row.
    uint64_t total = (uint64_t)GetWidth() * GetHeight() * 4;
    if (!file.Open() || total > 0x7FFFE000u || !file.Alloc((DWORD)total)) {
        SetLastError("Encode2RGBA can't allocate memory");
        return false;
    }
    if (!Encode2RGBA(&file)) return false;
    size = file.Size();
    buffer = file.GetBuffer(true);
    return true;
}
