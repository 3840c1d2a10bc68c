#include "PhotoFormat.h"

#include "TkVistel.h"

#include <cstdlib>

#include "Vistel.h"

namespace {

int NotAvailable(Tcl_Interp* interp, const char* what)
{
    if (interp) Tcl_AppendResult(interp, what, " is not available in this build", (char*)nullptr);
    return TCL_ERROR;
}

}  // namespace

int ObjMatch(Tcl_Obj*, Tcl_Obj*, int*, int*, Tcl_Interp*)
{
    return 0;
}

int ChanMatch(Tcl_Channel, const char*, Tcl_Obj*, int*, int*, Tcl_Interp*)
{
    return 0;
}

int ObjRead(Tcl_Interp* interp, Tcl_Obj*, Tcl_Obj*, Tk_PhotoHandle, int, int, int, int, int, int)
{
    return NotAvailable(interp, "reading image data");
}

int ChanRead(Tcl_Interp* interp, Tcl_Channel, const char*, Tcl_Obj*, Tk_PhotoHandle, int, int,
             int, int, int, int)
{
    return NotAvailable(interp, "reading image files");
}

namespace {

// Encodes `image` as `type` and writes the bytes to `fileName` (created with
// 0644). The file is opened only once the bytes exist, so a failed encode
// leaves any earlier file untouched; a failed write removes the partial file.
// TCL_OK, or TCL_ERROR with the reason in the result.
int WriteEncodedFile(Tcl_Interp* interp, const char* fileName, const BYTE* bytes, long size)
{
    Tcl_Channel chan = Tcl_OpenFileChannel(interp, fileName, "w", 0644);
    if (!chan) return TCL_ERROR;
    Tcl_SetChannelOption(interp, chan, "-encoding", "binary");
    Tcl_SetChannelOption(interp, chan, "-translation", "binary");
    Tcl_Obj* data = Tcl_NewByteArrayObj(bytes, (int)size);
    Tcl_IncrRefCount(data);
    int written = Tcl_WriteObj(chan, data);
    Tcl_DecrRefCount(data);
    Tcl_ResetResult(interp);
    int closed = Tcl_Close(interp, chan);
    if (written < 0 || closed != TCL_OK) {
        if (written < 0)
            Tcl_AppendResult(interp, "error writing \"", fileName,
                             "\": ", Tcl_ErrnoMsg(Tcl_GetErrno()), (char*)nullptr);
        Tcl_Obj* path = Tcl_NewStringObj(fileName, -1);
        Tcl_IncrRefCount(path);
        Tcl_FSDeleteFile(path);
        Tcl_DecrRefCount(path);
        return TCL_ERROR;
    }
    return TCL_OK;
}

// Builds a 24-bit image with alpha plane from Tk's block, reduced to
// 8 bits for GIF output. TCL_ERROR with a message on failure.
int BlockToImage(Tcl_Interp* interp, int Type, Tk_PhotoImageBlock* blockPtr, Vistel& image)
{
    uint64_t bytes;
    if (blockPtr->width <= 0 || blockPtr->height <= 0 ||
        !vssize::Product((uint64_t)blockPtr->width, (uint64_t)blockPtr->height, 4, &bytes)) {
        Tcl_AppendResult(interp, "VISTEL_MAX_MEMORY exceeded", (char*)nullptr);
        return TCL_ERROR;
    }
    BYTE* buffer = (BYTE*)malloc((size_t)bytes);
    if (!buffer) {
        Tcl_AppendResult(interp, "not enough memory to convert the photo", (char*)nullptr);
        return TCL_ERROR;
    }
    int hasAlpha = RGB2BGR(blockPtr, buffer);
    // RGB2BGR writes 4 bytes per pixel with rows following each other.
    bool ok = image.CreateFromArray(buffer, blockPtr->width, blockPtr->height, 32,
                                    (DWORD)blockPtr->width * 4, true);
    free(buffer);
    if (!ok) {
        Tcl_AppendResult(interp, image.GetLastError(), (char*)nullptr);
        return TCL_ERROR;
    }
    if (!hasAlpha) image.AlphaDelete();
    if (Type == VISTEL_FORMAT_GIF && !image.DecreaseBpp(8, true, nullptr, 0)) {
        Tcl_AppendResult(interp, image.GetLastError(), (char*)nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

}  // namespace

int DataWrite(Tcl_Interp* interp, int Type, Tk_PhotoImageBlock* blockPtr)
{
    Vistel image;
    if (BlockToImage(interp, Type, blockPtr, image) != TCL_OK) return TCL_ERROR;
    BYTE* bytes = nullptr;
    long size = 0;
    if (!image.Encode(bytes, size, (DWORD)Type)) {
        Tcl_AppendResult(interp, image.GetLastError(), (char*)nullptr);
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, Tcl_NewByteArrayObj(bytes, (int)size));
    Vistel::FreeMemory(bytes);
    return TCL_OK;
}

int StringWrite(Tcl_Interp* interp, Tcl_Obj* format, Tk_PhotoImageBlock* blockPtr)
{
    int Type = format ? GetFileTypeFromFormat(Tcl_GetString(format)) : 0;
    if (Type == 0) Type = VISTEL_FORMAT_GIF;
    return DataWrite(interp, Type, blockPtr);
}

int ChanWrite(Tcl_Interp* interp, const char* fileName, Tcl_Obj* format,
              Tk_PhotoImageBlock* blockPtr)
{
    int Type = format ? GetFileTypeFromFormat(Tcl_GetString(format)) : 0;
    if (Type == 0) Type = GetFileTypeFromFileName(fileName);
    if (Type == 0) Type = VISTEL_FORMAT_GIF;

    if (DataWrite(interp, Type, blockPtr) != TCL_OK) return TCL_ERROR;
    Tcl_Obj* encoded = Tcl_GetObjResult(interp);
    Tcl_IncrRefCount(encoded);
    int size = 0;
    const BYTE* bytes = Tcl_GetByteArrayFromObj(encoded, &size);
    Tcl_ResetResult(interp);
    int rc = WriteEncodedFile(interp, fileName, bytes, size);
    Tcl_DecrRefCount(encoded);
    return rc;
}

int SaveToFile(Tcl_Interp* interp, Vistel* image, const char* fileName, int Type)
{
    if (Type == 0) Type = GetFileTypeFromFileName(fileName);
    if (Type == 0) Type = VISTEL_FORMAT_GIF;
    BYTE* bytes = nullptr;
    long size = 0;
    if (!image->Encode(bytes, size, (DWORD)Type)) return 0;
    int rc = WriteEncodedFile(interp, fileName, bytes, size);
    Vistel::FreeMemory(bytes);
    return rc == TCL_OK ? 1 : 0;
}

void PhotoDisplayProcHook(ClientData instanceData, Display* display, Drawable drawable,
                          int imageX, int imageY, int width, int height, int drawableX,
                          int drawableY)
{
    if (PhotoDisplayOriginal)
        PhotoDisplayOriginal(instanceData, display, drawable, imageX, imageY, width, height,
                             drawableX, drawableY);
}
