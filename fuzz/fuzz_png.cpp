// PNG description (Describe) and decoding of arbitrary bytes through the dispatch, named as PNG and as
// an unknown type. A decode that fails must say why; one that succeeds is
// encoded again and must decode back to the same RGBA pixels.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Vistel.h"
#include "Formats.h"
#include "VistelPNG.h"

namespace {

// Larger pictures are decoded but not round-tripped, to keep runs fast.
constexpr uint64_t kRoundTripPixels = 1u << 20;

bool ExportRgba(Vistel& img, BYTE*& rgba, long& size)
{
    rgba = nullptr;
    size = 0;
    return img.Encode2RGBA(rgba, size);
}

void RoundTrip(Vistel& img)
{
    if ((uint64_t)img.GetWidth() * img.GetHeight() > kRoundTripPixels) return;
    BYTE* encoded = nullptr;
    long encodedSize = 0;
    if (!formats::Encode(img, encoded, encodedSize, VISTEL_FORMAT_PNG)) abort();

    Vistel again;
    bool decoded = formats::Decode(again, encoded, (DWORD)encodedSize, VISTEL_FORMAT_PNG);
    Vistel::FreeMemory(encoded);
    if (!decoded) abort();

    BYTE *before = nullptr, *after = nullptr;
    long beforeSize = 0, afterSize = 0;
    if (!ExportRgba(img, before, beforeSize) || !ExportRgba(again, after, afterSize)) abort();
    bool same = beforeSize == afterSize && memcmp(before, after, (size_t)beforeSize) == 0;
    Vistel::FreeMemory(before);
    Vistel::FreeMemory(after);
    if (!same) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BYTE* bytes = const_cast<BYTE*>(data);  // decoders only read the buffer
    PictureFacts facts;
    VistelPNG::Describe(bytes, size, &facts);

    Vistel png;
    if (formats::Decode(png, bytes, (DWORD)size, VISTEL_FORMAT_PNG))
        RoundTrip(png);
    else if (png.GetLastError()[0] == '\0')
        abort();

    Vistel any;
    formats::Decode(any, bytes, (DWORD)size, VISTEL_FORMAT_UNKNOWN);
    return 0;
}
