// GIF description (Describe) and decoding: the file's frames as stored, every frame composed as the
// screen shows it, and a still through the dispatch, as GIF and as unknown
// type, with the RGBA export of every result.
#include <cstdint>
#include <vector>

#include "Formats.h"
#include "GifComposer.h"
#include "GifFile.h"
#include "Quantize.h"
#include "Vistel.h"
#include "VistelGIF.h"

static void ExportRgba(Vistel& image)
{
    if (!image.IsValid()) return;
    BYTE* rgba = nullptr;
    long size = 0;
    if (image.Encode2RGBA(rgba, size)) Vistel::FreeMemory(rgba);
}

// A small still picture is written again as a photo write does it, in
// true colour with alpha through the palette reduction and the encoder.
static void WriteAsGif(const Vistel& image)
{
    if (!image.IsValid() || (uint64_t)image.GetWidth() * image.GetHeight() > 65536) return;
    Vistel picture(image);
    if (!picture.IncreaseBpp(24)) return;
    const char* error = nullptr;
    BYTE* file = nullptr;
    long size = 0;
    if (!vsquant::ReduceImage(picture, &error) ||
        !formats::Encode(picture, file, size, VISTEL_FORMAT_GIF))
        __builtin_trap();
    Vistel::FreeMemory(file);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    if (size > (1u << 18)) return 0;
    std::vector<BYTE> data(bytes, bytes + size);
    formats::Probe(data.data(), data.size(), nullptr);
    PictureFacts facts;
    VistelGIF::Describe(data.data(), data.size(), &facts);

    // Screens of many megapixels only cost time per input: the ceiling
    // checks that guard them are covered by the unit tests.
    vssize::CeilingScope ceiling(1u << 18);
    GifFile gif;
    VsMemFile in(data.data(), (DWORD)data.size());
    if (gif.Read(&in, GifFile::kPixels, vssize::MaxPixels(), nullptr)) {
        GifComposer composer(gif);
        for (size_t i = 0; i < gif.frames.size(); i++) composer.ComposeTo(i);
        if (!gif.frames.empty()) composer.ComposeTo(0);
    }
    for (DWORD type : {(DWORD)VISTEL_FORMAT_GIF, (DWORD)VISTEL_FORMAT_UNKNOWN}) {
        Vistel image;
        formats::Decode(image, data.data(), data.size(), type);
        ExportRgba(image);
        WriteAsGif(image);
    }
    return 0;
}
