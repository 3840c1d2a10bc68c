#include "Formats.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "Shrink.h"
#include "VistelBMP.h"
#include "VistelGIF.h"
#include "VistelJPG.h"
#include "VistelPNG.h"
#include "VistelTGA.h"

namespace formats {

namespace {

template <class Codec>
std::unique_ptr<Vistel> Make()
{
    return std::make_unique<Codec>();
}

// How far into a file a header check may have to read. A BMP or TGA header
// is a few hundred bytes at the start, and what it announces is judged by
// the file's length (leastBytes). PNG, GIF and JPEG may put metadata first:
// chunks before the image data, extensions before the first frame,
// segments before the frame header. The largest real writers put there is
// a JPEG's colour profile, at most 255 segments of 64 KiB (16.7 MB), with
// its EXIF and XMP segments; twice that leaves room and stays bounded.
constexpr size_t kFixedHeaderReach = (size_t)64 << 10;
constexpr size_t kMetadataReach = (size_t)32 << 20;

// The probe order. Types with a signature come first, so that data carrying
// one is decoded by that type's codec alone: PNG's eight bytes, "GIF8",
// JPEG's start-of-image marker, BMP's "BM" with a known header size. TGA has
// no signature, only header fields that must make sense together, which
// data of another type could pass: it is tried last.
const Format kFormats[] = {
    {VISTEL_FORMAT_PNG, "PNG", {"png", nullptr}, "\x89PNG\r\n\x1A\n", 8, VistelPNG::CheckFormat,
     Make<VistelPNG>, VistelPNG::Describe, kMetadataReach},
    {VISTEL_FORMAT_GIF, "GIF", {"gif", nullptr}, "GIF8", 4, VistelGIF::CheckFormat,
     Make<VistelGIF>, VistelGIF::Describe, kMetadataReach},
    {VISTEL_FORMAT_JPG, "JPEG", {"jpg", "jpeg", "jpe"}, "\xFF\xD8\xFF", 3,
     VistelJPG::CheckFormat, Make<VistelJPG>, VistelJPG::Describe, kMetadataReach},
    {VISTEL_FORMAT_BMP, "BMP", {"bmp", nullptr}, "BM", 2, VistelBMP::CheckFormat,
     Make<VistelBMP>, VistelBMP::Describe, kFixedHeaderReach},
    {VISTEL_FORMAT_TGA, "TGA", {"tga", nullptr}, nullptr, 0, VistelTGA::CheckFormat,
     Make<VistelTGA>, VistelTGA::Describe, kFixedHeaderReach},
};

// The codec's complaint, naming the codec when its text does not.
void Complain(Vistel& image, const Format& format, const char* reason)
{
    std::string text = reason && *reason ? reason : "cannot decode the data";
    if (text.find(format.name) == std::string::npos) text = std::string(format.name) + ": " + text;
    image.SetLastError(text.c_str());
}

bool DecodeAs(Vistel& image, VsFile* file, const Format& format)
{
    if (image.IsGhost()) {
        image.SetLastError("cannot decode into a ghost image");
        return false;
    }
    std::unique_ptr<Vistel> codec = format.make();
    // The codec sees the caller's settings (frame wanted, scale, options)
    // and decodes into itself, so a failure leaves the image untouched.
    codec->CopyInfo(image);
    // The picture's resolution is its file's, or none.
    codec->SetXDPI(0);
    codec->SetYDPI(0);
    const int scale = image.GetJpegScale();
    if (codec->Decode(file) && (format.type == VISTEL_FORMAT_JPG || image.GetEscape() == -1 ||
                                ShrinkByArea(*codec, scale)))
        return image.Transfer(*codec);
    Complain(image, format, codec->GetLastError());
    return false;
}

bool ReadAll(VsFile* file, std::vector<BYTE>* bytes)
{
    BYTE chunk[65536];
    for (;;) {
        const size_t got = file->Read(chunk, 1, sizeof(chunk));
        if (got == 0) return true;
        if (bytes->size() + got > 0x7FFFFFFF) return false;
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
}

}  // namespace

const Format* All(size_t* count)
{
    *count = sizeof(kFormats) / sizeof(kFormats[0]);
    return kFormats;
}

const Format* ByType(DWORD type)
{
    for (const Format& f : kFormats)
        if (f.type == type) return &f;
    return nullptr;
}

const Format* ByFileName(const char* fileName)
{
    if (!fileName) return nullptr;
    const char* dot = strrchr(fileName, '.');
    if (!dot || strchr(dot, '/')) return nullptr;
    std::string ext(dot + 1);
    for (char& c : ext) c = (char)tolower((unsigned char)c);
    for (const Format& f : kFormats)
        for (const char* e : f.extensions)
            if (e && ext == e) return &f;
    return nullptr;
}

const Format* Probe(const BYTE* data, size_t size, basic_image_information* info,
                    uint64_t dataLength)
{
    basic_image_information scratch;
    if (!info) info = &scratch;
    if (!data || size == 0 || size > 0xFFFFFFFFu) return nullptr;
    if (dataLength < size) dataLength = size;
    for (const Format& f : kFormats) {
        memset(info, 0, sizeof(*info));
        if (!f.check(const_cast<BYTE*>(data), (DWORD)size, info)) continue;
        if (info->leastBytes <= dataLength) return &f;
        if (!f.signature) continue;
        info->width = info->height = 0;
        return &f;
    }
    return nullptr;
}

const Format* BySignature(const BYTE* data, size_t size)
{
    if (!data) return nullptr;
    for (const Format& f : kFormats)
        if (f.signature && size >= f.signatureLength &&
            memcmp(data, f.signature, f.signatureLength) == 0)
            return &f;
    return nullptr;
}

bool Describe(const BYTE* data, size_t size, PictureFacts* facts)
{
    const Format* format = Probe(data, size, nullptr);
    if (!format) format = BySignature(data, size);
    return format && format->describe(data, size, facts);
}

bool Decode(Vistel& image, const BYTE* data, size_t size, DWORD type)
{
    if (!data || size == 0) {
        image.SetLastError("empty file");
        return false;
    }
    if (size > 0xFFFFFFFFu) {
        image.SetLastError("the data is too long");
        return false;
    }
    const Format* format = ByType(type);
    if (type == VISTEL_FORMAT_UNKNOWN) {
        format = Probe(data, size, nullptr);
        if (!format) format = BySignature(data, size);
    }
    if (!format) {
        image.SetLastError("unknown image format");
        return false;
    }
    VsMemFile file(const_cast<BYTE*>(data), (DWORD)size);
    return DecodeAs(image, &file, *format);
}

bool Decode(Vistel& image, VsFile* file, DWORD type)
{
    if (!file) {
        image.SetLastError("null file handler");
        return false;
    }
    if (type != VISTEL_FORMAT_UNKNOWN) {
        const Format* format = ByType(type);
        if (format) return DecodeAs(image, file, *format);
        image.SetLastError("unknown image format");
        return false;
    }
    // The stream goes back where it was when nothing could be decoded.
    const long start = file->Tell();
    std::vector<BYTE> bytes;
    bool ok = ReadAll(file, &bytes);
    if (!ok) image.SetLastError("the data is too long");
    else ok = Decode(image, bytes.data(), bytes.size(), type);
    if (!ok && start >= 0) file->Seek(start, SEEK_SET);
    return ok;
}

bool Load(Vistel& image, const char* fileName, DWORD type)
{
    struct stat st;
    if (!fileName || stat(fileName, &st) != 0) {
        image.SetLastError(strerror(fileName ? errno : EINVAL));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        image.SetLastError("is a directory");
        return false;
    }
    FILE* fp = fopen(fileName, "rb");
    if (!fp) {
        image.SetLastError(strerror(errno));
        return false;
    }
    VsIOFile file(fp);
    const bool ok = Decode(image, &file, type);
    fclose(fp);
    return ok;
}

DWORD OutputType(DWORD named, const char* fileName)
{
    if (ByType(named)) return named;
    const Format* byName = ByFileName(fileName);
    return byName ? byName->type : VISTEL_FORMAT_GIF;
}

bool Encode(Vistel& image, VsFile* file, DWORD type)
{
    const Format* format = ByType(type);
    if (!format) {
        image.SetLastError("Encode: Unknown format");
        return false;
    }
    std::unique_ptr<Vistel> codec = format->make();
    codec->Ghost(&image);
    if (codec->Encode(file)) return true;
    image.SetLastError(codec->GetLastError());
    return false;
}

bool Encode(Vistel& image, BYTE*& buffer, long& size, DWORD type)
{
    if (buffer != nullptr) {
        image.SetLastError("the buffer must be empty");
        return false;
    }
    VsMemFile file;
    if (!file.Open()) {
        image.SetLastError("Encode: can't allocate memory");
        return false;
    }
    if (!Encode(image, &file, type)) return false;
    size = file.Size();
    buffer = file.GetBuffer(true);
    return true;
}

bool Save(Vistel& image, const char* fileName, DWORD type)
{
    FILE* fp = fopen(fileName, "wb");
    if (!fp) {
        image.SetLastError(strerror(errno));
        return false;
    }
    VsIOFile file(fp);
    const bool written = Encode(image, &file, type);
    fclose(fp);
    return written;
}

}  // namespace formats
