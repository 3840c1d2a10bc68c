// JPEG codec.
#ifndef VISTEL_VISTELJPG_H
#define VISTEL_VISTELJPG_H

#include "Vistel.h"

class VistelJPG : public Vistel {
public:
    VistelJPG() : Vistel(VISTEL_FORMAT_JPG) {}

    bool Decode(VsFile* hFile);
    bool Encode(VsFile* hFile);
    // Recognises JPEG data from its first bytes and reports its size.
    static bool CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info);
};

#endif
