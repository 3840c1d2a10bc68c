#include "VistelBMP.h"

bool VistelBMP::Decode(VsFile*)
{
    SetLastError("BMP decoding is not available in this build");
    return false;
}

bool VistelBMP::Encode(VsFile*)
{
    SetLastError("BMP encoding is not available in this build");
    return false;
}

bool VistelBMP::CheckFormat(BYTE*, DWORD, basic_image_information*)
{
    return false;
}
