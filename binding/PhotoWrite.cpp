#include "PhotoWrite.h"

#include <cstdlib>

#include "FileReplace.h"
#include "Formats.h"
#include "PhotoBlock.h"

namespace {

// The bytes of `image` as `type`, in a block to release with free().
int EncodeImage(Tcl_Interp* interp, Vistel& image, DWORD type, BYTE** bytes, long* size)
{
    if (!formats::PrepareForType(image, type)) return VistelError(interp, image.GetLastError(), "IMAGE");
    *bytes = nullptr;
    if (!formats::Encode(image, *bytes, *size, type))
        return VistelError(interp, image.GetLastError(), "ENCODE");
    return TCL_OK;
}

}  // namespace

int WritePhotoData(Tcl_Interp* interp, const FormatOptions& options, Tk_PhotoImageBlock* block)
{
    Vistel image;
    if (!BlockToImage(interp, *block, &image)) return TCL_ERROR;
    const DWORD type = formats::OutputType(options.namedType, nullptr);
    BYTE* bytes;
    long size;
    if (EncodeImage(interp, image, type, &bytes, &size) != TCL_OK) return TCL_ERROR;
    Tcl_SetObjResult(interp, Tcl_NewByteArrayObj(bytes, (int)size));
    free(bytes);
    return TCL_OK;
}

int WritePhotoFile(Tcl_Interp* interp, const char* fileName, const FormatOptions& options,
                   Tk_PhotoImageBlock* block)
{
    Vistel image;
    if (!BlockToImage(interp, *block, &image)) return TCL_ERROR;
    return WriteImageFile(interp, image, fileName, formats::OutputType(options.namedType, fileName));
}

int WriteImageFile(Tcl_Interp* interp, Vistel& image, const char* fileName, DWORD type)
{
    BYTE* bytes;
    long size;
    if (EncodeImage(interp, image, type, &bytes, &size) != TCL_OK) return TCL_ERROR;
    const int rc = ReplaceFileContents(interp, fileName, bytes, (size_t)size);
    free(bytes);
    return rc;
}
