#include "VistelPNG.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>

#include <zlib.h>

// libpng reports errors by long-jumping back to the setjmp in ReadGuarded or
// WriteGuarded. Nothing between those points and libpng may own a resource
// through a destructor: all state lives in the plain ReadState/WriteState
// structs and is released by Decode/Encode after the guarded call returns.

namespace {

// No side of a picture within the ceiling is longer than the ceiling itself;
// longer headers are refused when IHDR is read.
png_uint_32 MaxSide()
{
    const uint64_t most = vssize::MaxPixels();
    return most > 0x7FFFFFFF ? 0x7FFFFFFF : (png_uint_32)most;
}
// Ancillary chunks kept in memory, and the largest chunk (or decompressed
// text/profile) libpng may allocate for.
constexpr png_uint_32 kMaxCachedChunks = 128;
constexpr png_alloc_size_t kMaxChunkBytes = 8000000;
// Ancillary chunks the image has no use for. libpng would buffer (and clear)
// each one whole, whatever length it claims; skipped, they are only read
// through.
constexpr png_byte kSkippedChunks[] =
    "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0hIST\0tIME\0sCAL\0pCAL\0oFFs\0sBIT";
constexpr int kNumSkippedChunks = (int)(sizeof(kSkippedChunks) / 5);
// Dots per inch from pHYs pixels per metre.
long MetreToDpi(png_uint_32 perMetre)
{
    return (long)floor(perMetre * 254.0 / 10000.0 + 0.5);
}

// Stores the file's bKGD colour, when it has one, in *out as 8-bit RGB.
// Palette files get their entry's colour from libpng.
void KeepBackground(png_structp png, png_infop pi, int colorType, int depth, RGBQUAD* out)
{
    png_color_16p bk = nullptr;
    if (!png_get_bKGD(png, pi, &bk) || !bk) return;
    png_uint_16 rgb[3] = {bk->red, bk->green, bk->blue};
    if (!(colorType & PNG_COLOR_MASK_COLOR)) rgb[0] = rgb[1] = rgb[2] = bk->gray;
    BYTE level[3];
    for (int c = 0; c < 3; c++) {
        unsigned v = rgb[c];
        if (colorType != PNG_COLOR_TYPE_PALETTE && depth == 16) v >>= 8;
        else if (colorType != PNG_COLOR_TYPE_PALETTE && depth < 8) v = v * 255 / ((1u << depth) - 1);
        level[c] = (BYTE)(v > 255 ? 255 : v);
    }
    *out = RGBQUAD{level[2], level[1], level[0], 0};
}

// Widens a row of 2-bit pixels (four to a byte, first pixel in the top bits)
// to 4-bit pixels (two to a byte, first pixel in the high nibble), in place.
// Walking from the last pixel back, no source bits are overwritten before
// they are read.
void Expand2To4(BYTE* row, DWORD width)
{
    for (DWORD x = width; x-- > 0;) {
        BYTE v = (BYTE)((row[x >> 2] >> ((3 - (x & 3)) * 2)) & 3);
        BYTE& d = row[x >> 1];
        if (x & 1)
            d = (BYTE)((d & 0xF0) | v);
        else
            d = (BYTE)((d & 0x0F) | (v << 4));
    }
}

// Rows of files with an alpha channel arrive as blue, green, red, alpha;
// the image keeps colour in the DIB row and alpha in its own plane.
void SplitBgra(const BYTE* src, BYTE* bgr, BYTE* alpha, DWORD width)
{
    for (DWORD x = 0; x < width; x++, src += 4, bgr += 3) {
        bgr[0] = src[0];
        bgr[1] = src[1];
        bgr[2] = src[2];
        alpha[x] = src[3];
    }
}

// The same for the pixels of one Adam7 pass: libpng fills only those in
// the row it hands back, so only those are taken.
void SplitBgraPass(const BYTE* src, BYTE* bgr, BYTE* alpha, DWORD width, int pass)
{
    const DWORD step = PNG_PASS_COL_OFFSET(pass);
    for (DWORD x = PNG_PASS_START_COL(pass); x < width; x += step) {
        const BYTE* p = src + 4 * (size_t)x;
        BYTE* q = bgr + 3 * (size_t)x;
        q[0] = p[0];
        q[1] = p[1];
        q[2] = p[2];
        alpha[x] = p[3];
    }
}

// Deflate makes at most 1,032 bytes of one compressed byte (four 2-bit
// codes a byte, each a copy of 258 bytes): image data holding fewer than
// the rows' bytes over 1,032 belongs to no valid file.
constexpr uint64_t kMaxInflation = 1032;

// The fewest bytes the rows inflate to: each row's filter byte and samples.
// Interlaced passes hold the same samples in shorter rows, whose total is
// never below the picture's own bits. Sizes are within the ceiling here.
uint64_t FilteredBytes(uint64_t width, uint64_t height, uint64_t pixelBits, bool interlaced)
{
    if (interlaced) return width * height * pixelBits / 8;
    return height * (1 + (width * pixelBits + 7) / 8);
}

uint32_t BigEndian32(const BYTE* p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

// How far the image data reaches: enough to inflate to `needed` bytes; too
// short, its run of IDAT chunks ended by another chunk; or cut, the data
// ending inside the run (a check may have only a file's first bytes).
enum class Reach { kEnough, kShort, kCut };

// Follows the run of IDAT chunks from the first, whose data the stream is
// at once libpng has read the header chunks, adding up their lengths until
// they can hold `needed` inflated bytes. The stream is left where it was.
Reach ImageDataReach(VsFile* f, uint64_t needed)
{
    const long start = f->Tell();
    Reach reach = Reach::kCut;
    uint64_t held = 0;
    BYTE header[8];
    for (long at = start - 8; at >= 0 && f->Seek(at, SEEK_SET) && f->Read(header, 1, 8) == 8;
         at += 12 + (long)BigEndian32(header)) {
        if (memcmp(header + 4, "IDAT", 4) != 0) {
            reach = Reach::kShort;
            break;
        }
        held += BigEndian32(header);
        if (held * kMaxInflation >= needed) {
            reach = Reach::kEnough;
            break;
        }
    }
    f->Seek(start, SEEK_SET);
    return reach;
}

BYTE ScaleAlpha(BYTE a, BYTE alphaMax)
{
    return (BYTE)((unsigned)a * alphaMax / 255);
}

}  // namespace

struct VistelPNG::ReadState {
    png_structp png;
    png_infop info;
    VistelPNG* img;       // the picture being built; moved into place on success
    BYTE* rowBuf;         // one BGRA row, for files read with an alpha plane
    png_uint_32 width;
    png_uint_32 height;
    size_t rowBytes;      // bytes libpng writes per row after the transformations
    int passes;
    bool withAlpha;
    bool widen2bit;
};

struct VistelPNG::WriteState {
    png_structp png;
    png_infop info;
    BYTE* rowBuf;         // one RGBA row
    bool tempAlpha;       // alpha plane made here for a 24-bit transparent colour
    bool rgba;
    int interlace;
    png_color palette[256];
    png_byte trans[256];
    int numTrans;
    char error[256];      // libpng's text; encoding reports its own message
};

// ---------------------------------------------------------------- callbacks

void VistelPNG::user_read_data(png_structp png, png_bytep data, size_t length)
{
    VsFile* hFile = (VsFile*)png_get_io_ptr(png);
    if (hFile->Read(data, 1, length) != length) png_error(png, "Read Error");
}

void VistelPNG::user_write_data(png_structp png, png_bytep data, size_t length)
{
    VsFile* hFile = (VsFile*)png_get_io_ptr(png);
    if (hFile->Write(data, 1, length) != length) png_error(png, "Write Error");
}

void VistelPNG::user_flush_data(png_structp png)
{
    VsFile* hFile = (VsFile*)png_get_io_ptr(png);
    if (!hFile->Flush()) png_error(png, "Flush Error");
}

void VistelPNG::user_error_fn(png_structp png, png_const_charp error_msg)
{
    char* text = (char*)png_get_error_ptr(png);
    if (text) {
        strncpy(text, error_msg ? error_msg : "", 255);
        text[255] = '\0';
    }
    png_longjmp(png, 1);
}

void VistelPNG::user_warning_fn(png_structp, png_const_charp) {}

// ---------------------------------------------------------------- detection

// The chunks before the image data, walked by their lengths: IHDR, then
// tRNS (transparency) and pHYs (resolution) where present.
bool VistelPNG::Describe(const BYTE* data, size_t size, PictureFacts* facts)
{
    static const BYTE kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto be32 = [](const BYTE* p) {
        return (DWORD)p[0] << 24 | (DWORD)p[1] << 16 | (DWORD)p[2] << 8 | p[3];
    };
    if (!data || size < 33 || memcmp(data, kSignature, 8) != 0 || memcmp(data + 12, "IHDR", 4) != 0)
        return false;
    const BYTE* ihdr = data + 16;
    static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    const BYTE colorType = ihdr[9];
    if (colorType > 6 || !kChannels[colorType]) return false;
    *facts = PictureFacts();
    facts->format = VISTEL_FORMAT_PNG;
    facts->width = (int)std::min<DWORD>(be32(ihdr), INT32_MAX);
    facts->height = (int)std::min<DWORD>(be32(ihdr + 4), INT32_MAX);
    facts->depth = ihdr[8] * kChannels[colorType];
    facts->alpha = colorType == 4 || colorType == 6;
    facts->interlaced = ihdr[12] == 1;
    for (size_t at = 8; size - at >= 12;) {
        const DWORD length = be32(data + at);
        const BYTE* type = data + at + 4;
        if (length > size - at - 12 || memcmp(type, "IDAT", 4) == 0) break;
        const BYTE* body = type + 4;
        if (memcmp(type, "tRNS", 4) == 0) facts->alpha = true;
        if (memcmp(type, "pHYs", 4) == 0 && length == 9 && body[8] == 1) {
            facts->xDpi = (long)floor(be32(body) * 0.0254 + 0.5);
            facts->yDpi = (long)floor(be32(body + 4) * 0.0254 + 0.5);
        }
        at += 12 + (size_t)length;
    }
    return true;
}

bool VistelPNG::CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info)
{
    if (!buffer || !basic_info || size < 4) return false;
    if (buffer[0] != 0x89 || buffer[1] != 'P' || buffer[2] != 'N' || buffer[3] != 'G') return false;
    VsMemFile file(buffer, size);
    VistelPNG probe;
    probe.SetEscape(-1);
    const bool readable = probe.Decode(&file);
    // libpng read to the end of the data: its first image data lies beyond.
    if (!readable && file.Eof()) return false;
    basic_info->format = VISTEL_FORMAT_PNG;
    basic_info->width = readable ? (int32_t)probe.GetWidth() : 0;
    basic_info->height = readable ? (int32_t)probe.GetHeight() : 0;
    if (readable) basic_info->leastBytes = probe.leastBytes_;
    return true;
}

// ---------------------------------------------------------------- decoding

bool VistelPNG::Decode(VsFile* hFile)
{
    if (!hFile) {
        SetLastError("null file handler");
        return false;
    }
    ReadState st;
    memset(&st, 0, sizeof(st));
    bool ok = ReadGuarded(&st, hFile);
    if (st.png) png_destroy_read_struct(&st.png, st.info ? &st.info : nullptr, nullptr);
    free(st.rowBuf);
    if (ok && info.nEscape == -1) {
        head.biWidth = (int32_t)st.width;
        head.biHeight = (int32_t)st.height;
        SetLastError("output dimensions returned");
    } else if (ok && !Transfer(*st.img)) {
        SetLastError("PNG: cannot decode into a ghost image");
        ok = false;
    }
    if (st.img) {
        delete st.img;
    }
    return ok;
}

bool VistelPNG::ReadGuarded(ReadState* st, VsFile* hFile)
{
    st->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!st->png) {
        SetLastError("Failed to create PNG structure");
        return false;
    }
    st->info = png_create_info_struct(st->png);
    if (!st->info) {
        SetLastError("Failed to initialize PNG info structure");
        return false;
    }
    // libpng errors and short reads land here, their text already in
    // szLastError; the caller releases everything.
    if (setjmp(png_jmpbuf(st->png))) return false;

    png_set_read_fn(st->png, hFile, user_read_data);
    png_set_error_fn(st->png, info.szLastError, user_error_fn, user_warning_fn);
    png_set_user_limits(st->png, MaxSide(), MaxSide());
    png_set_chunk_cache_max(st->png, kMaxCachedChunks);
    png_set_chunk_malloc_max(st->png, kMaxChunkBytes);
    png_set_keep_unknown_chunks(st->png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(st->png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks,
                                kNumSkippedChunks);

    st->img = new (std::nothrow) VistelPNG();
    if (!st->img) {
        SetLastError("PNG: out of memory");
        return false;
    }
    st->img->CopyInfo(*this);

    png_read_info(st->png, st->info);
    if (!ReadHeader(st)) return false;
    if (info.nEscape == -1) return true;
    if (!ReadRows(st)) return false;
    png_read_end(st->png, st->info);
    return true;
}

// Chooses the transformations, creates the picture and fills its palette,
// transparency, resolution and options from the header chunks. In
// header-only mode (nEscape -1) it stops once the size is checked.
bool VistelPNG::ReadHeader(ReadState* st)
{
    png_structp png = st->png;
    png_infop pi = st->info;
    VistelPNG* img = st->img;

    int depth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, pi, &st->width, &st->height, &depth, &colorType, &interlace, nullptr,
                 nullptr);
    int pixelDepth = png_get_channels(png, pi) * depth;
    // Files with an alpha channel, and grey and RGB files with a tRNS colour,
    // are read as RGBA into 24 bits and an alpha plane: what the file stores,
    // nothing composited onto a background, no gamma applied.
    st->withAlpha = (colorType & PNG_COLOR_MASK_ALPHA) ||
                    (colorType != PNG_COLOR_TYPE_PALETTE && png_get_valid(png, pi, PNG_INFO_tRNS));
    if (depth == 16) png_set_strip_16(png);

    DWORD bpp = st->withAlpha || pixelDepth > 16 ? 24 : pixelDepth == 16 ? 8 : (DWORD)pixelDepth;
    st->widen2bit = bpp == 2;
    uint64_t bytes;
    if (!vssize::ImageBytes(st->width, st->height, bpp, &bytes) ||
        (st->withAlpha && !vssize::PixelBufferBytes(st->width, st->height, 1, &bytes))) {
        SetLastError(vssize::kTooLarge);
        return false;
    }
    // Refused before the picture is made when the image data could not
    // inflate to its rows. A header-only read (the format check) may have
    // only a file's first bytes: there leastBytes_ tells whoever knows the
    // whole length what it must be.
    VsFile* file = (VsFile*)png_get_io_ptr(png);
    const uint64_t needed = FilteredBytes(st->width, st->height, (uint64_t)pixelDepth,
                                          interlace != PNG_INTERLACE_NONE);
    const Reach reach = ImageDataReach(file, needed);
    leastBytes_ = (uint64_t)file->Tell() + (needed + kMaxInflation - 1) / kMaxInflation;
    if (reach == Reach::kShort || (reach == Reach::kCut && info.nEscape != -1)) {
        SetLastError("the image data cannot fill the image");
        return false;
    }
    if (info.nEscape == -1) return true;
    if (!img->Create(st->width, st->height, bpp, VISTEL_FORMAT_PNG)) {
        SetLastError(img->GetLastError());
        return false;
    }
    // bKGD stays in the image for those who ask for it.
    KeepBackground(png, pi, colorType, depth, &img->info.nBkgndColor);

    png_uint_32 xRes = 0, yRes = 0;
    int unit = PNG_RESOLUTION_UNKNOWN;
    // pHYs without a unit states only the pixels' aspect ratio.
    png_get_pHYs(png, pi, &xRes, &yRes, &unit);
    const bool metres = unit == PNG_RESOLUTION_METER;
    img->SetXDPI(metres ? MetreToDpi(xRes) : 0);
    img->SetYDPI(metres ? MetreToDpi(yRes) : 0);

    RGBQUAD* pal = img->GetPalette();
    DWORD numColors = img->GetNumColors();
    png_colorp filePalette = nullptr;
    int filePaletteSize = 0;
    if (pal) {
        if (png_get_PLTE(png, pi, &filePalette, &filePaletteSize) && filePaletteSize > 0) {
            DWORD n = (DWORD)filePaletteSize < numColors ? (DWORD)filePaletteSize : numColors;
            for (DWORD i = 0; i < n; i++) {
                pal[i].rgbRed = filePalette[i].red;
                pal[i].rgbGreen = filePalette[i].green;
                pal[i].rgbBlue = filePalette[i].blue;
            }
        } else if (depth == 2) {
            for (DWORD i = 0; i < 4; i++)
                pal[i].rgbRed = pal[i].rgbGreen = pal[i].rgbBlue = (BYTE)(i * 85);
        } else {
            for (DWORD i = 0; i < numColors; i++)
                pal[i].rgbRed = pal[i].rgbGreen = pal[i].rgbBlue =
                    (BYTE)(i * (255 / (numColors - 1)));
        }
    }

    // tRNS of a palette file is per-entry alpha. (Grey and RGB tRNS name a
    // sample value, not an alpha table: those files have an alpha plane.)
    png_bytep trans = nullptr;
    int numTrans = 0;
    if (pal && colorType == PNG_COLOR_TYPE_PALETTE &&
        png_get_tRNS(png, pi, &trans, &numTrans, nullptr) && trans && numTrans > 0) {
        DWORD n = (DWORD)numTrans < numColors ? (DWORD)numTrans : numColors;
        for (DWORD i = 0; i < n; i++) pal[i].rgbReserved = trans[i];
        if (numTrans == 1 && pal[0].rgbReserved == 0) {
            img->info.nBkgndIndex = 0;
        } else {
            img->info.bAlphaPaletteEnabled = true;
            for (DWORD i = n; i < numColors; i++) pal[i].rgbReserved = 255;
        }
    }

    if (st->withAlpha) {
        // Expanding turns a tRNS colour into alpha 0 for exactly the samples
        // equal to it, compared at the file's depth (16 bits included).
        png_set_expand(png);
        if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        img->AlphaCreate();
        if (!img->AlphaIsValid()) {
            SetLastError("PNG: not enough memory for the alpha plane");
            return false;
        }
    }
    if (colorType & PNG_COLOR_MASK_COLOR) png_set_bgr(png);

    st->passes = png_set_interlace_handling(png);
    img->SetCodecOption(st->passes > 1 ? 1 : 0, VISTEL_FORMAT_PNG);
    png_read_update_info(png, pi);

    // What libpng will now deliver must fit the rows we hand it.
    st->rowBytes = png_get_rowbytes(png, pi);
    bool fits = st->withAlpha ? st->rowBytes == (size_t)st->width * 4
                              : st->rowBytes > 0 && st->rowBytes <= img->info.dwEffWidth;
    if (!fits || png_get_bit_depth(png, pi) > 8) {
        SetLastError("PNG: unexpected row layout");
        return false;
    }
    return true;
}

// Reads every pass into the picture: whole rows straight into the DIB (for
// Adam7 libpng merges each pass into what the earlier ones left there), or,
// with alpha, through one BGRA row split into DIB row and alpha plane.
bool VistelPNG::ReadRows(ReadState* st)
{
    VistelPNG* img = st->img;
    BYTE* bits = img->info.pImage;
    const size_t eff = img->info.dwEffWidth;
    const DWORD width = st->width, height = st->height;
    const bool interlaced = st->passes > 1;

    if (info.nEscape) return false;
    if (st->withAlpha) {
        st->rowBuf = (BYTE*)calloc(st->rowBytes, 1);
        if (!st->rowBuf) {
            SetLastError("PNG: not enough memory for a row");
            return false;
        }
    }

    for (int pass = 0; pass < st->passes; pass++) {
        const bool lastPass = pass == st->passes - 1;
        for (DWORD y = 0; y < height; y++) {
            if (info.nEscape) return false;
            const DWORD dibRow = height - 1 - y;
            BYTE* row = bits + eff * dibRow;
            if (st->withAlpha) {
                BYTE* alpha = img->pAlpha + (size_t)width * dibRow;
                if (pass == 0) memset(row + (size_t)width * 3, 0, eff - (size_t)width * 3);
                png_read_row(st->png, st->rowBuf, nullptr);
                if (!interlaced)
                    SplitBgra(st->rowBuf, row, alpha, width);
                else if (PNG_ROW_IN_INTERLACE_PASS(y, pass))
                    SplitBgraPass(st->rowBuf, row, alpha, width, pass);
            } else {
                // Defined padding, and defined pixels for passes that skip
                // this row.
                if (pass == 0) {
                    size_t keep = interlaced ? 0 : st->rowBytes - 1;
                    memset(row + keep, 0, eff - keep);
                }
                png_read_row(st->png, row, nullptr);
                if (st->widen2bit && lastPass) Expand2To4(row, width);
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------- encoding

bool VistelPNG::Encode(VsFile* hFile)
{
    if (EncodeSafeCheck(hFile)) return false;
    WriteState st;
    memset(&st, 0, sizeof(st));
    bool ok = WriteGuarded(&st, hFile);
    if (st.png) png_destroy_write_struct(&st.png, st.info ? &st.info : nullptr);
    free(st.rowBuf);
    if (st.tempAlpha) AlphaDelete();
    return ok;
}

bool VistelPNG::WriteGuarded(WriteState* st, VsFile* hFile)
{
    st->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!st->png) {
        SetLastError("Failed to create PNG structure");
        return false;
    }
    st->info = png_create_info_struct(st->png);
    if (!st->info) {
        SetLastError("Failed to initialize PNG info structure");
        return false;
    }
    if (setjmp(png_jmpbuf(st->png))) {
        SetLastError("Error saving PNG file");
        return false;
    }
    png_set_error_fn(st->png, st->error, user_error_fn, user_warning_fn);
    png_set_write_fn(st->png, hFile, user_write_data, user_flush_data);

    png_structp png = st->png;
    png_infop pi = st->info;
    const png_uint_32 width = GetWidth(), height = GetHeight();
    st->interlace = GetCodecOption(VISTEL_FORMAT_PNG) == 1 ? PNG_INTERLACE_ADAM7
                                                           : PNG_INTERLACE_NONE;

    png_color_16 background = {0, 255, 255, 255, 0};
    if (info.nBkgndIndex != -1) {
        background.red = info.nBkgndColor.rgbRed;
        background.green = info.nBkgndColor.rgbGreen;
        background.blue = info.nBkgndColor.rgbBlue;
    }
    png_set_bKGD(png, pi, &background);
    // The resolution when the picture has one; an axis without one takes
    // the other's.
    const int32_t x = head.biXPelsPerMeter, y = head.biYPelsPerMeter;
    const png_uint_32 xRes = (png_uint_32)(x ? x : y), yRes = (png_uint_32)(y ? y : x);
    if (xRes) png_set_pHYs(png, pi, xRes, yRes, PNG_RESOLUTION_METER);

    if (IsIndexed()) WritePaletteChunks(st);
    if (!MarkTransparentColour(st)) {
        SetLastError("Error saving PNG file");
        return false;
    }
    st->rgba = AlphaIsValid();
    if (st->rgba) {
        png_set_IHDR(png, pi, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, st->interlace,
                     PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    } else if (IsIndexed()) {
        if (st->numTrans > 0) png_set_tRNS(png, pi, st->trans, st->numTrans, nullptr);
    } else {
        png_set_IHDR(png, pi, width, height, 8, PNG_COLOR_TYPE_RGB, st->interlace,
                     PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    }
    if (!IsIndexed() || st->rgba) ChooseTrueColourCompression(png);
    png_write_info(png, pi);
    WriteRows(st);
    png_write_end(png, pi);
    return true;
}

// Photographs are most of what is written in true colour, and for them
// libpng's defaults (every filter tried on every row, zlib level 6) cost
// four to five times the time of the choice here for a file only about a
// seventh smaller: the left-neighbour filter on every row, zlib's fastest
// level. The pixels written are the same either way.
void VistelPNG::ChooseTrueColourCompression(png_structp png)
{
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, Z_BEST_SPEED);
}

// IHDR, PLTE and the transparency table of an indexed image. A transparent
// index is moved to entry 0 (pixels included), the one index tRNS can name
// cheaply; small pictures get a PLTE cut after the highest index in use.
void VistelPNG::WritePaletteChunks(WriteState* st)
{
    png_set_IHDR(st->png, st->info, GetWidth(), GetHeight(), GetBpp(), PNG_COLOR_TYPE_PALETTE,
                 st->interlace, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);

    const DWORD numColors = GetNumColors();
    if (info.nBkgndIndex >= 0 && (DWORD)info.nBkgndIndex < numColors) {
        st->trans[0] = 0;
        st->numTrans = 1;
        if (info.nBkgndIndex != 0) {
            SwapIndex(0, (BYTE)info.nBkgndIndex);
            // The pixels now name the transparent colour by index 0.
            if (info.pGhost)
                info.pGhost->SetTransIndex(0);
            else
                SetTransIndex(0);
        }
    }

    DWORD n = numColors;
    if (n > 2 && (uint64_t)GetWidth() * GetHeight() <= 65535) {
        BYTE highest = 0;
        for (DWORD y = 0; y < GetHeight(); y++) {
            const BYTE* row = info.pImage + (size_t)info.dwEffWidth * y;
            for (DWORD x = 0; x < GetWidth(); x++) {
                BYTE idx = GetBpp() == 8 ? row[x] : (BYTE)((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
                if (idx > highest) highest = idx;
            }
        }
        n = (DWORD)highest + 1;
    }

    const RGBQUAD* pal = GetPalette();
    if (info.bAlphaPaletteEnabled) {
        for (DWORD i = 0; i < n; i++) st->trans[i] = pal[i].rgbReserved;
        st->numTrans = (int)n;
    }
    for (DWORD i = 0; i < n; i++) {
        st->palette[i].red = pal[i].rgbRed;
        st->palette[i].green = pal[i].rgbGreen;
        st->palette[i].blue = pal[i].rgbBlue;
    }
    png_set_PLTE(st->png, st->info, st->palette, (int)n);
}

// A 24-bit image with a transparent colour is written as RGBA in which
// exactly the pixels of that colour are transparent. False when the alpha
// plane cannot be made.
bool VistelPNG::MarkTransparentColour(WriteState* st)
{
    if (GetBpp() != 24 || info.nBkgndIndex < 0) return true;
    if (!AlphaIsValid()) {
        AlphaCreate();
        if (!AlphaIsValid()) return false;
        st->tempAlpha = true;
    }
    const RGBQUAD key = GetTransColor();
    const DWORD width = GetWidth();
    for (DWORD y = 0; y < GetHeight(); y++) {
        const BYTE* px = info.pImage + (size_t)info.dwEffWidth * y;
        BYTE* alpha = pAlpha + (size_t)width * y;
        for (DWORD x = 0; x < width; x++, px += 3)
            if (px[0] == key.rgbBlue && px[1] == key.rgbGreen && px[2] == key.rgbRed) alpha[x] = 0;
    }
    return true;
}

// Hands libpng every row top first, once per pass (libpng picks each Adam7
// pass's pixels). Palette and RGB rows go out straight from the DIB.
void VistelPNG::WriteRows(WriteState* st)
{
    png_structp png = st->png;
    const DWORD width = GetWidth(), height = GetHeight();
    const size_t eff = info.dwEffWidth;

    if (!st->rgba) {
        if (!IsIndexed()) png_set_bgr(png);
        const int passes = png_set_interlace_handling(png);
        for (int pass = 0; pass < passes; pass++)
            for (DWORD row = height; row-- > 0;) png_write_row(png, info.pImage + eff * row);
        return;
    }

    st->rowBuf = (BYTE*)malloc((size_t)width * 4 + 10);
    if (!st->rowBuf) png_error(png, "out of memory");
    const RGBQUAD* pal = GetPalette();
    const BYTE alphaMax = info.nAlphaMax;
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; pass++) {
        for (DWORD row = height; row-- > 0;) {
            const BYTE* src = info.pImage + eff * row;
            const BYTE* alpha = pAlpha + (size_t)width * row;
            BYTE* out = st->rowBuf;
            for (DWORD x = 0; x < width; x++, out += 4) {
                if (pal) {
                    BYTE idx = GetBpp() == 8   ? src[x]
                               : GetBpp() == 4 ? (BYTE)((src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15)
                                               : (BYTE)((src[x >> 3] >> (7 - (x & 7))) & 1);
                    out[0] = pal[idx].rgbRed;
                    out[1] = pal[idx].rgbGreen;
                    out[2] = pal[idx].rgbBlue;
                } else {
                    out[0] = src[3 * x + 2];
                    out[1] = src[3 * x + 1];
                    out[2] = src[3 * x];
                }
                out[3] = ScaleAlpha(alpha[x], alphaMax);
            }
            png_write_row(png, st->rowBuf);
        }
    }
}
