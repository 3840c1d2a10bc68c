// JPEG description (Describe) and decoding through the codec dispatch (as JPEG and as unknown type),
// the header check, decode options, and re-encoding of what was decoded,
// which also writes any EXIF segment the input carried back out.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "Vistel.h"
#include "Formats.h"
#include "VistelJPG.h"

namespace {

// Pictures beyond this many pixels are only header-checked: decoding them
// is slow and proves nothing the smaller ones do not.
constexpr int64_t kMaxFuzzPixels = 1 << 20;
constexpr int64_t kMaxOptionPixels = 1 << 18;
constexpr int64_t kMaxEncodePixels = 1 << 16;

class FuzzJPG : public VistelJPG {
public:
    void Options(uint8_t selector)
    {
        static const DWORD kDecodeOptions[] = {0, JPG_OPT_GREY_DECODE,
                                               JPG_OPT_QUANTIZE | JPG_OPT_ONE_PASS,
                                               JPG_OPT_QUANTIZE | JPG_OPT_DITHER,
                                               JPG_OPT_NO_SMOOTH_UPSAMPLING, JPG_OPT_UPRIGHT};
        SetCodecOption(kDecodeOptions[selector % 6], VISTEL_FORMAT_JPG);
        SetJpegScale((BYTE)((selector >> 3) % 9));
        SetJpegQuality((BYTE)(8 + (selector >> 4) * 16));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20)) return 0;
    std::vector<BYTE> buf(data, data + size);
    PictureFacts facts;
    VistelJPG::Describe(buf.data(), size, &facts);

    basic_image_information bi = {};
    if ((formats::Probe(buf.data(), (DWORD)size, &bi) != nullptr) &&
        (int64_t)bi.width * bi.height > kMaxFuzzPixels)
        return 0;

    // Both entries into the dispatch lead to the same decoder: alternate.
    Vistel img;
    DWORD type = (size & 1) ? VISTEL_FORMAT_JPG : VISTEL_FORMAT_UNKNOWN;
    if (formats::Decode(img, buf.data(), (DWORD)size, type) &&
        (int64_t)img.GetWidth() * img.GetHeight() <= kMaxEncodePixels) {
        BYTE* out = nullptr;
        long outSize = 0;
        if (formats::Encode(img, out, outSize, VISTEL_FORMAT_JPG)) Vistel::FreeMemory(out);
    }
    if ((int64_t)bi.width * bi.height > kMaxOptionPixels) return 0;

    FuzzJPG codec;
    codec.Options(size ? data[size / 2] : 0);
    VsMemFile in(buf.data(), (DWORD)size);
    if (codec.Decode(&in) && (int64_t)codec.GetWidth() * codec.GetHeight() <= kMaxEncodePixels) {
        codec.SetCodecOption(JPG_OPT_PROGRESSIVE | JPG_OPT_OPTIMIZE, VISTEL_FORMAT_JPG);
        VsMemFile out;
        out.Open();
        codec.Encode(&out);
    }
    return 0;
}
