// BMP decoding and encoding. Every field of the file is little-endian and is
// assembled byte by byte, so the codec works on any host byte order. All the
// headers are read and checked (sizes in 64 bits) before anything is
// allocated or sought, by the one reader the format check uses too; the
// run-length decoders never write outside their row.
#include "VistelBMP.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "BitField.h"

namespace {

enum : DWORD { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6 };

constexpr DWORD kFileHeaderSize = 14;
constexpr DWORD kCoreHeaderSize = 12;
constexpr DWORD kOs2MinHeaderSize = 16;
constexpr DWORD kOs2HeaderSize = 64;
constexpr DWORD kInfoHeaderSize = 40;
// Windows headers longer than 40 bytes hold the red, green and blue masks
// at 40, and from 56 bytes on the alpha mask at 52: no header field the
// decoder uses lies further.
constexpr DWORD kMaskedHeaderSize = 56;

// What the headers of a BMP say, as the decoder uses it.
struct BmpHeader {
    long start = 0;          // stream position of the file header (or bare DIB)
    DWORD dataOffset = 0;    // pixels, counted from start; 0 when not given
    bool core = false;       // OS/2 1.x: 3-byte colour table entries
    DWORD width = 0;
    DWORD height = 0;
    bool topDown = false;
    DWORD bpp = 0;
    DWORD compression = BI_RGB;
    DWORD colours = 0;       // colour table entries the header announces
    bool fullTable = false;  // colours not stated: a full table for the depth
    DWORD masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha of bit-field pixels
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint64_t fileRowBytes = 0;
    bool truncated = false;  // the data ended inside the headers
};

// How an info header of a given size is laid out.
enum class Layout {
    kRefused,
    kCore,     // OS/2 1.x, 12 bytes: 16-bit width and height
    kOs2,      // OS/2 2.x, 16 to 39 bytes or 64: the Windows fields, those past its end 0
    kWindows,  // 40, 52, 56, 108 and 124 bytes
    kLonger    // any other size past 40: the first 40 bytes are read
};

Layout LayoutOf(DWORD size)
{
    if (size == kCoreHeaderSize) return Layout::kCore;
    if (size == kInfoHeaderSize || size == 52 || size == 56 || size == 108 || size == 124)
        return Layout::kWindows;
    if ((size >= kOs2MinHeaderSize && size < kInfoHeaderSize) || size == kOs2HeaderSize)
        return Layout::kOs2;
    return size > kInfoHeaderSize ? Layout::kLonger : Layout::kRefused;
}

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

// Reads n header bytes; false, with the header marked truncated, when the
// data ends first.
bool ReadHeaderBytes(VsFile* f, BYTE* out, size_t n, BmpHeader* h)
{
    if (f->Read(out, 1, n) == n) return true;
    h->truncated = true;
    return false;
}

// Skips n header bytes, with the same outcome.
bool SkipHeaderBytes(VsFile* f, uint64_t n, BmpHeader* h)
{
    const long size = f->Size(), pos = f->Tell();
    if (size >= 0 && pos >= 0 && pos <= size && n <= (uint64_t)(size - pos))
        return f->Seek((long)n, SEEK_CUR);
    h->truncated = true;
    return false;
}

// Fills the header from the first bytes of an info header (zero past its
// size): width, height and row order, depth, compression, colour count,
// resolution, and the masks a Windows header longer than 40 bytes holds.
// Null, or why the fields cannot describe a picture.
const char* ParseInfoHeader(const BYTE* p, DWORD size, Layout layout, BmpHeader* h)
{
    if (layout == Layout::kCore) {
        h->core = true;
        h->width = Le16(p + 4);
        h->height = Le16(p + 6);
        h->bpp = Le16(p + 10);
        return nullptr;
    }
    const int32_t width = (int32_t)Le32(p + 4), height = (int32_t)Le32(p + 8);
    if (width <= 0 || height == 0) return "Invalid BMP dimensions";
    h->width = (DWORD)width;
    h->topDown = height < 0;
    h->height = h->topDown ? (DWORD)(-(int64_t)height) : (DWORD)height;
    h->bpp = Le16(p + 14);
    h->compression = Le32(p + 16);
    h->xPelsPerMeter = (int32_t)Le32(p + 24);
    h->yPelsPerMeter = (int32_t)Le32(p + 28);
    h->colours = Le32(p + 32);
    if (layout == Layout::kWindows && size > kInfoHeaderSize) {
        for (int i = 0; i < 3; i++) h->masks[i] = Le32(p + kInfoHeaderSize + 4 * i);
        if (size >= kMaskedHeaderSize) h->masks[3] = Le32(p + 52);
    }
    if (layout == Layout::kLonger) {
        // An unknown longer header is taken only for plain data whose size
        // it states exactly.
        const uint64_t rowBytes = ((uint64_t)h->bpp * h->width + 31) / 32 * 4;
        if (Le32(p + 20) != rowBytes * h->height || Le16(p + 12) != 1 ||
            h->compression != BI_RGB || h->colours != 0)
            return "Error reading BMP info";
    }
    return nullptr;
}

// Whether the depth and compression make a picture this decoder reads, and
// fits under the memory ceiling. Null, or why not.
const char* CheckPicture(Layout layout, BmpHeader* h)
{
    if (h->width == 0 || h->height == 0) return "Invalid BMP dimensions";
    const DWORD bpp = h->bpp, compression = h->compression;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return "unsupported bits per pixel";
    // OS/2 2.x numbers its Huffman and RLE24 codings 3 and 4.
    if ((bpp <= 8 || layout == Layout::kOs2) && compression > BI_RLE4)
        return "compression type not supported";
    if (bpp == 24 && compression != BI_RGB) return "unknown compression";
    if ((bpp == 16 || bpp == 32) && compression != BI_RGB && compression != BI_BITFIELDS &&
        compression != BI_ALPHABITFIELDS)
        return "unknown compression";
    uint64_t pixelBytes;
    if (!vssize::ImageBytes(h->width, h->height, bpp < 24 ? bpp : 24, &pixelBytes) ||
        !vssize::RowBytes(h->width, bpp, &h->fileRowBytes))
        return "BMP dimensions too large";
    h->fullTable = h->colours == 0 && bpp <= 8;
    if (h->fullTable) h->colours = (DWORD)1 << bpp;
    return nullptr;
}

// The masks of 16- and 32-bit pixels: those of the header, those that
// follow a header without them, or the defaults of uncompressed pixels
// (5-5-5, and blue, green, red bytes then one unused).
bool ReadMasks(VsFile* f, Layout layout, DWORD infoSize, BmpHeader* h)
{
    if (h->compression == BI_RGB) {
        const bool wide = h->bpp == 32;
        h->masks[0] = wide ? 0xFF0000 : 0x7C00;
        h->masks[1] = wide ? 0x00FF00 : 0x03E0;
        h->masks[2] = wide ? 0x0000FF : 0x001F;
        h->masks[3] = 0;
    } else if (layout != Layout::kWindows || infoSize == kInfoHeaderSize) {
        const size_t count = h->compression == BI_ALPHABITFIELDS ? 4 : 3;
        BYTE raw[16];
        if (!ReadHeaderBytes(f, raw, 4 * count, h)) return false;
        for (size_t i = 0; i < count; i++) h->masks[i] = Le32(raw + 4 * i);
    }
    if (h->bpp == 16) {
        for (DWORD& m : h->masks) m &= 0xFFFF;
        // 16-bit pixels stay opaque whatever their alpha mask, as Pillow
        // shows them.
        h->masks[3] = 0;
    }
    return true;
}

// Reads the file header (when there is one), the info header and the masks
// that may follow it, and leaves the stream at the colour table. Null when
// the decoder can read the picture, else the reason; h->truncated tells
// that the data ended inside the headers.
const char* ReadHeaders(VsFile* f, BmpHeader* h)
{
    h->start = f->Tell();
    BYTE fileHeader[kFileHeaderSize];
    if (!ReadHeaderBytes(f, fileHeader, kFileHeaderSize, h)) return "Not a BMP";
    if (fileHeader[0] == 'B' && fileHeader[1] == 'M') {
        h->dataOffset = Le32(fileHeader + 10);
    } else {
        // A bare DIB: the info header starts right here.
        f->Seek(h->start, SEEK_SET);
    }

    BYTE raw[kMaskedHeaderSize] = {0};
    if (!ReadHeaderBytes(f, raw, 4, h)) return "Error reading BMP info";
    const DWORD infoSize = Le32(raw);
    const Layout layout = LayoutOf(infoSize);
    if (layout == Layout::kRefused) return "Error reading BMP info";
    const DWORD held = std::min(infoSize, kMaskedHeaderSize);
    if (!ReadHeaderBytes(f, raw + 4, held - 4, h)) return "Error reading BMP info";
    if (const char* error = ParseInfoHeader(raw, infoSize, layout, h)) return error;
    if (const char* error = CheckPicture(layout, h)) return error;
    if (!SkipHeaderBytes(f, infoSize - held, h)) return "Error reading BMP info";
    if ((h->bpp == 16 || h->bpp == 32) && !ReadMasks(f, layout, infoSize, h))
        return "Error reading BMP masks";
    return nullptr;
}

// The fewest bytes from the start of the headers that a file with them has
// when it holds its pixel rows: the headers, then every row, the last one
// without its padding (some writers leave that out). No valid file has
// fewer. Run-length data has no such bound: two bytes may end the picture
// and leave the rest of it unpainted.
uint64_t LeastFileBytes(const BmpHeader& h, uint64_t headersEnd)
{
    if (h.compression == BI_RLE8 || h.compression == BI_RLE4) return 0;
    const uint64_t lastRow = ((uint64_t)h.width * h.bpp + 7) / 8;
    return headersEnd + h.fileRowBytes * (h.height - 1) + lastRow;
}

const char kTooShort[] = "the pixel data cannot fill the image";

// Reads the colour table into the image's palette, as many entries as the
// palette holds, and leaves the stream at the first pixel: at the file
// header's offset, or without one (or with one pointing back into the
// table) behind the whole table.
void ReadColourTable(VsFile* f, const BmpHeader& h, Vistel& img)
{
    const DWORD entrySize = h.core ? 3 : 4;
    DWORD fileColours = h.colours;
    // A header that states no count implies a full table; a data offset may
    // show it shorter.
    const long tableStart = f->Tell();
    if (h.fullTable && h.dataOffset != 0 && h.start + (long)h.dataOffset > tableStart) {
        const uint64_t room = (uint64_t)(h.start + (long)h.dataOffset - tableStart) / entrySize;
        if (room < fileColours) fileColours = (DWORD)room;
    }
    RGBQUAD* palette = img.GetPalette();
    const DWORD kept = palette ? std::min(fileColours, img.GetNumColors()) : 0;
    if (kept) {
        std::vector<BYTE> table((size_t)kept * entrySize);
        f->Read(table.data(), 1, table.size());
        for (DWORD i = 0; i < kept; i++) {
            const BYTE* e = &table[(size_t)i * entrySize];
            palette[i] = RGBQUAD{e[0], e[1], e[2], 0};
        }
    }
    const uint64_t tableEnd = (uint64_t)f->Tell();
    if (h.dataOffset != 0 && (uint64_t)h.start + h.dataOffset >= tableEnd)
        SeekWithin(f, (uint64_t)h.start + h.dataOffset);
    else if (fileColours > kept)
        SeekWithin(f, tableEnd + (uint64_t)(fileColours - kept) * entrySize);
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

// Converts one row of 16- or 32-bit bit-field pixels to blue, green, red,
// and to alpha when `alpha` is given; returns the OR of the alpha values.
BYTE ExpandBitfieldRow(const BYTE* src, BYTE* dst, BYTE* alpha, DWORD width,
                       DWORD bytesPerPixel, const BitField* channels)
{
    const BitField &red = channels[0], &green = channels[1], &blue = channels[2],
                   &opacity = channels[3];
    BYTE seen = 0;
    if (bytesPerPixel == 4 && red.Mask() == 0xFF0000 && green.Mask() == 0xFF00 &&
        blue.Mask() == 0xFF && (!alpha || opacity.Mask() == 0xFF000000)) {
        // The usual layout, blue, green, red bytes then alpha or nothing:
        // the channels are the bytes themselves.
        for (DWORD x = 0; x < width; x++, src += 4, dst += 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            if (alpha) seen |= alpha[x] = src[3];
        }
        return seen;
    }
    for (DWORD x = 0; x < width; x++, src += bytesPerPixel, dst += 3) {
        const DWORD pixel = bytesPerPixel == 2 ? Le16(src) : Le32(src);
        dst[0] = blue.Extract(pixel);
        dst[1] = green.Extract(pixel);
        dst[2] = red.Extract(pixel);
        if (alpha) seen |= alpha[x] = opacity.Extract(pixel);
    }
    return seen;
}

// Reads 16- and 32-bit rows into the 24-bit image, and into its alpha plane
// when the pixels carry alpha; false when the plane cannot be made. Rows a
// short file does not reach stay as they are.
bool ReadBitFieldRows(VsFile* f, const BmpHeader& h, Vistel& img)
{
    const BitField channels[4] = {BitField(h.masks[0]), BitField(h.masks[1]),
                                  BitField(h.masks[2]), BitField(h.masks[3])};
    const bool withAlpha = h.masks[3] != 0;
    if (withAlpha) {
        img.AlphaCreate();
        if (!img.AlphaIsValid()) return false;
    }
    std::vector<BYTE> row((size_t)h.fileRowBytes);
    BYTE alphaSeen = 0;
    for (DWORD y = 0; y < h.height; y++) {
        const size_t got = f->Read(row.data(), 1, row.size());
        if (got < row.size()) memset(row.data() + got, 0, row.size() - got);
        BYTE* alpha = withAlpha ? img.AlphaGetPointer(0, (long)y) : nullptr;
        alphaSeen |= ExpandBitfieldRow(row.data(), img.GetBits(y), alpha, h.width, h.bpp / 8,
                                       channels);
        if (got < row.size()) break;
    }
    // Many writers give 32-bit pixels an alpha mask and leave every alpha
    // byte 0; such a picture is meant to be seen, not fully transparent.
    if (withAlpha && !alphaSeen) img.AlphaDelete();
    return true;
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
    if (!buffer || !basic_info || size < 2 || buffer[0] != 'B' || buffer[1] != 'M') return false;
    VsMemFile file(buffer, size);
    BmpHeader h;
    const bool readable = ReadHeaders(&file, &h) == nullptr;
    if (!readable && h.truncated) return false;
    basic_info->format = VISTEL_FORMAT_BMP;
    basic_info->width = readable ? (int32_t)h.width : 0;
    basic_info->height = readable ? (int32_t)h.height : 0;
    if (readable) basic_info->leastBytes = LeastFileBytes(h, (uint64_t)file.Tell());
    return true;
}

bool VistelBMP::Describe(const BYTE* data, size_t size, PictureFacts* facts)
{
    if (!data || size < 2 || data[0] != 'B' || data[1] != 'M') return false;
    VsMemFile file(const_cast<BYTE*>(data), (DWORD)std::min<size_t>(size, 0xFFFFFFFFu));
    BmpHeader h;
    if (ReadHeaders(&file, &h)) return false;
    *facts = PictureFacts();
    facts->format = VISTEL_FORMAT_BMP;
    facts->width = (int32_t)h.width;
    facts->height = (int32_t)h.height;
    facts->depth = (int)h.bpp;
    if (h.xPelsPerMeter > 0 && h.yPelsPerMeter > 0) {
        facts->xDpi = (long)floor(h.xPelsPerMeter * 0.0254 + 0.5);
        facts->yDpi = (long)floor(h.yPelsPerMeter * 0.0254 + 0.5);
    }
    return true;
}

bool VistelBMP::Fail(const char* reason)
{
    SetLastError(reason);
    return false;
}

bool VistelBMP::Decode(VsFile* hFile)
{
    if (!hFile) return Fail("null file handler");
    BmpHeader h;
    if (const char* error = ReadHeaders(hFile, &h)) return Fail(error);
    if (info.nEscape == -1) {
        head.biWidth = (int32_t)h.width;
        head.biHeight = (int32_t)h.height;
        SetLastError("output dimensions returned");
        return true;
    }
    const long size = hFile->Size(), headersEnd = hFile->Tell();
    if (size >= 0 && headersEnd >= h.start &&
        (uint64_t)(size - h.start) < LeastFileBytes(h, (uint64_t)(headersEnd - h.start)))
        return Fail(kTooShort);

    if (!Create(h.width, h.height, h.bpp, VISTEL_FORMAT_BMP)) return Fail("Can't allocate memory");
    // Rows a short file does not reach stay black rather than undefined.
    memset(GetBits(0), 0, head.biSizeImage);
    head.biXPelsPerMeter = h.xPelsPerMeter;
    head.biYPelsPerMeter = h.yPelsPerMeter;
    info.xDPI = (long)floor(h.xPelsPerMeter * 254.0 / 10000.0 + 0.5);
    info.yDPI = (long)floor(h.yPelsPerMeter * 254.0 / 10000.0 + 0.5);
    if (info.nEscape) return Fail("Cancelled");

    ReadColourTable(hFile, h, *this);
    if (info.nEscape) return Fail("Cancelled");

    BYTE* bits = GetBits(0);
    const DWORD stride = GetEffWidth();
    if (h.bpp == 16 || h.bpp == 32) {
        if (!ReadBitFieldRows(hFile, h, *this)) return Fail("Can't allocate memory");
    } else if (h.compression == BI_RLE8) {
        DecodeRle8(hFile, RleCanvas{bits, stride, h.height});
    } else if (h.compression == BI_RLE4) {
        DecodeRle4(hFile, RleCanvas{bits, stride, h.height});
    } else {
        // Uncompressed 1, 4, 8 and 24 bits: the file's rows are the DIB's.
        hFile->Read(bits, 1, head.biSizeImage);
    }

    if (h.topDown) {
        FlipRows(bits, stride, h.height);
        if (pAlpha) FlipRows(pAlpha, h.width, h.height);
    }
    memcpy(pDib, &head, sizeof(BITMAPINFOHEADER));
    return true;
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
