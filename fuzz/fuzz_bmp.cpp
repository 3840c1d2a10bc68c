// Describes and decodes arbitrary bytes as a BMP and through format detection. A decoded
// image must export as RGBA, and a small one must survive a BMP round trip
// unchanged. Header-only mode and the format check run on the same bytes.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "Vistel.h"
#include "Formats.h"
#include "VistelBMP.h"

namespace {

// Headers may claim pictures of hundreds of megabytes that a few bytes
// describe. Decoding them only repeats allocating and clearing a large
// block (the size checks run in header-only mode anyway) and would slow the
// search down a hundredfold, so the full decode is kept to smaller claims.
constexpr uint64_t kMaxFuzzPixels = 1u << 18;

void ExportRgba(Vistel& img)
{
    BYTE* rgba = nullptr;
    long size = 0;
    if (img.Encode2RGBA(rgba, size)) Vistel::FreeMemory(rgba);
}

void RoundTrip(Vistel& img)
{
    if ((uint64_t)img.GetWidth() * img.GetHeight() > 65536) return;
    BYTE* file = nullptr;
    long size = 0;
    if (!formats::Encode(img, file, size, VISTEL_FORMAT_BMP)) __builtin_trap();
    Vistel back;
    if (!formats::Decode(back, file, (DWORD)size, VISTEL_FORMAT_BMP) ||
        back.GetSize() != img.GetSize() ||
        memcmp(back.GetBits(0), img.GetBits(0), img.GetEffWidth() * img.GetHeight()) != 0)
        __builtin_trap();
    Vistel::FreeMemory(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20)) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    BYTE* buffer = bytes.data();
    PictureFacts facts;
    VistelBMP::Describe(buffer, size, &facts);

    basic_image_information info;
    formats::Probe(buffer, (DWORD)size, &info);

    Vistel header;
    header.SetEscape(-1);
    formats::Decode(header, buffer, (DWORD)size, VISTEL_FORMAT_BMP);
    if ((uint64_t)header.GetWidth() * header.GetHeight() > kMaxFuzzPixels) return 0;

    for (DWORD type : {VISTEL_FORMAT_BMP, VISTEL_FORMAT_UNKNOWN}) {
        Vistel img;
        if (!formats::Decode(img, buffer, (DWORD)size, type)) continue;
        ExportRgba(img);
        if (img.GetType() == VISTEL_FORMAT_BMP) RoundTrip(img);
    }
    return 0;
}
