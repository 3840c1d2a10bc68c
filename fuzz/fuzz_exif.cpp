// The EXIF reader on raw bytes: the first byte picks the reader mode, the
// rest is parsed both as an APP1 payload and as a JPEG segment stream, which
// is then reduced and written back.
#include <cstdint>
#include <vector>

#include "VsExifInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (1u << 20)) return 0;
    int mode = (data[0] & 3) ? (data[0] & 3) : EXIF_MODE_PARSE;
    data++;
    size--;

    {
        // Exactly sized heap copy: any read past the payload is caught.
        std::vector<BYTE> payload(data, data + size);
        VsExifInfo exif(nullptr);
        exif.process_EXIF(payload.data(), (unsigned)payload.size());
    }

    std::vector<BYTE> stream = {0xFF, 0xD8};
    stream.insert(stream.end(), data, data + size);
    VsMemFile in(stream.data(), (DWORD)stream.size());
    VsExifInfo exif(nullptr);
    exif.DecodeExif(&in, mode);
    VsMemFile out;
    out.Open();
    exif.EncodeExif(&out);
    exif.DiscardAllButExif();
    VsMemFile again(stream.data(), (DWORD)stream.size());
    exif.DecodeExif(&again, EXIF_MODE_KEEP_IMAGE);
    exif.EncodeExif(&out);
    return 0;
}
