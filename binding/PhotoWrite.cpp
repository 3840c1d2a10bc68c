#include "PhotoWrite.h"

#include <cstdlib>

#include "Formats.h"
#include "PhotoBlock.h"
#include "PhotoResolution.h"
#include "VistelGIF.h"
#include "VistelJPG.h"
#include "VistelTGA.h"

namespace {

// Hands the write options to the codecs, through the image they encode.
void SetCodecOptions(Vistel& image, const FormatOptions& options)
{
    image.SetJpegQuality((BYTE)options.quality);
    DWORD jpeg = 0;
    if (options.progressive) jpeg |= JPG_OPT_PROGRESSIVE;
    if (options.grayscale) jpeg |= JPG_OPT_GREY_OUTPUT;
    image.SetCodecOption(jpeg, VISTEL_FORMAT_JPG);
    image.SetCodecOption(options.rle ? (DWORD)TGA_OPT_RLE : 0, VISTEL_FORMAT_TGA);
    image.SetCodecOption(options.interlace ? 1 : 0, VISTEL_FORMAT_PNG);
    image.SetCodecOption(options.interlace ? GIF_OPT_INTERLACE : GIF_OPT_LZW, VISTEL_FORMAT_GIF);
}

// The bytes of `image` as `type`, in a block to release with free().
int EncodeImage(Tcl_Interp* interp, Vistel& image, DWORD type, const FormatOptions& options,
                BYTE** bytes, long* size)
{
    if (!formats::PrepareForType(image, type, options.background))
        return VistelError(interp, image.GetLastError(), "IMAGE");
    SetCodecOptions(image, options);
    *bytes = nullptr;
    if (!formats::Encode(image, *bytes, *size, type))
        return VistelError(interp, image.GetLastError(), "ENCODE");
    return TCL_OK;
}

// Writes encoded bytes to `fileName` (created with 0644). A failed write
// removes the partial file.
int WriteEncodedFile(Tcl_Interp* interp, const char* fileName, const BYTE* bytes, long size)
{
    Tcl_Channel chan = Tcl_OpenFileChannel(interp, fileName, "w", 0644);
    if (!chan) return VistelError(interp, nullptr, "IO");
    Tcl_SetChannelOption(interp, chan, "-encoding", "binary");
    Tcl_SetChannelOption(interp, chan, "-translation", "binary");
    Tcl_Obj* data = Tcl_NewByteArrayObj(bytes, (int)size);
    Tcl_IncrRefCount(data);
    const int written = Tcl_WriteObj(chan, data);
    Tcl_DecrRefCount(data);
    Tcl_ResetResult(interp);
    const int closed = Tcl_Close(interp, chan);
    if (written < 0 || closed != TCL_OK) {
        if (written < 0)
            Tcl_AppendResult(interp, "error writing \"", fileName, "\": ",
                             Tcl_ErrnoMsg(Tcl_GetErrno()), (char*)nullptr);
        Tcl_Obj* path = Tcl_NewStringObj(fileName, -1);
        Tcl_IncrRefCount(path);
        Tcl_FSDeleteFile(path);
        Tcl_DecrRefCount(path);
        return VistelError(interp, nullptr, "IO");
    }
    return TCL_OK;
}

// The photo's block as an image the type's encoder takes, with the
// resolution of the file the photo was read from: a palette file reduces
// straight from Tk's pixels.
bool ImageForType(Tcl_Interp* interp, const Tk_PhotoImageBlock& block, DWORD type, Vistel* image)
{
    if (type == VISTEL_FORMAT_GIF) return BlockToPalette(interp, block, image);
    if (!BlockToImage(interp, block, image)) return false;
    photoresolution::Apply(block, image);
    return true;
}

}  // namespace

int WritePhotoData(Tcl_Interp* interp, const FormatOptions& options, Tk_PhotoImageBlock* block)
{
    const DWORD type = formats::OutputType(options.namedType, nullptr);
    Vistel image;
    if (!ImageForType(interp, *block, type, &image)) return TCL_ERROR;
    BYTE* bytes;
    long size;
    if (EncodeImage(interp, image, type, options, &bytes, &size) != TCL_OK) return TCL_ERROR;
    Tcl_SetObjResult(interp, Tcl_NewByteArrayObj(bytes, (int)size));
    free(bytes);
    return TCL_OK;
}

int WritePhotoFile(Tcl_Interp* interp, const char* fileName, const FormatOptions& options,
                   Tk_PhotoImageBlock* block)
{
    const DWORD type = formats::OutputType(options.namedType, fileName);
    Vistel image;
    if (!ImageForType(interp, *block, type, &image)) return TCL_ERROR;
    return WriteImageFile(interp, image, fileName, type, options);
}

int WriteImageFile(Tcl_Interp* interp, Vistel& image, const char* fileName, DWORD type,
                   const FormatOptions& options)
{
    BYTE* bytes;
    long size;
    if (EncodeImage(interp, image, type, options, &bytes, &size) != TCL_OK) return TCL_ERROR;
    const int rc = WriteEncodedFile(interp, fileName, bytes, size);
    free(bytes);
    return rc;
}
