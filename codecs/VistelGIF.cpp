#include "VistelGIF.h"

bool VistelGIF::Decode(VsFile*)
{
    SetLastError("GIF decoding is not available in this build");
    return false;
}

bool VistelGIF::Encode(VsFile*)
{
    SetLastError("GIF encoding is not available in this build");
    return false;
}

bool VistelGIF::Encode(VsFile*, Vistel**, int, bool)
{
    SetLastError("GIF encoding is not available in this build");
    return false;
}

bool VistelGIF::CheckFormat(BYTE*, DWORD, basic_image_information*)
{
    return false;
}
