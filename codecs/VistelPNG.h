// PNG codec.
#ifndef VISTEL_VISTELPNG_H
#define VISTEL_VISTELPNG_H

#include "Vistel.h"

class VistelPNG : public Vistel {
public:
    VistelPNG() : Vistel(VISTEL_FORMAT_PNG) {}

    bool Decode(VsFile* hFile);
    bool Encode(VsFile* hFile);
    // Recognises PNG data from its first bytes and reports its size.
    static bool CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info);
};

#endif
