// BMP decoding and encoding. Every field of the file is little-endian and is
// assembled byte by byte, so the codec works on any host byte order. Sizes
// taken from the header are checked in 64 bits before anything is allocated
// or sought, and the run-length decoders never write outside their row.
#include "VistelBMP.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

enum : DWORD { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };

constexpr DWORD kFileHeaderSize = 14;
constexpr DWORD kCoreHeaderSize = 12;
constexpr DWORD kInfoHeaderSize = 40;
constexpr DWORD kOs2HeaderSize = 64;
constexpr DWORD kMaskBytes = 12;

WORD Le16(const BYTE* p)
{
    return (WORD)(p[0] | (p[1] << 8));
}

DWORD Le32(const BYTE* p)
{
    return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}

void PutLe16(BYTE* p, WORD v)
{
    p[0] = (BYTE)v;
    p[1] = (BYTE)(v >> 8);
}

void PutLe32(BYTE* p, DWORD v)
{
    for (int i = 0; i < 4; i++) p[i] = (BYTE)(v >> (8 * i));
}

// Moves to an absolute position, never past the end of the stream: data
// beyond it reads as missing anyway, and a header's offsets and counts may
// point gigabytes away.
void SeekWithin(VsFile* f, uint64_t pos)
{
    const long size = f->Size();
    if (size >= 0 && pos > (uint64_t)size) pos = (uint64_t)size;
    f->Seek((long)pos, SEEK_SET);
}

// Skips n bytes of a header; false when the stream ends first.
bool SkipHeaderBytes(VsFile* f, uint64_t n)
{
    const long size = f->Size(), pos = f->Tell();
    if (size < 0 || pos < 0 || n > (uint64_t)(size - pos)) return false;
    return f->Seek((long)n, SEEK_CUR);
}

// Windows V2 to V5 headers: their first 40 bytes are the info header and
// bytes 40 to 51 hold the red, green and blue masks.
bool HeaderCarriesMasks(DWORD size)
{
    return size == 52 || size == 56 || size == 108 || size == 124;
}

void ParseInfoHeader(const BYTE* p, BITMAPINFOHEADER* h)
{
    h->biSize = Le32(p);
    h->biWidth = (int32_t)Le32(p + 4);
    h->biHeight = (int32_t)Le32(p + 8);
    h->biPlanes = Le16(p + 12);
    h->biBitCount = Le16(p + 14);
    h->biCompression = Le32(p + 16);
    h->biSizeImage = Le32(p + 20);
    h->biXPelsPerMeter = (int32_t)Le32(p + 24);
    h->biYPelsPerMeter = (int32_t)Le32(p + 28);
    h->biClrUsed = Le32(p + 32);
    h->biClrImportant = Le32(p + 36);
}

void WriteInfoHeader(BYTE* p, const BITMAPINFOHEADER& h)
{
    PutLe32(p, h.biSize);
    PutLe32(p + 4, (DWORD)h.biWidth);
    PutLe32(p + 8, (DWORD)h.biHeight);
    PutLe16(p + 12, h.biPlanes);
    PutLe16(p + 14, h.biBitCount);
    PutLe32(p + 16, h.biCompression);
    PutLe32(p + 20, h.biSizeImage);
    PutLe32(p + 24, (DWORD)h.biXPelsPerMeter);
    PutLe32(p + 28, (DWORD)h.biYPelsPerMeter);
    PutLe32(p + 32, h.biClrUsed);
    PutLe32(p + 36, h.biClrImportant);
}

// A colour channel of a bit-field pixel: where it sits and how wide it is.
// Its value is brought to 8 bits by keeping its top 8 bits or by shifting a
// narrower value up (a 5-bit 31 becomes 248).
struct Channel {
    DWORD mask = 0;
    int shift = 0;
    int width = 0;

    explicit Channel(DWORD m) : mask(m)
    {
        if (!mask) return;
        while (!((mask >> shift) & 1)) shift++;
        for (DWORD v = mask >> shift; v; v >>= 1) width++;
    }

    BYTE Extract(DWORD pixel) const
    {
        DWORD v = (pixel & mask) >> shift;
        return width > 8 ? (BYTE)(v >> (width - 8)) : (BYTE)(v << (8 - width));
    }
};

// Converts one row of 16- or 32-bit bit-field pixels to blue, green, red.
void ExpandBitfieldRow(const BYTE* src, BYTE* dst, DWORD width, DWORD bytesPerPixel,
                       const Channel& red, const Channel& green, const Channel& blue)
{
    if (bytesPerPixel == 4 && red.mask == 0xFF0000 && green.mask == 0xFF00 && blue.mask == 0xFF) {
        // The usual layout, blue, green and red bytes then one more: the
        // channels are the bytes themselves.
        for (DWORD x = 0; x < width; x++, src += 4, dst += 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
        return;
    }
    for (DWORD x = 0; x < width; x++, src += bytesPerPixel, dst += 3) {
        DWORD pixel = bytesPerPixel == 2 ? Le16(src) : Le32(src);
        dst[0] = blue.Extract(pixel);
        dst[1] = green.Extract(pixel);
        dst[2] = red.Extract(pixel);
    }
}

void FlipRows(BYTE* bits, DWORD stride, DWORD height)
{
    std::vector<BYTE> tmp(stride);
    for (DWORD top = 0, bottom = height - 1; top < bottom; top++, bottom--) {
        BYTE* a = bits + (size_t)stride * top;
        BYTE* b = bits + (size_t)stride * bottom;
        memcpy(tmp.data(), a, stride);
        memcpy(a, b, stride);
        memcpy(b, tmp.data(), stride);
    }
}

// The pixel rows a run-length stream paints: rows count from the first row
// in memory; positions past a row's end or rows past the last are dropped.
struct RleCanvas {
    BYTE* bits;
    DWORD stride;
    DWORD height;

    BYTE* Row(DWORD scanline) const { return bits + (size_t)stride * scanline; }
};

// RLE8: runs of one byte value, absolute runs of literal bytes (padded to an
// even count), end of line, end of bitmap and delta. The stream ending early
// or every row being done stops decoding; rows decoded so far are kept.
void DecodeRle8(VsFile* f, const RleCanvas& c)
{
    DWORD scanline = 0;
    uint64_t x = 0;  // byte offset in the row
    BYTE literal[256];
    while (scanline < c.height) {
        long count = f->GetC();
        if (count < 0) return;
        if (count > 0) {
            long value = f->GetC();
            if (value < 0) return;
            // A run that would leave the padded row ends the image.
            uint64_t room = x < c.stride ? c.stride - x : 0;
            if (room) memset(c.Row(scanline) + x, (int)value, (size_t)((uint64_t)count < room ? count : room));
            if ((uint64_t)count > room) return;
            x += count;
            continue;
        }
        long code = f->GetC();
        if (code < 0 || code == 1) return;
        if (code == 0) {
            scanline++;
            x = 0;
        } else if (code == 2) {
            long dx = f->GetC(), dy = f->GetC();
            if (dx < 0 || dy < 0) return;
            x += dx;
            scanline += (DWORD)dy;
        } else {
            size_t got = f->Read(literal, 1, (size_t)code);
            if (x < c.stride) {
                uint64_t room = c.stride - x;
                memcpy(c.Row(scanline) + x, literal, (size_t)(got < room ? got : room));
            }
            if (got < (size_t)code) return;
            x += code;
            if ((code & 1) && f->GetC() < 0) return;
        }
    }
}

// Stores a 4-bit index at pixel position px of a row; positions whose byte
// lies past the row are dropped.
void PutNibble(BYTE* row, DWORD stride, uint64_t px, BYTE nibble)
{
    uint64_t byte = px / 2;
    if (byte >= stride) return;
    if (px & 1) row[byte] = (BYTE)((row[byte] & 0xF0) | (nibble & 0x0F));
    else row[byte] = (BYTE)(nibble << 4);
}

// RLE4: as RLE8 with pixels of 4 bits. The pixels of a run take the nibbles
// of their data in order, high nibble first, wherever the run starts; a run
// ending on an odd pixel leaves the next one to start in the low nibble of
// the same byte. Positions are counted in pixels, so deltas may be odd.
void DecodeRle4(VsFile* f, const RleCanvas& c)
{
    DWORD scanline = 0;
    uint64_t px = 0;  // pixel offset in the row
    BYTE literal[128];
    while (scanline < c.height) {
        long count = f->GetC();
        if (count < 0) return;
        if (count > 0) {
            long value = f->GetC();
            if (value < 0) return;
            BYTE* row = c.Row(scanline);
            for (long i = 0; i < count; i++, px++)
                PutNibble(row, c.stride, px, (BYTE)((i & 1) ? value & 0x0F : value >> 4));
            continue;
        }
        long code = f->GetC();
        if (code < 0 || code == 1) return;
        if (code == 0) {
            scanline++;
            px = 0;
        } else if (code == 2) {
            long dx = f->GetC(), dy = f->GetC();
            if (dx < 0 || dy < 0) return;
            px += dx;
            scanline += (DWORD)dy;
        } else {
            size_t bytes = ((size_t)code + 1) / 2;
            size_t got = f->Read(literal, 1, bytes);
            BYTE* row = c.Row(scanline);
            for (long i = 0; i < code && (size_t)(i / 2) < got; i++, px++) {
                BYTE b = literal[i / 2];
                PutNibble(row, c.stride, px, (BYTE)((i & 1) ? b & 0x0F : b >> 4));
            }
            if (got < bytes) return;
            if ((bytes & 1) && f->GetC() < 0) return;
        }
    }
}

}  // namespace

bool VistelBMP::CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info)
{
    if (!buffer || !basic_info || size < 54) return false;
    if (buffer[0] != 'B' || buffer[1] != 'M') return false;
    basic_info->format = VISTEL_FORMAT_BMP;
    basic_info->width = (int32_t)Le32(buffer + 18);
    basic_info->height = (int32_t)Le32(buffer + 22);
    return true;
}

bool VistelBMP::Describe(const BYTE* data, size_t size, PictureFacts* facts)
{
    if (!data || size < kFileHeaderSize || data[0] != 'B' || data[1] != 'M') return false;
    VsMemFile file(const_cast<BYTE*>(data), (DWORD)std::min<size_t>(size, 0xFFFFFFFFu));
    file.Seek(kFileHeaderSize, SEEK_SET);
    VistelBMP reader;
    BITMAPINFOHEADER bih;
    if (!reader.DibReadBitmapInfo(&file, &bih)) return false;
    *facts = PictureFacts();
    facts->format = VISTEL_FORMAT_BMP;
    facts->width = bih.biWidth;
    facts->height = bih.biHeight == INT32_MIN ? INT32_MAX : std::abs(bih.biHeight);
    facts->depth = bih.biBitCount;
    if (bih.biXPelsPerMeter > 0 && bih.biYPelsPerMeter > 0) {
        facts->xDpi = (long)floor(bih.biXPelsPerMeter * 0.0254 + 0.5);
        facts->yDpi = (long)floor(bih.biYPelsPerMeter * 0.0254 + 0.5);
    }
    return true;
}

bool VistelBMP::DibReadBitmapInfo(VsFile* fh, BITMAPINFOHEADER* pdib, DWORD* masks)
{
    if (!fh || !pdib) return false;
    BYTE raw[kInfoHeaderSize + kMaskBytes];
    if (fh->Read(raw, 1, 4) != 4) return false;
    DWORD size = Le32(raw);

    if (size == kCoreHeaderSize) {
        // OS/2 1.x: 16-bit width and height, planes and bit count only.
        if (fh->Read(raw + 4, 1, 8) != 8) return false;
        memset(pdib, 0, sizeof(*pdib));
        pdib->biSize = kCoreHeaderSize;
        pdib->biWidth = Le16(raw + 4);
        pdib->biHeight = Le16(raw + 6);
        pdib->biPlanes = Le16(raw + 8);
        pdib->biBitCount = Le16(raw + 10);
    } else {
        if (size < kInfoHeaderSize) return false;
        if (fh->Read(raw + 4, 1, kInfoHeaderSize - 4) != kInfoHeaderSize - 4) return false;
        ParseInfoHeader(raw, pdib);
        if (HeaderCarriesMasks(size)) {
            if (fh->Read(raw + kInfoHeaderSize, 1, kMaskBytes) != kMaskBytes) return false;
            if (masks)
                for (int i = 0; i < 3; i++) masks[i] = Le32(raw + kInfoHeaderSize + 4 * i);
            if (!SkipHeaderBytes(fh, size - kInfoHeaderSize - kMaskBytes)) return false;
        } else if (size == kOs2HeaderSize) {
            if (!SkipHeaderBytes(fh, kOs2HeaderSize - kInfoHeaderSize)) return false;
        } else if (size > kInfoHeaderSize) {
            // An unknown longer header is taken only for plain data whose
            // size it states exactly.
            int64_t rowBytes = (((int64_t)pdib->biBitCount * pdib->biWidth + 31) / 32) * 4;
            if ((__int128)pdib->biSizeImage != (__int128)rowBytes * pdib->biHeight ||
                pdib->biPlanes != 1 ||
                pdib->biCompression != BI_RGB || pdib->biClrUsed != 0)
                return false;
            if (!SkipHeaderBytes(fh, size - kInfoHeaderSize)) return false;
        }
    }

    if (pdib->biSizeImage == 0) {
        int64_t rowBytes = (((int64_t)pdib->biBitCount * pdib->biWidth + 31) >> 3) & ~(int64_t)3;
        pdib->biSizeImage = (DWORD)((__int128)rowBytes * pdib->biHeight);
    }
    if (pdib->biClrUsed == 0 && pdib->biBitCount <= 8)
        pdib->biClrUsed = (DWORD)1 << pdib->biBitCount;
    return true;
}

bool VistelBMP::Decode(VsFile* hFile)
{
    if (!hFile) return false;
    try {
        const long off = hFile->Tell();

        BYTE bf[kFileHeaderSize];
        if (hFile->Read(bf, 1, kFileHeaderSize) != kFileHeaderSize) throw "Not a BMP";
        DWORD bfOffBits = Le32(bf + 10);
        if (bf[0] != 'B' || bf[1] != 'M') {
            // A bare DIB: the info header starts right here.
            bfOffBits = 0;
            hFile->Seek(off, SEEK_SET);
        }

        BITMAPINFOHEADER bmpHeader;
        DWORD masks[3] = {0, 0, 0};
        if (!DibReadBitmapInfo(hFile, &bmpHeader, masks)) throw "Error reading BMP info";
        const bool coreHeader = bmpHeader.biSize == kCoreHeaderSize;
        const DWORD bpp = bmpHeader.biBitCount;
        const DWORD compression = bmpHeader.biCompression;

        const bool topDown = bmpHeader.biHeight < 0;
        const int64_t height64 = topDown ? -(int64_t)bmpHeader.biHeight : bmpHeader.biHeight;
        if (bmpHeader.biWidth <= 0 || height64 == 0) throw "Invalid BMP dimensions";

        if (info.nEscape == -1) {
            head.biWidth = bmpHeader.biWidth;
            head.biHeight = (int32_t)(height64 > INT32_MAX ? INT32_MAX : height64);
            throw "output dimensions returned";
        }

        // Reject what cannot be read before taking any memory.
        if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
            throw "unsupported bits per pixel";
        if (bpp <= 8 && compression > BI_RLE4) throw "compression type not supported";
        if (bpp == 24 && compression != BI_RGB) throw "unknown compression";
        if ((bpp == 16 || bpp == 32) && compression != BI_RGB && compression != BI_BITFIELDS)
            throw "unknown compression";
        const DWORD width = (DWORD)bmpHeader.biWidth;
        uint64_t pixelBytes, fileRowBytes;
        if (!vssize::ImageBytes(width, (uint64_t)height64, bpp < 24 ? bpp : 24, &pixelBytes) ||
            !vssize::RowBytes(width, bpp, &fileRowBytes))
            throw "BMP dimensions too large";
        const DWORD height = (DWORD)height64;

        // Masks of a 40-byte header follow it, before any colour table.
        if (compression == BI_BITFIELDS && !HeaderCarriesMasks(bmpHeader.biSize)) {
            BYTE raw[kMaskBytes];
            if (hFile->Read(raw, 1, kMaskBytes) != kMaskBytes) throw "Error reading BMP masks";
            for (int i = 0; i < 3; i++) masks[i] = Le32(raw + 4 * i);
        }

        if (!Create(width, height, bpp, VISTEL_FORMAT_BMP)) throw "Can't allocate memory";
        // Rows a short file does not reach stay black rather than undefined.
        memset(GetBits(0), 0, head.biSizeImage);

        head.biXPelsPerMeter = bmpHeader.biXPelsPerMeter;
        head.biYPelsPerMeter = bmpHeader.biYPelsPerMeter;
        info.xDPI = (long)floor(bmpHeader.biXPelsPerMeter * 254.0 / 10000.0 + 0.5);
        info.yDPI = (long)floor(bmpHeader.biYPelsPerMeter * 254.0 / 10000.0 + 0.5);

        if (info.nEscape) throw "Cancelled";

        // Colour table: as many entries as the image's palette holds are
        // kept; any surplus (and the table of a true-colour file) is skipped.
        const DWORD entrySize = coreHeader ? 3 : 4;
        DWORD fileColors = bmpHeader.biClrUsed;
        // A core header implies a full table; a data offset may show it shorter.
        const long tablesStart = hFile->Tell();
        if (coreHeader && bfOffBits != 0 && off + (long)bfOffBits > tablesStart) {
            const uint64_t room = (uint64_t)(off + (long)bfOffBits - tablesStart) / entrySize;
            if (room < fileColors) fileColors = (DWORD)room;
        }
        RGBQUAD* palette = GetPalette();
        const DWORD kept = palette ? (fileColors < GetNumColors() ? fileColors : GetNumColors()) : 0;
        if (kept) {
            std::vector<BYTE> table((size_t)kept * entrySize);
            hFile->Read(table.data(), 1, table.size());
            for (DWORD i = 0; i < kept; i++) {
                const BYTE* e = &table[(size_t)i * entrySize];
                palette[i].rgbBlue = e[0];
                palette[i].rgbGreen = e[1];
                palette[i].rgbRed = e[2];
                palette[i].rgbReserved = 0;
            }
        }
        if (info.nEscape) throw "Cancelled";

        // Pixel data starts at the file header's offset; without one (or
        // with one pointing back into the tables just read) it follows the
        // whole colour table.
        const uint64_t tablesEnd = (uint64_t)hFile->Tell();
        if (bfOffBits != 0 && (uint64_t)off + bfOffBits >= tablesEnd)
            SeekWithin(hFile, (uint64_t)off + bfOffBits);
        else if (fileColors > kept)
            SeekWithin(hFile, tablesEnd + (uint64_t)(fileColors - kept) * entrySize);

        BYTE* bits = GetBits(0);
        const DWORD stride = GetEffWidth();
        if (bpp == 16 || bpp == 32) {
            if (compression == BI_RGB) {
                masks[0] = bpp == 16 ? 0x7C00 : 0xFF0000;
                masks[1] = bpp == 16 ? 0x03E0 : 0x00FF00;
                masks[2] = bpp == 16 ? 0x001F : 0x0000FF;
            } else if (bpp == 16) {
                for (DWORD& m : masks) m &= 0xFFFF;
            }
            const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
            std::vector<BYTE> row((size_t)fileRowBytes);
            for (DWORD y = 0; y < height; y++) {
                size_t got = hFile->Read(row.data(), 1, row.size());
                if (got < row.size()) memset(row.data() + got, 0, row.size() - got);
                ExpandBitfieldRow(row.data(), bits + (size_t)stride * y, width, bpp / 8, red,
                                  green, blue);
                if (got < row.size()) break;
            }
        } else if (compression == BI_RLE8) {
            DecodeRle8(hFile, RleCanvas{bits, stride, height});
        } else if (compression == BI_RLE4) {
            DecodeRle4(hFile, RleCanvas{bits, stride, height});
        } else {
            // Uncompressed 1, 4, 8 and 24 bits: the file's rows are the DIB's.
            hFile->Read(bits, 1, head.biSizeImage);
        }

        if (topDown) FlipRows(bits, stride, height);
        memcpy(pDib, &head, sizeof(BITMAPINFOHEADER));
        return true;
    } catch (const char* message) {
        SetLastError(message);
        return info.nEscape == -1;
    }
}

bool VistelBMP::Encode(VsFile* hFile)
{
    if (EncodeSafeCheck(hFile)) return false;

    BYTE headers[kFileHeaderSize + kInfoHeaderSize];
    PutLe16(headers, 0x4D42);
    PutLe32(headers + 2, GetSize() + kFileHeaderSize);
    PutLe32(headers + 6, 0);
    PutLe32(headers + 10, head.biSize + GetPaletteSize() + kFileHeaderSize);
    WriteInfoHeader(headers + kFileHeaderSize, head);

    // The block keeps the current header, as a later GetDIB() expects.
    memcpy(pDib, &head, sizeof(BITMAPINFOHEADER));
    const size_t rest = GetSize() - sizeof(BITMAPINFOHEADER);
    if (hFile->Write(headers, 1, sizeof(headers)) != sizeof(headers) ||
        hFile->Write(pDib + sizeof(BITMAPINFOHEADER), 1, rest) != rest) {
        SetLastError("Error writing BMP");
        return false;
    }
    return true;
}
