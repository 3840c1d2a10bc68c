#include "procs.h"

#include <cmath>
#include <cstdlib>

#include "../image/Vistel.h"
#include "TkVistel.h"

namespace {

int NotAvailable(Tcl_Interp* interp, Tcl_Obj* const objv[])
{
    Tcl_AppendResult(interp, Tcl_GetString(objv[0]), " is not available in this build",
                     (char*)nullptr);
    return TCL_ERROR;
}

}  // namespace

int Tk_Convert(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_Resize(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_Colorize(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_Thumbnail(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_IsAnimated(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_DisableAnimation(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_EnableAnimation(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_NumberOfFrames(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

int Tk_JumpToFrame(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const objv[])
{
    return NotAvailable(interp, objv);
}

namespace {

// Readable names of the interpolation methods, in the order of their values.
const char* const RotateMethodNames[] = {
    "nearest", "bilinear", "bspline", "bicubic", "bicubic2", "lanczos", "box", "hermite",
    "hamming", "sinc", "blackman", "bessel", "gaussian", "quadratic", "mitchell", "catrom",
    nullptr};

// Builds a 24-bit image with alpha plane from a photo's block.
int PhotoToImage(Tcl_Interp* interp, Tk_PhotoImageBlock& block, Vistel& image)
{
    uint64_t bytes;
    if (!vssize::Product((uint64_t)block.width, (uint64_t)block.height, 4, &bytes)) {
        Tcl_AppendResult(interp, "VISTEL_MAX_MEMORY exceeded", (char*)nullptr);
        return TCL_ERROR;
    }
    BYTE* buffer = (BYTE*)malloc((size_t)bytes);
    if (!buffer) {
        Tcl_AppendResult(interp, "not enough memory to convert the photo", (char*)nullptr);
        return TCL_ERROR;
    }
    RGB2BGR(&block, buffer);
    const bool ok = image.CreateFromArray(buffer, block.width, block.height, 32,
                                          (DWORD)block.width * 4, true);
    free(buffer);
    if (!ok) {
        Tcl_AppendResult(interp, image.GetLastError(), (char*)nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

// Gives the photo the image's size and replaces all its pixels. The pixels
// are exported before the photo is touched, so a failure leaves it as it was.
int ImageToPhoto(Tcl_Interp* interp, Vistel& image, Tk_PhotoHandle photo)
{
    BYTE* rgba = nullptr;
    long size = 0;
    if (!image.Encode2RGBA(rgba, size)) {
        Tcl_AppendResult(interp, image.GetLastError(), (char*)nullptr);
        return TCL_ERROR;
    }
    const int w = (int)image.GetWidth(), h = (int)image.GetHeight();
    Tk_PhotoImageBlock block;
    block.pixelPtr = rgba;
    block.width = w;
    block.height = h;
    block.pitch = w * 4;
    block.pixelSize = 4;
    block.offset[0] = 0;
    block.offset[1] = 1;
    block.offset[2] = 2;
    block.offset[3] = image.AlphaIsValid() ? 3 : 0;
    int result = Tk_PhotoSetSize(interp, photo, w, h);
    if (result == TCL_OK)
        result = Tk_PhotoPutBlock(interp, photo, &block, 0, 0, w, h, TK_PHOTO_COMPOSITE_SET);
    Vistel::FreeMemory(rgba);
    return result;
}

}  // namespace

int Tk_Rotate(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 3 && objc != 4) {
        Tcl_AppendResult(interp, "Wrong number of args.\nShould be \"", "::Vistel::Rotate",
                         " photoImage_name angle ?method?\"", (char*)nullptr);
        return TCL_ERROR;
    }
    double angle;
    if (Tcl_GetDoubleFromObj(interp, objv[2], &angle) != TCL_OK) return TCL_ERROR;
    int methodIndex = Vistel::IM_BICUBIC - 1;
    if (objc == 4 &&
        Tcl_GetIndexFromObj(interp, objv[3], RotateMethodNames, "method", 0, &methodIndex) !=
            TCL_OK)
        return TCL_ERROR;
    Tk_PhotoHandle photo = Tk_FindPhoto(interp, Tcl_GetString(objv[1]));
    if (!photo) {
        Tcl_AppendResult(interp, "The image you specified is not a valid photo image",
                         (char*)nullptr);
        return TCL_ERROR;
    }

    Vistel image;
    Tk_PhotoImageBlock block;
    Tk_PhotoGetImage(photo, &block);
    if (block.width <= 0 || block.height <= 0) return TCL_OK;
    if (PhotoToImage(interp, block, image) != TCL_OK) return TCL_ERROR;
    // Whole turns fold away so that the angle keeps its precision as a
    // float; corners a free turn uncovers stay transparent.
    const float turn = (float)fmod(angle, 360.0);
    image.AlphaCreate();
    if (!image.Rotate2(turn, nullptr, (Vistel::InterpolationMethod)(methodIndex + 1),
                       Vistel::OM_BACKGROUND)) {
        Tcl_AppendResult(interp, image.GetLastError(), (char*)nullptr);
        return TCL_ERROR;
    }
    return ImageToPhoto(interp, image, photo);
}
