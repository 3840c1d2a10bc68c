// Format detection, the decode and encode dispatchers over the codec
// classes, file-name entry points, and the raw RGBA export.
#include <cstring>
#include <memory>
#include <vector>

#include "Vistel.h"
#include "VistelBMP.h"
#include "VistelGIF.h"
#include "VistelJPG.h"
#include "VistelPNG.h"
#include "VistelTGA.h"

namespace {

const char kUnknownFormat[] = "Decode: Unknown or wrong format";

// A codec object for one format; null for anything else.
std::unique_ptr<Vistel> MakeCodec(DWORD imagetype)
{
    switch (imagetype) {
    case VISTEL_FORMAT_BMP: return std::make_unique<VistelBMP>();
    case VISTEL_FORMAT_GIF: return std::make_unique<VistelGIF>();
    case VISTEL_FORMAT_JPG: return std::make_unique<VistelJPG>();
    case VISTEL_FORMAT_PNG: return std::make_unique<VistelPNG>();
    case VISTEL_FORMAT_TGA: return std::make_unique<VistelTGA>();
    default: return nullptr;
    }
}

bool CodecDecode(Vistel* codec, DWORD imagetype, VsFile* hFile)
{
    switch (imagetype) {
    case VISTEL_FORMAT_BMP: return static_cast<VistelBMP*>(codec)->Decode(hFile);
    case VISTEL_FORMAT_GIF: return static_cast<VistelGIF*>(codec)->Decode(hFile);
    case VISTEL_FORMAT_JPG: return static_cast<VistelJPG*>(codec)->Decode(hFile);
    case VISTEL_FORMAT_PNG: return static_cast<VistelPNG*>(codec)->Decode(hFile);
    case VISTEL_FORMAT_TGA: return static_cast<VistelTGA*>(codec)->Decode(hFile);
    default: return false;
    }
}

bool CodecEncode(Vistel* codec, DWORD imagetype, VsFile* hFile)
{
    switch (imagetype) {
    case VISTEL_FORMAT_BMP: return static_cast<VistelBMP*>(codec)->Encode(hFile);
    case VISTEL_FORMAT_GIF: return static_cast<VistelGIF*>(codec)->Encode(hFile);
    case VISTEL_FORMAT_JPG: return static_cast<VistelJPG*>(codec)->Encode(hFile);
    case VISTEL_FORMAT_PNG: return static_cast<VistelPNG*>(codec)->Encode(hFile);
    case VISTEL_FORMAT_TGA: return static_cast<VistelTGA*>(codec)->Encode(hFile);
    default: return false;
    }
}

// Order in which an unknown type is tried.
const DWORD kDecodeOrder[] = {VISTEL_FORMAT_BMP, VISTEL_FORMAT_JPG, VISTEL_FORMAT_GIF,
                              VISTEL_FORMAT_PNG, VISTEL_FORMAT_TGA};

}  // namespace

// ----------------------------------------------------------- construction

Vistel::Vistel(const char* filename, DWORD imagetype)
{
    Startup(imagetype);
    Load(filename, imagetype);
}

Vistel::Vistel(FILE* stream, DWORD imagetype)
{
    Startup(imagetype);
    Decode(stream, imagetype);
}

Vistel::Vistel(VsFile* stream, DWORD imagetype)
{
    Startup(imagetype);
    Decode(stream, imagetype);
}

Vistel::Vistel(BYTE* buffer, DWORD size, DWORD imagetype)
{
    Startup(imagetype);
    Decode(buffer, size, imagetype);
}

// -------------------------------------------------------------- detection

bool Vistel::CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info)
{
    if (!basic_info) return false;
    memset(basic_info, 0, sizeof(*basic_info));
    if (!buffer) return false;
    return VistelBMP::CheckFormat(buffer, size, basic_info) ||
           VistelJPG::CheckFormat(buffer, size, basic_info) ||
           VistelGIF::CheckFormat(buffer, size, basic_info) ||
           VistelPNG::CheckFormat(buffer, size, basic_info) ||
           VistelTGA::CheckFormat(buffer, size, basic_info);
}

// --------------------------------------------------------------- decoding

bool Vistel::Decode(VsFile* hFile, DWORD imagetype)
{
    if (!hFile) {
        SetLastError("null file handler");
        return false;
    }

    // The codec object sees the caller's settings (frame wanted, all-frames
    // request, JPEG scale, options, escape) but never the caller's frame set:
    // a failed attempt destroys the codec object, and with it only what that
    // attempt made.
    auto prepare = [this](Vistel* codec) {
        codec->CopyInfo(*this);
        codec->info.GifFrames = nullptr;
        codec->info.pGhost = nullptr;
    };

    if (imagetype == VISTEL_FORMAT_UNKNOWN) {
        long pos = hFile->Tell();
        for (DWORD type : kDecodeOrder) {
            std::unique_ptr<Vistel> codec = MakeCodec(type);
            prepare(codec.get());
            if (CodecDecode(codec.get(), type, hFile)) {
                Transfer(*codec);
                return true;
            }
            hFile->Seek(pos, SEEK_SET);
        }
        SetLastError(kUnknownFormat);
        return false;
    }

    std::unique_ptr<Vistel> codec = MakeCodec(imagetype);
    if (!codec) {
        SetLastError(kUnknownFormat);
        return false;
    }
    prepare(codec.get());
    if (CodecDecode(codec.get(), imagetype, hFile)) {
        Transfer(*codec);
        return true;
    }
    SetLastError(codec->GetLastError());
    // The frame count tells a caller how many frames the file holds; an
    // image that owns a frame set keeps the count that matches its set.
    if (imagetype == VISTEL_FORMAT_GIF && !(info.bGetAllFrames && info.GifFrames))
        info.nNumFrames = codec->info.nNumFrames;
    return false;
}

bool Vistel::Decode(FILE* hFile, DWORD imagetype)
{
    VsIOFile file(hFile);
    return Decode(&file, imagetype);
}

bool Vistel::Decode(BYTE* buffer, DWORD size, DWORD imagetype)
{
    VsMemFile file(buffer, size);
    return Decode(&file, imagetype);
}

bool Vistel::Load(const char* filename, DWORD imagetype)
{
    if (!filename) return false;
    if (imagetype > VISTEL_FORMAT_UNKNOWN && imagetype < CMAX_IMAGE_FORMATS) {
        FILE* fp = fopen(filename, "rb");
        if (!fp) return false;
        bool ok = Decode(fp, imagetype);
        fclose(fp);
        if (ok) return true;
    }

    char specificError[256];
    memcpy(specificError, info.szLastError, sizeof(specificError));

    FILE* fp = fopen(filename, "rb");
    if (!fp) return false;
    bool ok = Decode(fp, VISTEL_FORMAT_UNKNOWN);
    fclose(fp);
    if (ok) return true;
    if (imagetype != VISTEL_FORMAT_UNKNOWN) SetLastError(specificError);
    return false;
}

// --------------------------------------------------------------- encoding

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

bool Vistel::Encode(VsFile* hFile, DWORD imagetype)
{
    std::unique_ptr<Vistel> codec = MakeCodec(imagetype);
    if (!codec) {
        SetLastError("Encode: Unknown format");
        return false;
    }
    codec->Ghost(this);
    if (CodecEncode(codec.get(), imagetype, hFile)) return true;
    SetLastError(codec->GetLastError());
    return false;
}

bool Vistel::Encode(FILE* hFile, DWORD imagetype)
{
    VsIOFile file(hFile);
    return Encode(&file, imagetype);
}

bool Vistel::Encode(BYTE*& buffer, long& size, DWORD imagetype)
{
    if (buffer != nullptr) {
        SetLastError("the buffer must be empty");
        return false;
    }
    VsMemFile file;
    if (!file.Open()) {
        SetLastError("Vistel::Encode can't allocate memory");
        return false;
    }
    if (!Encode(&file, imagetype)) return false;
    size = file.Size();
    buffer = file.GetBuffer(true);
    return true;
}

bool Vistel::Save(const char* filename, DWORD imagetype)
{
    FILE* fp = fopen(filename, "wb");
    if (!fp) return false;
    bool ok = Encode(fp, imagetype);
    fclose(fp);
    return ok;
}

bool Vistel::Encode(VsFile* hFile, Vistel** pImages, int pagecount, DWORD imagetype)
{
    if (imagetype != VISTEL_FORMAT_GIF) {
        SetLastError("Multipage Encode, Unsupported operation for this format");
        return false;
    }
    VistelGIF codec;
    codec.Ghost(this);
    if (codec.Encode(hFile, pImages, pagecount, false)) return true;
    SetLastError(codec.GetLastError());
    return false;
}

bool Vistel::Encode(FILE* hFile, Vistel** pImages, int pagecount, DWORD imagetype)
{
    VsIOFile file(hFile);
    return Encode(&file, pImages, pagecount, imagetype);
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
                // Indices unpacked as BlindGetPixelIndex does, without a
                // call per pixel.
                const BYTE index = bpp == 8   ? src[x]
                                   : bpp == 4 ? (BYTE)((x & 1) ? src[x >> 1] & 0x0F : src[x >> 1] >> 4)
                                              : (BYTE)((src[x >> 3] >> (7 - (x & 7))) & 1);
                const RGBQUAD& c = lut[index];
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
