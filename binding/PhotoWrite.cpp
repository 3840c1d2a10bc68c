#include "PhotoWrite.h"

#include <cstdlib>

#include "FileReplace.h"
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
    const int rc = ReplaceFileContents(interp, fileName, bytes, (size_t)size);
    free(bytes);
    return rc;
}
