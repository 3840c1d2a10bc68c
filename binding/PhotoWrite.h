// Writing photos in our formats: as data, or into a file. Every write
// encodes first and touches the file only then.
#ifndef VISTEL_PHOTOWRITE_H
#define VISTEL_PHOTOWRITE_H

#include "FormatOptions.h"
#include "TkVistel.h"
#include "Vistel.h"

// Encodes the photo's block as the options ask (GIF for "vistel"); on
// success the result holds the bytes.
int WritePhotoData(Tcl_Interp* interp, const FormatOptions& options, Tk_PhotoImageBlock* block);

// Writes the block into a file: the type the format names, else the one
// the file's extension names, else GIF.
int WritePhotoFile(Tcl_Interp* interp, const char* fileName, const FormatOptions& options,
                   Tk_PhotoImageBlock* block);

// Encodes an image as `type` into a file, as the write options ask.
int WriteImageFile(Tcl_Interp* interp, Vistel& image, const char* fileName, DWORD type,
                   const FormatOptions& options = FormatOptions());

#endif
