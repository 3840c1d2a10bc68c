// The EXIF reader on raw bytes, parsed both as an APP1 payload and as a JPEG
// segment stream.
#include <cstdint>
#include <vector>

#include "VsExifInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20)) return 0;
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
    exif.DecodeExif(&in);
    return 0;
}
