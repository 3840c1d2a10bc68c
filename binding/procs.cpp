// The ::Vistel:: commands: animation control, file conversion and the
// photo operations.
#include "Vistel.h"

#include "procs.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "PhotoFormat.h"
#include "Quantize.h"
#include "TkVistel.h"

namespace {

const char kNotAPhoto[] = "The image you specified is not a valid photo image";
const char kBadColor[] = "Invalid Color for background";

int Usage(Tcl_Interp* interp, const char* command, const char* words)
{
    Tcl_AppendResult(interp, "Wrong number of args.\nShould be \"", command, " ", words, "\"",
                     (char*)nullptr);
    return VistelError(interp, nullptr, "USAGE");
}

int NotAPhoto(Tcl_Interp* interp)
{
    return VistelError(interp, kNotAPhoto, "PHOTO", "NOTFOUND");
}

// A Tcl routine (number parsing, photo sizing) failed with its own message.
int TclFailed(Tcl_Interp* interp, const char* code)
{
    return VistelError(interp, nullptr, code);
}

// A file that could not be read or written: a failed open or write left
// Tcl's message in the result (code IO); otherwise the image's codec failed.
int FileFailed(Tcl_Interp* interp, Vistel& image, const char* codecCode)
{
    const bool ioFailed = *Tcl_GetStringResult(interp) != '\0';
    return VistelError(interp, image.GetLastError(), ioFailed ? "IO" : codecCode);
}

// The photo named by objv[1] and its animation record (null when still).
Tk_PhotoHandle FindPhoto(Tcl_Interp* interp, Tcl_Obj* name)
{
    return Tk_FindPhoto(interp, Tcl_GetString(name));
}

// Builds a 24-bit image with alpha plane from the photo's pixels; false
// with the reason in the result. `hasAlpha` tells whether the block carried
// an alpha channel.
bool PhotoToImage(Tcl_Interp* interp, Tk_PhotoHandle photo, Vistel& image, bool* hasAlpha)
{
    Tk_PhotoImageBlock block;
    Tk_PhotoGetImage(photo, &block);
    uint64_t bytes;
    if (block.width <= 0 || block.height <= 0 ||
        !vssize::Product((uint64_t)block.width, (uint64_t)block.height, 4, &bytes)) {
        VistelError(interp,
                    block.width <= 0 || block.height <= 0
                        ? "Vistel::Create : width and height must be greater than zero"
                        : "VISTEL_MAX_MEMORY exceeded",
                    "IMAGE");
        return false;
    }
    BYTE* buffer = (BYTE*)malloc((size_t)bytes);
    if (!buffer) {
        VistelError(interp, "not enough memory to convert the photo", "MEMORY");
        return false;
    }
    *hasAlpha = RGB2BGR(&block, buffer) != 0;
    bool ok = image.CreateFromArray(buffer, block.width, block.height, 32,
                                    (DWORD)block.width * 4, true);
    free(buffer);
    if (!ok) VistelError(interp, image.GetLastError(), "IMAGE");
    return ok;
}

// The low 8 bits of a colour word's components, or false when it is none.
bool GetColor(Tcl_Interp* interp, Tcl_Obj* word, BYTE* r, BYTE* g, BYTE* b)
{
    XColor* color = Tk_AllocColorFromObj(interp, Tk_MainWindow(interp), word);
    if (!color) return false;
    *r = (BYTE)(color->red & 0xFF);
    *g = (BYTE)(color->green & 0xFF);
    *b = (BYTE)(color->blue & 0xFF);
    return true;
}

}  // namespace

// ------------------------------------------------------------ animation

int Tk_EnableAnimation(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 2) return Usage(interp, "::Vistel::StartAnimation", "photoImage_name");
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return NotAPhoto(interp);
    gif_info* Info = TkVistel_lstGetItem(photo);
    if (!Info || Info->Enabled) return TCL_OK;
    Info->Enabled = 1;
    if (!Info->timerToken) ScheduleNextFrame(Info, Info->image->GetFrameNo(Info->CurrentFrame));
    return TCL_OK;
}

int Tk_DisableAnimation(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 2) return Usage(interp, "::Vistel::StopAnimation", "photoImage_name");
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return NotAPhoto(interp);
    gif_info* Info = TkVistel_lstGetItem(photo);
    if (!Info || !Info->Enabled) return TCL_OK;
    Info->Enabled = 0;
    if (Info->timerToken) {
        Tcl_DeleteTimerHandler(Info->timerToken);
        Info->timerToken = nullptr;
    }
    return TCL_OK;
}

int Tk_NumberOfFrames(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 2) return Usage(interp, "::Vistel::NumberOfFrames", "photoImage_name");
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return NotAPhoto(interp);
    gif_info* Info = TkVistel_lstGetItem(photo);
    Tcl_SetObjResult(interp, Tcl_NewIntObj(Info ? (int)Info->NumFrames : 1));
    return TCL_OK;
}

int Tk_JumpToFrame(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 3)
        return Usage(interp, "::Vistel::JumpToFrame", "photoImage_name frame_number");
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return NotAPhoto(interp);
    gif_info* Info = TkVistel_lstGetItem(photo);
    if (!Info) return VistelError(interp, "The image you specified is not an animated image", "PHOTO",
                                  "NOTANIMATED");
    int frameNumber;
    if (Tcl_GetIntFromObj(interp, objv[2], &frameNumber) != TCL_OK)
        return TclFailed(interp, "VALUE");
    if (frameNumber < 0)
        return VistelError(interp, "Bad frame number : can't be negative", "FRAME", "NEGATIVE");
    if ((unsigned int)frameNumber >= Info->NumFrames)
        return VistelError(interp, "The image you specified hasn't enough frames", "FRAME",
                           "RANGE");
    Info->CurrentFrame = (unsigned int)frameNumber;
    Vistel* frame = Info->image->GetFrameNo(frameNumber);
    const int w = (int)frame->GetWidth(), h = (int)frame->GetHeight();
    Tk_ImageChanged(Info->ImageMaster, 0, 0, w, h, w, h);
    return TCL_OK;
}

// ------------------------------------------------------- files and photos

int LoadFromFile(Tcl_Interp* interp, Vistel* image, const char* fileName, int Type)
{
    Tcl_Channel chan = Tcl_OpenFileChannel(interp, fileName, "r", 0);
    if (!chan) return 0;
    if (Type == 0) Type = GetFileTypeFromFileName(fileName);
    if (Type == 0) Type = VISTEL_FORMAT_GIF;
    Tcl_SetChannelOption(interp, chan, "-encoding", "binary");
    Tcl_SetChannelOption(interp, chan, "-translation", "binary");
    Tcl_Obj* data = Tcl_NewObj();
    Tcl_IncrRefCount(data);
    Tcl_ReadChars(chan, data, -1, 0);
    Tcl_Close(interp, chan);

    int length = 0;
    BYTE* bytes = Tcl_GetByteArrayFromObj(data, &length);
    const DWORD order[] = {(DWORD)Type, VISTEL_FORMAT_GIF, VISTEL_FORMAT_PNG,
                           VISTEL_FORMAT_JPG, VISTEL_FORMAT_TGA, VISTEL_FORMAT_BMP};
    bool ok = false;
    for (DWORD type : order) {
        if (image->Decode(bytes, (DWORD)length, type)) {
            ok = true;
            break;
        }
    }
    Tcl_DecrRefCount(data);
    return ok ? 1 : 0;
}

int Tk_IsAnimated(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 2) return Usage(interp, "::Vistel::IsAnimated", "Filename");
    if (Tcl_IsSafe(interp))
        return VistelError(interp, "::Vistel::IsAnimated is not available in a safe interpreter",
                           "SAFE");
    const char* fileName = Tcl_GetString(objv[1]);
    Vistel image;
    if (!LoadFromFile(interp, &image, fileName, GetFileTypeFromFileName(fileName)))
        return FileFailed(interp, image, "DECODE");
    Tcl_SetObjResult(interp, Tcl_NewBooleanObj(image.GetNumFrames() > 1));
    return TCL_OK;
}

int Tk_Convert(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 3) return Usage(interp, "::Vistel::Convert", "FilenameIn FilenameOut");
    if (Tcl_IsSafe(interp))
        return VistelError(interp, "::Vistel::Convert is not available in a safe interpreter",
                           "SAFE");
    const char* in = Tcl_GetString(objv[1]);
    const char* out = Tcl_GetString(objv[2]);
    const int inType = GetFileTypeFromFileName(in);
    int outType = GetFileTypeFromFileName(out);

    Vistel image;
    if (!LoadFromFile(interp, &image, in, inType)) return FileFailed(interp, image, "DECODE");
    const long frames = image.GetNumFrames();
    if (outType == 0 || frames > 1) outType = VISTEL_FORMAT_GIF;
    if (frames > 1) {
        image.RetreiveAllFrame();
        image.SetFrame(frames - 1);
        if (!LoadFromFile(interp, &image, in, inType)) return FileFailed(interp, image, "DECODE");
    }
    const char* error = nullptr;
    if (outType == VISTEL_FORMAT_GIF && !vsquant::ReduceImage(image, &error))
        return VistelError(interp, error, "IMAGE");
    if (!SaveToFile(interp, &image, out, outType)) return FileFailed(interp, image, "ENCODE");
    return TCL_OK;
}

int Tk_Resize(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 4)
        return Usage(interp, "::Vistel::Resize", "photoImage_name new_width new_height");
    int width, height;
    if (Tcl_GetIntFromObj(interp, objv[2], &width) != TCL_OK) return TclFailed(interp, "VALUE");
    if (Tcl_GetIntFromObj(interp, objv[3], &height) != TCL_OK) return TclFailed(interp, "VALUE");
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return NotAPhoto(interp);

    gif_info* Info = TkVistel_lstGetItem(photo);
    if (Info) {
        for (unsigned int i = 0; i < Info->NumFrames; i++)
            Info->image->GetFrameNo(i)->Resample(width, height, 1);
        ReleaseFrameBuffer(Info);
        if (Tk_PhotoSetSize(interp, photo, width, height) != TCL_OK)
            return TclFailed(interp, "MEMORY");
        return TCL_OK;
    }

    Vistel image;
    bool hasAlpha;
    if (!PhotoToImage(interp, photo, image, &hasAlpha)) return TCL_ERROR;
    if (!hasAlpha) image.AlphaDelete();
    if (!image.Resample(width, height, 2))
        return VistelError(interp, image.GetLastError(), "IMAGE");
    return CopyImageToTk(interp, &image, photo, (int)image.GetWidth(), (int)image.GetHeight(), 1);
}

int Tk_Thumbnail(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 5 && objc != 7)
        return Usage(interp, "::Vistel::Thumbnail",
                     "photoImage_name new_width new_height bordercolor ?-alpha value? ");
    int width, height;
    if (Tcl_GetIntFromObj(interp, objv[2], &width) != TCL_OK) return TclFailed(interp, "VALUE");
    if (Tcl_GetIntFromObj(interp, objv[3], &height) != TCL_OK) return TclFailed(interp, "VALUE");
    BYTE r, g, b;
    if (!GetColor(interp, objv[4], &r, &g, &b)) {
        Tcl_ResetResult(interp);
        return VistelError(interp, kBadColor, "COLOR");
    }
    int alphaopt = 255;
    if (objc == 7) {
        if (strcmp(Tcl_GetString(objv[5]), "-alpha") != 0)
            return VistelError(interp, "Wrong option, should be \"-alpha\"", "OPTION");
        if (Tcl_GetIntFromObj(interp, objv[6], &alphaopt) != TCL_OK) return TclFailed(interp, "VALUE");
        alphaopt %= 256;
    }
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return NotAPhoto(interp);

    Vistel image;
    bool hasAlpha;
    if (!PhotoToImage(interp, photo, image, &hasAlpha)) return TCL_ERROR;
    if (hasAlpha) {
        image.AlphaCreate();
    } else {
        image.AlphaDelete();
        if (alphaopt != 255) image.AlphaCreate();
    }
    RGBQUAD canvas = {b, g, r, (BYTE)(alphaopt & 0xFF)};
    if (!image.Thumbnail(width, height, canvas))
        return VistelError(interp, image.GetLastError(), "IMAGE");
    return CopyImageToTk(interp, &image, photo, (int)image.GetWidth(), (int)image.GetHeight(), 1);
}

int Tk_Colorize(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc < 3) return Usage(interp, "::Vistel::Colorize", "photoImage_name color ?opacity?");
    double opacity = 1.0;
    if (objc == 4) {
        if (Tcl_GetDoubleFromObj(interp, objv[3], &opacity) != TCL_OK)
            return VistelError(interp, "The opacity you specified is not a valid number",
                               "OPACITY", "NUMBER");
        if (opacity < 0.0 || opacity > 1.0)
            return VistelError(interp, "The opacity you specified is not between 0 and 1",
                               "OPACITY", "RANGE");
    }
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return NotAPhoto(interp);
    BYTE red, green, blue;
    if (!GetColor(interp, objv[2], &red, &green, &blue)) {
        Tcl_ResetResult(interp);
        return VistelError(interp, kBadColor, "COLOR");
    }

    Tk_PhotoImageBlock block;
    Tk_PhotoGetImage(photo, &block);
    const int* off = block.offset;
    const bool scaleAlpha = off[3] != off[0] && off[3] != off[1] && off[3] != off[2] &&
                            opacity != 1.0;
    const size_t size = (size_t)block.width * block.height * block.pixelSize;
    for (size_t i = 0; i < size; i += block.pixelSize) {
        BYTE* p = block.pixelPtr + i;
        p[off[0]] = (BYTE)(p[off[0]] * red / 255);
        p[off[1]] = (BYTE)(p[off[1]] * green / 255);
        p[off[2]] = (BYTE)(p[off[2]] * blue / 255);
        if (scaleAlpha) p[off[3]] = (BYTE)(int)(p[off[3]] * opacity);
    }
    if (Tk_PhotoPutBlock(interp, photo, &block, 0, 0, block.width, block.height,
                         TK_PHOTO_COMPOSITE_SET) != TCL_OK)
        return TclFailed(interp, "MEMORY");
    return TCL_OK;
}

// ----------------------------------------------------------------- turning

namespace {

// Readable names of the interpolation methods, in the order of their values.
const char* const RotateMethodNames[] = {
    "nearest", "bilinear", "bspline", "bicubic", "bicubic2", "lanczos", "box", "hermite",
    "hamming", "sinc", "blackman", "bessel", "gaussian", "quadratic", "mitchell", "catrom",
    nullptr};

// Turns `image` into `turned` (or in place when null). Corners a free turn
// uncovers come out transparent: true-colour images get an opaque alpha
// plane first, indexed ones take their transparent colour when they have one.
bool TurnImage(Vistel& image, float turn, int method, Vistel* turned)
{
    if (!image.IsIndexed()) image.AlphaCreate();
    return image.Rotate2(turn, turned, (Vistel::InterpolationMethod)(method + 1),
                         Vistel::OM_BACKGROUND);
}

// Turns every frame of an animation record, or none when one fails. The
// turned frames show from the next frame change on, as after a resize.
int TurnAnimation(Tcl_Interp* interp, Tk_PhotoHandle photo, gif_info* Info, float turn,
                  int method)
{
    std::vector<Vistel> turned(Info->NumFrames);
    for (unsigned int i = 0; i < Info->NumFrames; i++) {
        Vistel* frame = Info->image->GetFrameNo(i);
        if (!TurnImage(*frame, turn, method, &turned[i]))
            return VistelError(interp, frame->GetLastError(), "IMAGE");
    }
    for (unsigned int i = 0; i < Info->NumFrames; i++) {
        Vistel* frame = Info->image->GetFrameNo(i);
        // A missing frame stands for the owner of the set, which a plain
        // transfer would strip of its frames: turn it in place instead.
        if (frame == Info->image) TurnImage(*frame, turn, method, nullptr);
        else frame->Transfer(turned[i]);
    }
    ReleaseFrameBuffer(Info);
    Vistel* first = Info->image->GetFrameNo(0);
    if (Tk_PhotoSetSize(interp, photo, (int)first->GetWidth(), (int)first->GetHeight()) != TCL_OK)
        return TclFailed(interp, "MEMORY");
    return TCL_OK;
}

}  // namespace

int Tk_Rotate(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 3 && objc != 4)
        return Usage(interp, "::Vistel::Rotate", "photoImage_name angle ?method?");
    double angle;
    if (Tcl_GetDoubleFromObj(interp, objv[2], &angle) != TCL_OK)
        return TclFailed(interp, "VALUE");
    int method = Vistel::IM_BICUBIC - 1;
    if (objc == 4 &&
        Tcl_GetIndexFromObj(interp, objv[3], RotateMethodNames, "method", 0, &method) != TCL_OK)
        return TclFailed(interp, "VALUE");
    Tk_PhotoHandle photo = FindPhoto(interp, objv[1]);
    if (!photo) return NotAPhoto(interp);
    // Whole turns fold away so that the angle keeps its precision as a float.
    const float turn = (float)fmod(angle, 360.0);

    gif_info* Info = TkVistel_lstGetItem(photo);
    if (Info) return TurnAnimation(interp, photo, Info, turn, method);

    Tk_PhotoImageBlock block;
    Tk_PhotoGetImage(photo, &block);
    if (block.width <= 0 || block.height <= 0) return TCL_OK;  // nothing to turn
    Vistel image;
    bool hasAlpha;
    if (!PhotoToImage(interp, photo, image, &hasAlpha)) return TCL_ERROR;
    if (!TurnImage(image, turn, method, nullptr))
        return VistelError(interp, image.GetLastError(), "IMAGE");
    return CopyImageToTk(interp, &image, photo, (int)image.GetWidth(), (int)image.GetHeight(), 1);
}
