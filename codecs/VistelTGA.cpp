#include "VistelTGA.h"

bool VistelTGA::Decode(VsFile*)
{
    SetLastError("TGA decoding is not available in this build");
    return false;
}

bool VistelTGA::Encode(VsFile*)
{
    SetLastError("TGA encoding is not available in this build");
    return false;
}

bool VistelTGA::CheckFormat(BYTE*, DWORD, basic_image_information*)
{
    return false;
}
