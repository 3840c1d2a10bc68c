#include "VistelJPG.h"

bool VistelJPG::Decode(VsFile*)
{
    SetLastError("JPEG decoding is not available in this build");
    return false;
}

bool VistelJPG::Encode(VsFile*)
{
    SetLastError("JPEG encoding is not available in this build");
    return false;
}

bool VistelJPG::CheckFormat(BYTE*, DWORD, basic_image_information*)
{
    return false;
}
