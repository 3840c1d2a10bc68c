#include "VistelPNG.h"

bool VistelPNG::Decode(VsFile*)
{
    SetLastError("PNG decoding is not available in this build");
    return false;
}

bool VistelPNG::Encode(VsFile*)
{
    SetLastError("PNG encoding is not available in this build");
    return false;
}

bool VistelPNG::CheckFormat(BYTE*, DWORD, basic_image_information*)
{
    return false;
}
