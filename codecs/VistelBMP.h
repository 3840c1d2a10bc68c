// BMP codec.
#ifndef VISTEL_VISTELBMP_H
#define VISTEL_VISTELBMP_H

#include "Vistel.h"

class VistelBMP : public Vistel {
public:
    VistelBMP() : Vistel(VISTEL_FORMAT_BMP) {}

    bool Decode(VsFile* hFile);
    bool Encode(VsFile* hFile);
    // Recognises BMP data from its first bytes and reports its size.
    static bool CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info);
};

#endif
