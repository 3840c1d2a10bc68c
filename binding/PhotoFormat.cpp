#include "PhotoFormat.h"

#include "TkVistel.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Vistel.h"

namespace {

// Decoders tried on data handed to a read, in this order.
const DWORD ReadOrder[] = {VISTEL_FORMAT_GIF, VISTEL_FORMAT_PNG, VISTEL_FORMAT_JPG,
                           VISTEL_FORMAT_TGA, VISTEL_FORMAT_BMP};

// Reads the whole channel as raw bytes into a new object (reference held).
Tcl_Obj* ReadWholeChannel(Tcl_Interp* interp, Tcl_Channel chan)
{
    Tcl_Obj* data = Tcl_NewObj();
    Tcl_IncrRefCount(data);
    Tcl_SetChannelOption(interp, chan, "-encoding", "binary");
    Tcl_SetChannelOption(interp, chan, "-translation", "binary");
    Tcl_ReadChars(chan, data, -1, 0);
    return data;
}

// A block over an RGBA export (top row first, the image's width a row),
// starting at pixel (x, y) counted from the top left. A decoded image
// without alpha plane or transparent colour is opaque: offset[3] = 0 tells
// Tk to ignore the alpha bytes.
Tk_PhotoImageBlock RgbaBlock(BYTE* rgba, const Vistel& image, int x, int y, int width, int height)
{
    Tk_PhotoImageBlock block;
    memset(&block, 0, sizeof(block));
    const size_t pitch = (size_t)image.GetWidth() * 4;
    block.pixelPtr = rgba + pitch * (size_t)y + (size_t)x * 4;
    block.width = width;
    block.height = height;
    block.pitch = (int)pitch;
    block.pixelSize = 4;
    block.offset[0] = 0;
    block.offset[1] = 1;
    block.offset[2] = 2;
    block.offset[3] = (image.AlphaIsValid() || image.IsTransparent()) ? 3 : 0;
    return block;
}

// Width or height of the part of [src, src + wanted) that lies inside an
// image side of `size` pixels.
int ClipSpan(int src, int wanted, DWORD size)
{
    if (src < 0 || wanted <= 0 || (DWORD)src >= size) return 0;
    DWORD left = size - (DWORD)src;
    return (DWORD)wanted < left ? wanted : (int)left;
}

// Decodes the data with the first reader that takes it. When none does, the
// complaint of the reader whose format the data's header claims (if any)
// goes into the result, so that a damaged file says what is wrong with it.
bool DecodeAny(Tcl_Interp* interp, BYTE* bytes, int length, Vistel& image)
{
    std::string errors[CMAX_IMAGE_FORMATS];
    for (DWORD type : ReadOrder) {
        if (image.Decode(bytes, (DWORD)length, type)) return true;
        errors[type] = image.GetLastError();
    }
    basic_image_information claimed;
    if (Vistel::CheckFormat(bytes, (DWORD)length, &claimed) &&
        claimed.format < CMAX_IMAGE_FORMATS && !errors[claimed.format].empty())
        Tcl_AppendResult(interp, errors[claimed.format].c_str(), (char*)nullptr);
    return false;
}

bool ExportRgba(Tcl_Interp* interp, Vistel& image, BYTE** rgba)
{
    BYTE* buffer = nullptr;
    long size = 0;
    if (!image.Encode2RGBA(buffer, size)) {
        Tcl_AppendResult(interp, image.GetLastError(), (char*)nullptr);
        return false;
    }
    if (!buffer || (uint64_t)size < (uint64_t)image.GetWidth() * image.GetHeight() * 4) {
        Vistel::FreeMemory(buffer);
        Tcl_AppendResult(interp, "incomplete pixel export", (char*)nullptr);
        return false;
    }
    *rgba = buffer;
    return true;
}

}  // namespace

void DetachAnimationOnRead(Tk_PhotoHandle)
{
}

void AttachAnimationOnRead(Tcl_Interp*, Tk_PhotoHandle, BYTE*, int, long)
{
}

int ObjMatch(Tcl_Obj* data, Tcl_Obj*, int* widthPtr, int* heightPtr, Tcl_Interp*)
{
    int length = 0;
    BYTE* bytes = Tcl_GetByteArrayFromObj(data, &length);
    basic_image_information info;
    if (!bytes || length <= 0 || !Vistel::CheckFormat(bytes, (DWORD)length, &info)) return 0;
    // A top-down bitmap states its height as a negative number; Tk wants
    // the size of the picture.
    *widthPtr = info.width;
    *heightPtr = info.height < 0 && info.height != INT32_MIN ? -info.height : info.height;
    return 1;
}

int ChanMatch(Tcl_Channel chan, const char*, Tcl_Obj* format, int* widthPtr, int* heightPtr,
              Tcl_Interp* interp)
{
    Tcl_Obj* data = ReadWholeChannel(interp, chan);
    int match = ObjMatch(data, format, widthPtr, heightPtr, interp);
    Tcl_DecrRefCount(data);
    return match;
}

int ObjRead(Tcl_Interp* interp, Tcl_Obj* data, Tcl_Obj*, Tk_PhotoHandle imageHandle, int destX,
            int destY, int width, int height, int srcX, int srcY)
{
    int length = 0;
    BYTE* bytes = Tcl_GetByteArrayFromObj(data, &length);
    if (!bytes || length <= 0) return TCL_ERROR;

    Vistel image;
    if (!DecodeAny(interp, bytes, length, image)) return TCL_ERROR;
    const long numFrames = image.GetNumFrames();

    BYTE* rgba = nullptr;
    if (!ExportRgba(interp, image, &rgba)) return TCL_ERROR;

    // Tk keeps the region inside the size the match reported; should the
    // decoded picture be smaller, only the part it covers is put.
    const int w = ClipSpan(srcX, width, image.GetWidth());
    const int h = ClipSpan(srcY, height, image.GetHeight());
    int result = TCL_OK;
    if (w > 0 && h > 0) {
        Tk_PhotoImageBlock block = RgbaBlock(rgba, image, srcX, srcY, w, h);
        result = Tk_PhotoPutBlock(interp, imageHandle, &block, destX, destY, w, h,
                                  TK_PHOTO_COMPOSITE_SET);
    }
    Vistel::FreeMemory(rgba);
    if (result != TCL_OK) return result;

    DetachAnimationOnRead(imageHandle);
    if (numFrames > 1) AttachAnimationOnRead(interp, imageHandle, bytes, length, numFrames);
    return TCL_OK;
}

int ChanRead(Tcl_Interp* interp, Tcl_Channel chan, const char*, Tcl_Obj* format,
             Tk_PhotoHandle imageHandle, int destX, int destY, int width, int height, int srcX,
             int srcY)
{
    Tcl_Obj* data = ReadWholeChannel(interp, chan);
    int result =
        ObjRead(interp, data, format, imageHandle, destX, destY, width, height, srcX, srcY);
    Tcl_DecrRefCount(data);
    return result;
}

int CopyImageToTk(Tcl_Interp* interp, Vistel* image, Tk_PhotoHandle Photo, int width, int height,
                  int blank)
{
    try {
        if (Tk_PhotoSetSize(interp, Photo, width, height) != TCL_OK) return TCL_ERROR;
        BYTE* rgba = nullptr;
        if (!ExportRgba(interp, *image, &rgba)) return TCL_ERROR;
        // The block never reaches past the exported pixels.
        const int w = ClipSpan(0, width, image->GetWidth());
        const int h = ClipSpan(0, height, image->GetHeight());
        int result = TCL_OK;
        if (w > 0 && h > 0) {
            Tk_PhotoImageBlock block = RgbaBlock(rgba, *image, 0, 0, w, h);
            result = Tk_PhotoPutBlock(interp, Photo, &block, 0, 0, w, h,
                                      blank ? TK_PHOTO_COMPOSITE_SET
                                            : TK_PHOTO_COMPOSITE_OVERLAY);
        }
        Vistel::FreeMemory(rgba);
        return result;
    } catch (...) {
        return TCL_ERROR;
    }
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
    if (Type == VISTEL_FORMAT_GIF) image.DecreaseBpp(8, true, nullptr, 0);
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
