// ::Vistel::Resize, Thumbnail, Colorize and Rotate. Each is one operation on
// an image, done to a still photo's pixels, or to every frame of an
// animated one as it is shown.
#include <cmath>
#include <cstring>
#include <string>

#include "Animation.h"
#include "Commands.h"
#include "PhotoBlock.h"
#include "PhotoPixels.h"
#include "PhotoPut.h"

namespace {

const char kBadColor[] = "Invalid Color for background";

// Does the operation to the photo: to its pixels, or to its animation.
int Apply(Tcl_Interp* interp, Tk_PhotoHandle photo, const animation::FrameOperation& op)
{
    InterpCeiling ceiling(interp);
    if (animation::IsAnimated(photo)) return animation::Transform(interp, photo, op);
    Vistel image;
    if (!PhotoToImage(interp, photo, &image)) return TCL_ERROR;
    std::string error;
    if (!op(image, &error)) return VistelError(interp, error.c_str(), "IMAGE");
    return ReplacePhoto(interp, photo, image);
}

// The colour a word names, or false (with our message) when it names none.
bool GetColor(Tcl_Interp* interp, Tcl_Obj* word, BYTE* r, BYTE* g, BYTE* b)
{
    Tk_Window main = MainWindow(interp);
    if (!main) return false;
    XColor* color = Tk_AllocColorFromObj(interp, main, word);
    if (!color) {
        Tcl_ResetResult(interp);
        VistelError(interp, kBadColor, "COLOR");
        return false;
    }
    *r = (BYTE)(color->red >> 8);
    *g = (BYTE)(color->green >> 8);
    *b = (BYTE)(color->blue >> 8);
    return true;
}

bool Failed(const Vistel& image, std::string* error)
{
    *error = image.GetLastError();
    return false;
}

int GetSize(Tcl_Interp* interp, Tcl_Obj* const objv[], int* width, int* height)
{
    if (Tcl_GetIntFromObj(interp, objv[0], width) != TCL_OK ||
        Tcl_GetIntFromObj(interp, objv[1], height) != TCL_OK)
        return VistelError(interp, nullptr, "VALUE");
    if (*width <= 0 || *height <= 0)
        return VistelError(interp, "new_width and new_height must be greater than zero", "VALUE");
    return TCL_OK;
}

// Readable names of the interpolation methods, in the order of their values.
const char* const kRotateMethods[] = {
    "nearest", "bilinear", "bspline", "bicubic", "bicubic2", "lanczos", "box", "hermite",
    "hamming", "sinc", "blackman", "bessel", "gaussian", "quadratic", "mitchell", "catrom",
    nullptr};

}  // namespace

int ResizeCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 4) return Usage(interp, "::Vistel::Resize", "photoImage_name new_width new_height");
    int width, height;
    if (GetSize(interp, objv + 2, &width, &height) != TCL_OK) return TCL_ERROR;
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return TCL_ERROR;
    if (!animation::IsAnimated(photo)) {
        InterpCeiling ceiling(interp);
        vsresize::Rgba picture;
        return PutResized(interp, photo,
                          vsresize::Resize(PhotoView(photo), width, height,
                                           vsresize::Filter::Bicubic, &picture),
                          picture);
    }
    return Apply(interp, photo, [width, height](Vistel& image, std::string* error) {
        return image.Resample(width, height, 2) || Failed(image, error);
    });
}

int ThumbnailCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 5 && objc != 7)
        return Usage(interp, "::Vistel::Thumbnail",
                     "photoImage_name new_width new_height bordercolor ?-alpha value? ");
    int width, height;
    if (GetSize(interp, objv + 2, &width, &height) != TCL_OK) return TCL_ERROR;
    BYTE r, g, b;
    if (!GetColor(interp, objv[4], &r, &g, &b)) return TCL_ERROR;
    int alpha = 255;
    if (objc == 7) {
        if (strcmp(Tcl_GetString(objv[5]), "-alpha") != 0)
            return VistelError(interp, "Wrong option, should be \"-alpha\"", "OPTION");
        if (Tcl_GetIntFromObj(interp, objv[6], &alpha) != TCL_OK)
            return VistelError(interp, nullptr, "VALUE");
        alpha %= 256;
    }
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return TCL_ERROR;
    if (!animation::IsAnimated(photo)) {
        InterpCeiling ceiling(interp);
        const uint8_t border[4] = {r, g, b, (uint8_t)(alpha & 0xFF)};
        vsresize::Rgba picture;
        return PutResized(interp, photo,
                          vsresize::Thumbnail(PhotoView(photo), width, height, border, &picture),
                          picture);
    }
    const RGBQUAD canvas = {b, g, r, (BYTE)(alpha & 0xFF)};
    return Apply(interp, photo, [width, height, canvas](Vistel& image, std::string* error) {
        // The border is transparent where its colour's alpha says so.
        if (canvas.rgbReserved != 255) image.AlphaCreate();
        return image.Thumbnail(width, height, canvas) || Failed(image, error);
    });
}

int ColorizeCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 3 && objc != 4)
        return Usage(interp, "::Vistel::Colorize", "photoImage_name color ?opacity?");
    double opacity = 1.0;
    if (objc == 4) {
        if (Tcl_GetDoubleFromObj(nullptr, objv[3], &opacity) != TCL_OK)
            return VistelError(interp, "The opacity you specified is not a valid number",
                               "OPACITY", "NUMBER");
        if (!(opacity >= 0.0 && opacity <= 1.0))
            return VistelError(interp, "The opacity you specified is not between 0 and 1",
                               "OPACITY", "RANGE");
    }
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return TCL_ERROR;
    BYTE red, green, blue;
    if (!GetColor(interp, objv[2], &red, &green, &blue)) return TCL_ERROR;
    return Apply(interp, photo, [red, green, blue, opacity](Vistel& image, std::string*) {
        // Each channel is scaled by the colour's component / 255, alpha by
        // the opacity.
        const long w = (long)image.GetWidth(), h = (long)image.GetHeight();
        if (opacity != 1.0) image.AlphaCreate();
        for (long y = 0; y < h; y++) {
            BYTE* p = image.GetBits((DWORD)y);
            for (long x = 0; x < w; x++, p += 3) {
                p[0] = (BYTE)(p[0] * blue / 255);
                p[1] = (BYTE)(p[1] * green / 255);
                p[2] = (BYTE)(p[2] * red / 255);
            }
            if (opacity != 1.0) {
                BYTE* a = image.AlphaGetPointer(0, y);
                for (long x = 0; x < w; x++) a[x] = (BYTE)(int)(a[x] * opacity);
            }
        }
        return true;
    });
}

int RotateCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 3 && objc != 4)
        return Usage(interp, "::Vistel::Rotate", "photoImage_name angle ?method?");
    double angle;
    if (Tcl_GetDoubleFromObj(interp, objv[2], &angle) != TCL_OK)
        return VistelError(interp, nullptr, "VALUE");
    int method = Vistel::IM_BICUBIC - 1;
    if (objc == 4 &&
        Tcl_GetIndexFromObj(interp, objv[3], kRotateMethods, "method", 0, &method) != TCL_OK)
        return VistelError(interp, nullptr, "VALUE");
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return TCL_ERROR;
    int w, h;
    Tk_PhotoGetSize(photo, &w, &h);
    if ((w <= 0 || h <= 0) && !animation::IsAnimated(photo)) return TCL_OK;  // nothing to turn
    // Whole turns fold away so that the angle keeps its precision as a float.
    const float turn = (float)fmod(angle, 360.0);
    return Apply(interp, photo, [turn, method](Vistel& image, std::string* error) {
        // Corners a free turn uncovers come out transparent.
        if (!image.IsIndexed()) image.AlphaCreate();
        return image.Rotate2(turn, nullptr, (Vistel::InterpolationMethod)(method + 1),
                             Vistel::OM_BACKGROUND) ||
               Failed(image, error);
    });
}
