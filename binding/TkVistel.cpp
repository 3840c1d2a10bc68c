#include "TkVistel.h"

#include <cctype>
#include <cstring>

#include "PhotoFormat.h"
#include "procs.h"

Tk_ImageDisplayProc* PhotoDisplayOriginal = nullptr;
// Empty when the library is loaded; its nodes go when it is unloaded.
ChainedList animated_gifs;

namespace {

const char* const KnownFormats[] = {"vistel", "vsgif", "vspng", "vsjpg", "vstga", "vsbmp"};

struct CommandEntry {
    const char* name;
    Tcl_ObjCmdProc* proc;
};

const CommandEntry Commands[] = {
    {"::Vistel::Convert", Tk_Convert},
    {"::Vistel::Resize", Tk_Resize},
    {"::Vistel::Colorize", Tk_Colorize},
    {"::Vistel::Thumbnail", Tk_Thumbnail},
    {"::Vistel::IsAnimated", Tk_IsAnimated},
    {"::Vistel::StopAnimation", Tk_DisableAnimation},
    {"::Vistel::StartAnimation", Tk_EnableAnimation},
    {"::Vistel::NumberOfFrames", Tk_NumberOfFrames},
    {"::Vistel::JumpToFrame", Tk_JumpToFrame},
    {"::Vistel::Rotate", Tk_Rotate},
};

Tk_PhotoImageFormat vistelFormats = {
    nullptr,     // name, set per registration
    ChanMatch,   // fileMatchProc
    ObjMatch,    // stringMatchProc
    ChanRead,    // fileReadProc
    ObjRead,     // stringReadProc
    ChanWrite,   // fileWriteProc
    StringWrite, // stringWriteProc
    nullptr      // nextPtr
};

}  // namespace

extern "C" int Tkvistel_Init(Tcl_Interp* interp)
{
    if (Tcl_InitStubs(interp, "8.6", 0) == nullptr) return TCL_ERROR;
    if (Tk_InitStubs(interp, "8.6", 0) == nullptr) return TCL_ERROR;

    if (Tcl_PkgRequire(interp, "Tcl", "8.3", 0) == nullptr) return TCL_ERROR;
    if (Tcl_PkgRequire(interp, "Tk", "8.3", 0) == nullptr) return TCL_ERROR;

    for (const CommandEntry& cmd : Commands)
        Tcl_CreateObjCommand(interp, cmd.name, cmd.proc, nullptr, nullptr);

    if (PlaceHook(interp) != TCL_OK) return TCL_ERROR;

    // Tk copies both the record and its name, so one record serves all six.
    for (const char* name : KnownFormats) {
        char* copy = new char[strlen(name) + 1];
        strcpy(copy, name);
        vistelFormats.name = copy;
        Tk_CreatePhotoImageFormat(&vistelFormats);
        delete[] copy;
        vistelFormats.name = nullptr;
    }
    return TCL_OK;
}

extern "C" int Tkvistel_SafeInit(Tcl_Interp* interp)
{
    return Tkvistel_Init(interp);
}

int PlaceHook(Tcl_Interp* interp)
{
    char buf[255];
    strcpy(buf, "image create photo");
    if (Tcl_EvalEx(interp, buf, -1, TCL_EVAL_GLOBAL) != TCL_OK) return TCL_ERROR;

    // The temporary photo only serves to reach the photo type record, which
    // every photo of every interpreter in the process shares.
    Tcl_DString name;
    Tcl_DStringInit(&name);
    Tcl_DStringAppend(&name, Tcl_GetStringResult(interp), -1);
    const Tk_ImageType* typePhotoPtr = nullptr;
    Tk_GetImageMasterData(interp, Tcl_DStringValue(&name), &typePhotoPtr);
    if (typePhotoPtr && PhotoDisplayOriginal == nullptr) {
        Tk_ImageType* writable = const_cast<Tk_ImageType*>(typePhotoPtr);
        PhotoDisplayOriginal = writable->displayProc;
        writable->displayProc = PhotoDisplayProcHook;
    }
    Tk_DeleteImage(interp, Tcl_DStringValue(&name));
    Tcl_DStringFree(&name);
    Tcl_ResetResult(interp);
    return TCL_OK;
}

int GetFileTypeFromFileName(const char* Filename)
{
    if (!Filename) return 0;
    const char* dot = strrchr(Filename, '.');
    if (!dot) return 0;

    char ext[4] = {0, 0, 0, 0};
    strncpy(ext, dot + 1, 3);
    for (int i = 0; i < 3; i++) ext[i] = (char)tolower((unsigned char)ext[i]);

    if (strcmp(ext, "bmp") == 0) return VISTEL_FORMAT_BMP;
    if (strcmp(ext, "jpg") == 0 || strcmp(ext, "jpe") == 0) return VISTEL_FORMAT_JPG;
    if (strcmp(ext, "gif") == 0) return VISTEL_FORMAT_GIF;
    if (strcmp(ext, "png") == 0) return VISTEL_FORMAT_PNG;
    if (strcmp(ext, "tga") == 0) return VISTEL_FORMAT_TGA;
    return 0;
}

int GetFileTypeFromFormat(const char* Format)
{
    if (!Format) return 0;
    if (strcmp(Format, "vsbmp") == 0) return VISTEL_FORMAT_BMP;
    if (strcmp(Format, "vsjpg") == 0) return VISTEL_FORMAT_JPG;
    if (strcmp(Format, "vsgif") == 0) return VISTEL_FORMAT_GIF;
    if (strcmp(Format, "vspng") == 0) return VISTEL_FORMAT_PNG;
    if (strcmp(Format, "vstga") == 0) return VISTEL_FORMAT_TGA;
    return 0;
}

bool BlockHasAlpha(const Tk_PhotoImageBlock* block)
{
    const int* off = block->offset;
    return off[3] >= 0 && off[3] < block->pixelSize && off[3] != off[0] && off[3] != off[1] &&
           off[3] != off[2];
}

int RGB2BGR(Tk_PhotoImageBlock* data, BYTE* pixelPtr)
{
    const size_t pixelSize = (size_t)data->pixelSize;
    const size_t size = (size_t)data->width * (size_t)data->height * pixelSize;
    const int* off = data->offset;
    const bool hasAlpha = BlockHasAlpha(data);
    const BYTE* src = data->pixelPtr;
    BYTE* out = pixelPtr;
    for (size_t i = 0; i < size; i += pixelSize, out += 4) {
        out[0] = src[i + off[2]];
        out[1] = src[i + off[1]];
        out[2] = src[i + off[0]];
        out[3] = hasAlpha ? src[i + off[3]] : 255;
    }
    return hasAlpha ? 1 : 0;
}

int VistelError(Tcl_Interp* interp, const char* message, const char* code, const char* detail)
{
    if (!interp) return TCL_ERROR;
    if (message) Tcl_AppendResult(interp, message, (char*)nullptr);
    Tcl_SetErrorCode(interp, "VISTEL", code, detail, (char*)nullptr);
    return TCL_ERROR;
}
