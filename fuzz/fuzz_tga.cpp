// Fuzz target for the TGA codec and its Describe, reached through the codec dispatch: the
// data is checked with CheckFormat and decoded both as TGA and as unknown
// type (where TGA, having no signature, is tried after every other codec).
// Whatever decodes is encoded again and must decode to the same pixels.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Vistel.h"
#include "Formats.h"
#include "VistelTGA.h"

namespace {

bool SamePixels(Vistel& a, Vistel& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() ||
        a.GetBpp() != b.GetBpp() || a.AlphaIsValid() != b.AlphaIsValid())
        return false;
    if (a.GetPaletteSize() != b.GetPaletteSize() ||
        (a.GetPaletteSize() && memcmp(a.GetPalette(), b.GetPalette(), a.GetPaletteSize()) != 0))
        return false;
    size_t rowBytes = (size_t)a.GetWidth() * a.GetBpp() / 8;
    for (DWORD y = 0; y < a.GetHeight(); y++) {
        if (memcmp(a.GetBits(y), b.GetBits(y), rowBytes) != 0) return false;
        if (a.AlphaIsValid() &&
            memcmp(a.AlphaGetPointer(0, y), b.AlphaGetPointer(0, y), a.GetWidth()) != 0)
            return false;
    }
    return true;
}

void RoundTrip(Vistel& img)
{
    BYTE* out = nullptr;
    long outSize = 0;
    if (!formats::Encode(img, out, outSize, VISTEL_FORMAT_TGA)) abort();
    Vistel back;
    if (!formats::Decode(back, out, (DWORD)outSize, VISTEL_FORMAT_TGA) || !SamePixels(img, back)) abort();
    Vistel::FreeMemory(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20)) return 0;
    // An exact-size copy, so that any read past the end is caught.
    BYTE* buf = (BYTE*)malloc(size ? size : 1);
    if (!buf) return 0;
    if (size) memcpy(buf, data, size);
    PictureFacts facts;
    VistelTGA::Describe(buf, size, &facts);

    basic_image_information bi;
    formats::Probe(buf, (DWORD)size, &bi);

    Vistel img;
    // The round trip is kept to small pictures: memory streams grow in 4 KB
    // steps, which makes encoding large ones slow under the sanitizers.
    if (formats::Decode(img, buf, (DWORD)size, VISTEL_FORMAT_TGA) &&
        (uint64_t)img.GetWidth() * img.GetHeight() <= 65536)
        RoundTrip(img);

    Vistel any;
    formats::Decode(any, buf, (DWORD)size, VISTEL_FORMAT_UNKNOWN);

    free(buf);
    return 0;
}
