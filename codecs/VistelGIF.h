// GIF codec.
#ifndef VISTEL_VISTELGIF_H
#define VISTEL_VISTELGIF_H

#include "Vistel.h"

class VistelGIF : public Vistel {
public:
    VistelGIF() : Vistel(VISTEL_FORMAT_GIF) {}

    bool Decode(VsFile* hFile);
    bool Encode(VsFile* hFile);
    // Writes pagecount images as one animated GIF.
    bool Encode(VsFile* hFile, Vistel** pImages, int pagecount, bool bLocalColorMap = false);
    // Recognises GIF data from its first bytes and reports its size.
    static bool CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info);
};

#endif
