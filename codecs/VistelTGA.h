// TGA codec.
#ifndef VISTEL_VISTELTGA_H
#define VISTEL_VISTELTGA_H

#include "Vistel.h"

class VistelTGA : public Vistel {
public:
    VistelTGA() : Vistel(VISTEL_FORMAT_TGA) {}

    bool Decode(VsFile* hFile);
    bool Encode(VsFile* hFile);
    // Recognises TGA data from its first bytes and reports its size.
    static bool CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info);
};

#endif
