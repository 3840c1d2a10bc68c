// GIF decoding through the codec dispatch: as GIF and as unknown type, one
// frame and all frames, with the RGBA export of every result; a small still
// picture is then written again as a photo write does it, in true colour
// with alpha through the palette reduction and the encoder.
#include <cstdint>
#include <vector>

#include "Quantize.h"
#include "Vistel.h"

static void ExportRgba(Vistel& image)
{
    if (!image.IsValid()) return;
    BYTE* rgba = nullptr;
    long size = 0;
    if (image.Encode2RGBA(rgba, size)) Vistel::FreeMemory(rgba);
}

static void WriteAsGif(const Vistel& image)
{
    if (!image.IsValid() || image.GetNumFrames() > 1 ||
        (uint64_t)image.GetWidth() * image.GetHeight() > 65536)
        return;
    Vistel picture(image);
    if (!picture.IncreaseBpp(24)) return;
    const char* error = nullptr;
    BYTE* file = nullptr;
    long size = 0;
    if (!vsquant::ReduceImage(picture, &error) || !picture.Encode(file, size, VISTEL_FORMAT_GIF))
        __builtin_trap();
    Vistel::FreeMemory(file);
}

static void DecodeAllFrames(std::vector<BYTE>& data, DWORD type, long frames)
{
    Vistel anim;
    anim.RetreiveAllFrame();
    anim.SetFrame(frames - 1);
    if (anim.Decode(data.data(), (DWORD)data.size(), type)) {
        for (long i = 0; i < anim.GetNumFrames(); i++) ExportRgba(*anim.GetFrameNo(i));
    }
    anim.DestroyGifFrames();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    if (size > (1u << 18)) return 0;
    std::vector<BYTE> data(bytes, bytes + size);
    basic_image_information basic;
    Vistel::CheckFormat(data.data(), (DWORD)data.size(), &basic);

    Vistel header;
    header.SetEscape(-1);
    header.Decode(data.data(), (DWORD)data.size(), VISTEL_FORMAT_GIF);
    // Screens of many megapixels only cost time per input: the ceiling
    // checks that guard them are covered by the unit tests.
    if ((uint64_t)header.GetWidth() * header.GetHeight() > (1u << 18)) return 0;

    for (DWORD type : {(DWORD)VISTEL_FORMAT_GIF, (DWORD)VISTEL_FORMAT_UNKNOWN}) {
        Vistel image;
        bool ok = image.Decode(data.data(), (DWORD)data.size(), type);
        ExportRgba(image);
        WriteAsGif(image);
        long frames = image.GetNumFrames();
        if (ok && frames > 1) DecodeAllFrames(data, type, frames);
    }
    return 0;
}
