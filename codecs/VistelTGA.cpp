// TGA reading and writing.
//
// Every header field and pixel is little-endian. Pixel data is decoded row
// by row in the file's own layout (1 to 4 bytes per pixel) and then turned
// into DIB order: uncompressed rows come with one Read each, run-length rows
// from a read-ahead block, and 8- and 24-bit rows land straight in the
// bitmap because their layout already is the DIB's.
#include "VistelTGA.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const DWORD kHeaderSize = 18;
const DWORD kMaxColours = 256;
const size_t kReadAhead = 65536;

const BYTE kRightToLeft = 0x10;
const BYTE kTopToBottom = 0x20;

struct tagTgaHeader {
    BYTE IdLength;
    BYTE CmapType;
    BYTE ImageType;
    WORD CmapIndex;
    WORD CmapLength;
    BYTE CmapEntrySize;
    WORD X_Origin;
    WORD Y_Origin;
    WORD ImageWidth;
    WORD ImageHeight;
    BYTE PixelDepth;
    BYTE ImagDesc;
};

// How the file stores one pixel.
enum PixelLayout {
    kIndex8,     // palette or grey index
    kBgr555,     // 15/16 bits: blue 0..4, green 5..9, red 10..14, bit 15 ignored
    kGreyAlpha,  // 16-bit grey: grey byte, then alpha byte
    kBgr,        // 24 bits: blue, green, red
    kBgra        // 32 bits: blue, green, red, alpha
};

WORD GetWord(const BYTE* p)
{
    return (WORD)(p[0] | (p[1] << 8));
}

void PutWord(BYTE* p, WORD w)
{
    p[0] = (BYTE)(w & 0xFF);
    p[1] = (BYTE)(w >> 8);
}

tagTgaHeader ParseHeader(const BYTE* b)
{
    tagTgaHeader h;
    h.IdLength = b[0];
    h.CmapType = b[1];
    h.ImageType = b[2];
    h.CmapIndex = GetWord(b + 3);
    h.CmapLength = GetWord(b + 5);
    h.CmapEntrySize = b[7];
    h.X_Origin = GetWord(b + 8);
    h.Y_Origin = GetWord(b + 10);
    h.ImageWidth = GetWord(b + 12);
    h.ImageHeight = GetWord(b + 14);
    h.PixelDepth = b[16];
    h.ImagDesc = b[17];
    return h;
}

void PackHeader(const tagTgaHeader& h, BYTE* b)
{
    b[0] = h.IdLength;
    b[1] = h.CmapType;
    b[2] = h.ImageType;
    PutWord(b + 3, h.CmapIndex);
    PutWord(b + 5, h.CmapLength);
    b[7] = h.CmapEntrySize;
    PutWord(b + 8, h.X_Origin);
    PutWord(b + 10, h.Y_Origin);
    PutWord(b + 12, h.ImageWidth);
    PutWord(b + 14, h.ImageHeight);
    b[16] = h.PixelDepth;
    b[17] = h.ImagDesc;
}

bool IsCompressed(const tagTgaHeader& h)
{
    return h.ImageType >= 9;
}

bool IsColourMapped(const tagTgaHeader& h)
{
    return (h.ImageType & 7) == 1;
}

bool IsGrey(const tagTgaHeader& h)
{
    return (h.ImageType & 7) == 3;
}

unsigned BytesPerPixel(const tagTgaHeader& h)
{
    return (h.PixelDepth + 7u) / 8u;
}

unsigned CmapEntryBytes(const tagTgaHeader& h)
{
    return (h.CmapEntrySize + 7u) / 8u;
}

bool IsPixelDepth(BYTE depth)
{
    return depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

// Null when the header describes an image this codec reads, under the
// memory ceiling, else the reason.
// Beyond what the format requires, the combinations are kept to the ones
// that make sense (indexed pixels are 8-bit and come with a map, grey is 8
// bits or 8 bits plus alpha, colour maps use 15- to 32-bit entries): with no
// signature to go by, every constraint keeps other data from passing as TGA.
const char* CheckHeader(const tagTgaHeader& h)
{
    switch (h.ImageType) {
    case 1: case 2: case 3: case 9: case 10: case 11: break;
    default: return "Unknown TGA image type";
    }
    if (h.ImageWidth == 0 || h.ImageHeight == 0 || !IsPixelDepth(h.PixelDepth) ||
        h.CmapLength > kMaxColours || h.CmapType > 1)
        return "bad TGA header";
    if (h.CmapType == 1 && h.CmapEntrySize != 15 && h.CmapEntrySize != 16 &&
        h.CmapEntrySize != 24 && h.CmapEntrySize != 32)
        return "bad TGA header";
    bool depthFits;
    if (IsColourMapped(h)) depthFits = h.PixelDepth == 8 && h.CmapType == 1;
    else if (IsGrey(h)) depthFits = h.PixelDepth == 8 || h.PixelDepth == 16;
    else depthFits = h.PixelDepth != 8;
    if (!depthFits) return "bad TGA header";
    // Refused here rather than when the picture is made, so that the format
    // check never reports a size the decoder does not give.
    uint64_t bytes;
    if (!vssize::ImageBytes(h.ImageWidth, h.ImageHeight, h.PixelDepth == 8 ? 8 : 24, &bytes))
        return "TGA dimensions too large";
    return nullptr;
}

PixelLayout LayoutOf(const tagTgaHeader& h)
{
    switch (h.PixelDepth) {
    case 8: return kIndex8;
    case 15: return kBgr555;
    case 16: return IsGrey(h) ? kGreyAlpha : kBgr555;
    case 24: return kBgr;
    default: return kBgra;
    }
}

// Bytes between the end of the header and the first pixel.
uint64_t PrefixBytes(const tagTgaHeader& h)
{
    uint64_t cmap = h.CmapType ? (uint64_t)h.CmapLength * CmapEntryBytes(h) : 0;
    return h.IdLength + cmap;
}

// The fewest bytes of pixel data that can describe the whole image: every
// pixel for raw data, one full-length run per 128 pixels for RLE data.
uint64_t MinPixelBytes(const tagTgaHeader& h)
{
    uint64_t pixels = (uint64_t)h.ImageWidth * h.ImageHeight;
    if (IsCompressed(h)) return (pixels + 127) / 128 * (1 + BytesPerPixel(h));
    return pixels * BytesPerPixel(h);
}

// A 5-bit channel widened by bit replication, so that 31 becomes 255.
inline BYTE Widen5(unsigned v)
{
    v &= 0x1F;
    return (BYTE)((v << 3) | (v >> 2));
}

// One colour map entry (15, 16, 24 or 32 bits) as blue, green, red.
void ReadCmapEntry(const BYTE* e, unsigned entryBytes, BYTE* b, BYTE* g, BYTE* r)
{
    if (entryBytes == 2) {
        unsigned w = GetWord(e);
        *b = Widen5(w);
        *g = Widen5(w >> 5);
        *r = Widen5(w >> 10);
    } else {
        *b = e[0];
        *g = e[1];
        *r = e[2];
    }
}

// Turns one row of file pixels into DIB pixels (and alpha values when
// `alpha` is given). For 8- and 24-bit data src and dst are the same row.
void ConvertRow(PixelLayout layout, const BYTE* src, BYTE* dst, BYTE* alpha, DWORD width)
{
    switch (layout) {
    case kIndex8:
    case kBgr:
        break;
    case kBgr555:
        for (DWORD x = 0; x < width; x++, src += 2, dst += 3) {
            unsigned w = GetWord(src);
            dst[0] = Widen5(w);
            dst[1] = Widen5(w >> 5);
            dst[2] = Widen5(w >> 10);
        }
        break;
    case kGreyAlpha:
        for (DWORD x = 0; x < width; x++, src += 2, dst += 3) {
            dst[0] = dst[1] = dst[2] = src[0];
            alpha[x] = src[1];
        }
        break;
    case kBgra:
        for (DWORD x = 0; x < width; x++, src += 4, dst += 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            alpha[x] = src[3];
        }
        break;
    }
}

// Reverses a row of `width` pixels of `pixelBytes` bytes, and its alpha.
void MirrorRow(BYTE* row, BYTE* alpha, DWORD width, unsigned pixelBytes)
{
    if (width < 2) return;
    for (DWORD l = 0, r = width - 1; l < r; l++, r--) {
        for (unsigned k = 0; k < pixelBytes; k++)
            std::swap(row[l * pixelBytes + k], row[r * pixelBytes + k]);
        if (alpha) std::swap(alpha[l], alpha[r]);
    }
}

// `count` copies of one pixel of `pixelBytes` bytes.
void Replicate(BYTE* dst, const BYTE* pixel, unsigned pixelBytes, DWORD count)
{
    if (pixelBytes == 1) {
        memset(dst, pixel[0], count);
        return;
    }
    for (DWORD i = 0; i < count; i++, dst += pixelBytes) memcpy(dst, pixel, pixelBytes);
}

bool WriteAll(VsFile* f, const void* data, size_t bytes)
{
    return bytes == 0 || f->Write(data, 1, bytes) == bytes;
}

// A 24-bit bitmap row and its alpha as 32-bit file pixels.
void FileRowWithAlpha(const BYTE* px, const BYTE* alpha, BYTE alphaMax, DWORD width, BYTE* out)
{
    for (DWORD x = 0; x < width; x++, px += 3, out += 4) {
        out[0] = px[0];
        out[1] = px[1];
        out[2] = px[2];
        out[3] = (BYTE)(alpha[x] * alphaMax / 255);
    }
}

// One row of `pixelBytes`-byte pixels as run-length packets: a run of two
// or more equal pixels as one repeated value, other pixels as raw packets,
// each packet at most 128 pixels and none crossing into the next row.
void PackRow(const BYTE* row, DWORD width, unsigned pixelBytes, std::vector<BYTE>* out)
{
    out->clear();
    auto same = [&](DWORD a, DWORD b) {
        return memcmp(row + (size_t)a * pixelBytes, row + (size_t)b * pixelBytes, pixelBytes) == 0;
    };
    DWORD x = 0;
    while (x < width) {
        DWORD run = 1;
        while (x + run < width && run < 128 && same(x, x + run)) run++;
        const BYTE* first = row + (size_t)x * pixelBytes;
        if (run > 1) {
            out->push_back((BYTE)(0x80 | (run - 1)));
            out->insert(out->end(), first, first + pixelBytes);
            x += run;
            continue;
        }
        DWORD count = 0;
        while (x < width && count < 128 && !(x + 1 < width && same(x, x + 1))) {
            x++;
            count++;
        }
        out->push_back((BYTE)(count - 1));
        out->insert(out->end(), first, first + (size_t)count * pixelBytes);
    }
}

}  // namespace

// Decoder state: the stream, the row geometry, a read-ahead block for RLE
// data, and the run-length packet in progress, which may carry over from
// one row into the next.
struct VistelTGA::ReadState {
    VsFile* file;
    tagTgaHeader header;
    DWORD width;
    unsigned pixelBytes;

    std::vector<BYTE> block;
    size_t pos = 0;
    size_t end = 0;

    DWORD runLeft = 0;
    bool runIsRaw = false;
    BYTE runPixel[4] = {0, 0, 0, 0};

    // Copies n bytes out of the read-ahead block, refilling it as needed.
    bool Take(BYTE* dst, size_t n)
    {
        while (n > 0) {
            if (pos == end && !Refill()) return false;
            size_t k = std::min(n, end - pos);
            memcpy(dst, block.data() + pos, k);
            pos += k;
            dst += k;
            n -= k;
        }
        return true;
    }

    bool Refill()
    {
        if (block.empty()) block.resize(kReadAhead);
        end = file->Read(block.data(), 1, block.size());
        pos = 0;
        return end > 0;
    }

    // Leaves the stream just after the last byte decoded.
    void ReturnReadAhead()
    {
        if (end > pos) file->Seek(-(long)(end - pos), SEEK_CUR);
        pos = end = 0;
    }
};

bool VistelTGA::CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info)
{
    if (!buffer || size < kHeaderSize) return false;
    tagTgaHeader h = ParseHeader(buffer);
    if (CheckHeader(h)) return false;
    if (basic_info) {
        basic_info->format = VISTEL_FORMAT_TGA;
        basic_info->width = h.ImageWidth;
        basic_info->height = h.ImageHeight;
        basic_info->leastBytes = kHeaderSize + PrefixBytes(h) + MinPixelBytes(h);
    }
    return true;
}

bool VistelTGA::HeaderIsReadable(const BYTE* data, size_t size)
{
    return data && size >= kHeaderSize && !CheckHeader(ParseHeader(data));
}

bool VistelTGA::Describe(const BYTE* data, size_t size, PictureFacts* facts)
{
    basic_image_information info;
    if (!CheckFormat(const_cast<BYTE*>(data), (DWORD)std::min<size_t>(size, 0xFFFFFFFFu), &info))
        return false;
    const tagTgaHeader h = ParseHeader(data);
    *facts = PictureFacts();
    facts->format = VISTEL_FORMAT_TGA;
    facts->width = info.width;
    facts->height = info.height;
    facts->depth = h.PixelDepth;
    const PixelLayout layout = LayoutOf(h);
    facts->alpha = layout == kBgra || layout == kGreyAlpha;
    return true;
}

bool VistelTGA::Decode(VsFile* hFile)
{
    if (!hFile) return false;
    // Decode into a work image so that a failure leaves this one untouched.
    VistelTGA work;
    work.CopyInfo(*this);
    const char* error = work.DecodeImage(hFile);
    if (!error && !Transfer(work)) error = "TGA Create failed";
    if (error) {
        SetLastError(error);
        return false;
    }
    return true;
}

const char* VistelTGA::DecodeImage(VsFile* hFile)
{
    BYTE raw[kHeaderSize];
    if (hFile->Read(raw, 1, kHeaderSize) != kHeaderSize) return "Not a TGA";
    tagTgaHeader h = ParseHeader(raw);
    if (const char* error = CheckHeader(h)) return error;

    BYTE id[255];
    if (h.IdLength && hFile->Read(id, 1, h.IdLength) != h.IdLength) return "corrupted TGA";

    // Refuse before allocating when the data cannot hold what the header
    // announces, so that a few bytes never claim a huge bitmap.
    long size = hFile->Size();
    long at = hFile->Tell();
    if (size >= 0 && at >= 0 && at <= size &&
        (uint64_t)(size - at) < PrefixBytes(h) - h.IdLength + MinPixelBytes(h))
        return "corrupted TGA";

    PixelLayout layout = LayoutOf(h);
    if (!Create(h.ImageWidth, h.ImageHeight, h.PixelDepth == 8 ? 8 : 24, VISTEL_FORMAT_TGA))
        return "TGA Create failed";
    if (layout == kBgra || layout == kGreyAlpha) {
        AlphaCreate();
        if (!AlphaIsValid()) return "TGA Create failed";
    }
    if (info.nEscape) return "Cancelled";

    if (h.CmapType) {
        BYTE cmap[kMaxColours * 4];
        unsigned entryBytes = CmapEntryBytes(h);
        size_t bytes = (size_t)h.CmapLength * entryBytes;
        if (hFile->Read(cmap, 1, bytes) != bytes) return "corrupted TGA";
        // Entries are numbered from CmapIndex; those past the palette are unused.
        for (DWORD i = 0; i < h.CmapLength && h.CmapIndex + i < head.biClrUsed; i++) {
            BYTE b, g, r;
            ReadCmapEntry(cmap + i * entryBytes, entryBytes, &b, &g, &r);
            SetPaletteColor((BYTE)(h.CmapIndex + i), r, g, b, 0);
        }
    }
    if (IsGrey(h) && h.PixelDepth == 8) SetGrayPalette();

    ReadState st;
    st.file = hFile;
    st.header = h;
    st.width = h.ImageWidth;
    st.pixelBytes = BytesPerPixel(h);
    const char* error = ReadPixels(st);
    if (IsCompressed(h)) st.ReturnReadAhead();
    return error;
}

const char* VistelTGA::ReadPixels(ReadState& st)
{
    const tagTgaHeader& h = st.header;
    PixelLayout layout = LayoutOf(h);
    bool inPlace = layout == kIndex8 || layout == kBgr;
    std::vector<BYTE> fileRow(inPlace ? 0 : (size_t)st.width * st.pixelBytes);
    bool topDown = (h.ImagDesc & kTopToBottom) != 0;
    bool rightToLeft = (h.ImagDesc & kRightToLeft) != 0;
    DWORD height = h.ImageHeight;

    for (DWORD n = 0; n < height; n++) {
        if (info.nEscape) return "Cancelled";
        DWORD y = topDown ? height - 1 - n : n;
        BYTE* dst = info.pImage + (size_t)y * info.dwEffWidth;
        BYTE* src = inPlace ? dst : fileRow.data();
        bool complete = IsCompressed(h) ? ExpandCompressedLine(st, src)
                                        : ExpandUncompressedLine(st, src);
        if (!complete) return "corrupted TGA";
        BYTE* alpha = pAlpha ? pAlpha + (size_t)y * st.width : nullptr;
        ConvertRow(layout, src, dst, alpha, st.width);
        if (rightToLeft) MirrorRow(dst, alpha, st.width, head.biBitCount / 8);
    }
    return nullptr;
}

bool VistelTGA::ExpandUncompressedLine(ReadState& st, BYTE* pDest)
{
    size_t bytes = (size_t)st.width * st.pixelBytes;
    return st.file->Read(pDest, 1, bytes) == bytes;
}

// A packet header h announces (h & 0x7F) + 1 pixels: with bit 7 set one
// pixel value repeated, else that many raw values. Packets may run past the
// end of a row; the rest of the packet then starts the next row.
bool VistelTGA::ExpandCompressedLine(ReadState& st, BYTE* pDest)
{
    const unsigned pb = st.pixelBytes;
    DWORD x = 0;
    while (x < st.width) {
        if (st.runLeft == 0) {
            BYTE packet;
            if (!st.Take(&packet, 1)) return false;
            st.runIsRaw = (packet & 0x80) == 0;
            st.runLeft = (packet & 0x7Fu) + 1;
            if (!st.runIsRaw && !st.Take(st.runPixel, pb)) return false;
        }
        DWORD count = std::min(st.runLeft, st.width - x);
        BYTE* out = pDest + (size_t)x * pb;
        if (st.runIsRaw) {
            if (!st.Take(out, (size_t)count * pb)) return false;
        } else {
            Replicate(out, st.runPixel, pb, count);
        }
        x += count;
        st.runLeft -= count;
    }
    return true;
}

bool VistelTGA::Encode(VsFile* hFile)
{
    if (EncodeSafeCheck(hFile)) return false;
    WORD bpp = head.biBitCount;
    if (bpp < 8) {
        SetLastError("Bit depth must be 8 or 24");
        return false;
    }
    DWORD width = GetWidth(), height = GetHeight();
    if (width > 0xFFFF || height > 0xFFFF) {
        SetLastError("Image too large for TGA");
        return false;
    }
    bool indexed = bpp == 8;
    bool withAlpha = !indexed && AlphaIsValid();
    const bool rle = (GetCodecOption(VISTEL_FORMAT_TGA) & TGA_OPT_RLE) != 0;

    tagTgaHeader h;
    memset(&h, 0, sizeof(h));
    h.CmapType = indexed ? 1 : 0;
    h.ImageType = (BYTE)((indexed ? 1 : 2) + (rle ? 8 : 0));
    h.CmapLength = indexed ? kMaxColours : 0;
    h.CmapEntrySize = indexed ? 24 : 0;
    h.ImageWidth = (WORD)width;
    h.ImageHeight = (WORD)height;
    h.PixelDepth = withAlpha ? 32 : (BYTE)bpp;
    BYTE raw[kHeaderSize];
    PackHeader(h, raw);
    bool ok = WriteAll(hFile, raw, kHeaderSize);

    if (ok && indexed) {
        BYTE cmap[kMaxColours * 3];
        const RGBQUAD* pal = GetPalette();
        for (DWORD i = 0; i < kMaxColours; i++) {
            cmap[i * 3] = pal[i].rgbBlue;
            cmap[i * 3 + 1] = pal[i].rgbGreen;
            cmap[i * 3 + 2] = pal[i].rgbRed;
        }
        ok = WriteAll(hFile, cmap, sizeof(cmap));
    }

    const unsigned pixelBytes = withAlpha ? 4 : bpp / 8;
    std::vector<BYTE> row(withAlpha ? (size_t)width * 4 : 0);
    std::vector<BYTE> packed;
    for (DWORD y = 0; ok && y < height; y++) {
        const BYTE* pixels = GetBits(y);
        if (withAlpha) {
            FileRowWithAlpha(pixels, pAlpha + (size_t)y * width, info.nAlphaMax, width, row.data());
            pixels = row.data();
        }
        if (rle) {
            PackRow(pixels, width, pixelBytes, &packed);
            ok = WriteAll(hFile, packed.data(), packed.size());
        } else {
            ok = WriteAll(hFile, pixels, (size_t)width * pixelBytes);
        }
    }

    if (!ok) {
        SetLastError("TGA write failed");
        return false;
    }
    return true;
}
