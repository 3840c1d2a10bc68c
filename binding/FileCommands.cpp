// ::Vistel::Convert, IsAnimated and Limit.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "Commands.h"
#include "FileReplace.h"
#include "Formats.h"
#include "GifFile.h"
#include "PhotoWrite.h"

namespace {

// Reports a file that cannot be read or decoded, naming it.
int FileError(Tcl_Interp* interp, const char* fileName, const char* reason, const char* code)
{
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("couldn't read \"%s\": %s", fileName, reason));
    return VistelError(interp, nullptr, code);
}

}  // namespace

int RefuseInSafe(Tcl_Interp* interp, const char* command)
{
    Tcl_SetObjResult(interp,
                     Tcl_ObjPrintf("%s is not available in a safe interpreter", command));
    return VistelError(interp, nullptr, "SAFE");
}

bool ReadFile(Tcl_Interp* interp, Tcl_Obj* path, std::vector<BYTE>* bytes)
{
    Tcl_StatBuf st;
    if (Tcl_FSStat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
        FileError(interp, Tcl_GetString(path), "is a directory", "IO");
        return false;
    }
    Tcl_Channel chan = Tcl_FSOpenFileChannel(interp, path, "r", 0);
    if (!chan) {
        VistelError(interp, nullptr, "IO");
        return false;
    }
    Tcl_SetChannelOption(nullptr, chan, "-translation", "binary");
    Tcl_Obj* data = Tcl_NewObj();
    Tcl_IncrRefCount(data);
    const int got = Tcl_ReadChars(chan, data, -1, 0);
    Tcl_Close(nullptr, chan);
    int length = 0;
    const BYTE* b = Tcl_GetByteArrayFromObj(data, &length);
    if (got >= 0) bytes->assign(b, b + length);
    Tcl_DecrRefCount(data);
    if (got < 0) {
        FileError(interp, Tcl_GetString(path), Tcl_ErrnoMsg(Tcl_GetErrno()), "IO");
        return false;
    }
    return true;
}

namespace {

// The frames a player shows of data: those of a GIF, else 1, when the
// picture is decoded into *image. False with the decoder's reason when the
// data cannot be read as a picture.
bool CountFrames(Tcl_Interp* interp, const char* fileName, const std::vector<BYTE>& bytes,
                 size_t* frames, Vistel* image)
{
    const formats::Format* format = formats::Probe(bytes.data(), bytes.size(), nullptr);
    if (!format) format = formats::BySignature(bytes.data(), bytes.size());
    *frames = 1;
    if (!format || format->type != VISTEL_FORMAT_GIF) {
        if (formats::Decode(*image, bytes.data(), bytes.size(), VISTEL_FORMAT_UNKNOWN)) return true;
        FileError(interp, fileName, image->GetLastError(), "DECODE");
        return false;
    }
    VsMemFile file(const_cast<BYTE*>(bytes.data()), (DWORD)bytes.size());
    GifFile gif;
    std::string error;
    if (!gif.Read(&file, GifFile::kStructure, vssize::MaxPixels(), &error)) {
        FileError(interp, fileName, error.c_str(), "DECODE");
        return false;
    }
    *frames = gif.ShownFrames();
    return true;
}

}  // namespace

int IsAnimatedCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 2) return Usage(interp, "::Vistel::IsAnimated", "Filename");
    if (Tcl_IsSafe(interp)) return RefuseInSafe(interp, "::Vistel::IsAnimated");
    InterpCeiling ceiling(interp);
    std::vector<BYTE> bytes;
    size_t frames;
    Vistel image;
    if (!ReadFile(interp, objv[1], &bytes) ||
        !CountFrames(interp, Tcl_GetString(objv[1]), bytes, &frames, &image))
        return TCL_ERROR;
    Tcl_SetObjResult(interp, Tcl_NewBooleanObj(frames > 1));
    return TCL_OK;
}

int ConvertCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 3) return Usage(interp, "::Vistel::Convert", "FilenameIn FilenameOut");
    if (Tcl_IsSafe(interp)) return RefuseInSafe(interp, "::Vistel::Convert");
    InterpCeiling ceiling(interp);
    const char* in = Tcl_GetString(objv[1]);
    const char* out = Tcl_GetString(objv[2]);
    const DWORD outType = formats::OutputType(VISTEL_FORMAT_UNKNOWN, out);
    std::vector<BYTE> bytes;
    size_t frames;
    Vistel image;
    if (!ReadFile(interp, objv[1], &bytes) || !CountFrames(interp, in, bytes, &frames, &image))
        return TCL_ERROR;
    // An animated GIF written as GIF keeps all it holds: its bytes.
    if (frames > 1 && outType == VISTEL_FORMAT_GIF)
        return ReplaceFileContents(interp, out, bytes.data(), bytes.size());
    // A GIF is decoded here; an animation written as a still type is its
    // first frame.
    if (!image.IsValid() &&
        !formats::Decode(image, bytes.data(), bytes.size(), VISTEL_FORMAT_UNKNOWN))
        return FileError(interp, in, image.GetLastError(), "DECODE");
    return WriteImageFile(interp, image, out, outType);
}

int LimitCmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc != 1 && objc != 2) return Usage(interp, "::Vistel::Limit", "?pixels?");
    if (objc == 2) {
        if (Tcl_IsSafe(interp))
            return VistelError(interp, "a safe interpreter cannot change ::Vistel::Limit", "SAFE");
        Tcl_WideInt pixels;
        if (Tcl_GetWideIntFromObj(interp, objv[1], &pixels) != TCL_OK)
            return VistelError(interp, nullptr, "VALUE");
        if (pixels < 1 || (uint64_t)pixels > vssize::kHighestMaxPixels) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("the limit must be between 1 and %" TCL_LL_MODIFIER
                                                   "d pixels",
                                                   (Tcl_WideInt)vssize::kHighestMaxPixels));
            return VistelError(interp, nullptr, "VALUE");
        }
        SetInterpMaxPixels(interp, (uint64_t)pixels);
    }
    Tcl_SetObjResult(interp, Tcl_NewWideIntObj((Tcl_WideInt)InterpMaxPixels(interp)));
    return TCL_OK;
}
