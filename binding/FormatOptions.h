// Photo format strings, as Tk's own formats take them: the format's name,
// then options, most with a value (e.g. {vsjpg -quality 75 -progressive}).
#ifndef VISTEL_FORMATOPTIONS_H
#define VISTEL_FORMATOPTIONS_H

#include "TkVistel.h"
#include "VsTypes.h"

struct FormatOptions {
    // The type the format's name writes; VISTEL_FORMAT_UNKNOWN for "vistel".
    DWORD namedType = VISTEL_FORMAT_UNKNOWN;

    // Reading.
    long index = -1;      // the frame of a multi-frame GIF to show as a still; -1 plays it
    int scale = 1;        // the picture is read at 1/scale of its size (1, 2, 4 or 8)
    bool upright = false; // -orient auto: turned as its EXIF orientation says

    // Writing.
    int quality = 90;          // JPEG
    bool progressive = false;  // JPEG
    bool grayscale = false;    // JPEG
    bool rle = false;          // TGA run-length packets
    bool interlace = false;    // PNG Adam7, GIF interlaced rows
    RGBQUAD background = {255, 255, 255, 255};  // what alpha is flattened onto (JPEG, BMP)
};

// Parses a format string (null: no options) for a read or a write.
// TCL_ERROR with "bad format option" in the result and the errorcode
// VISTEL OPTION for an unknown option or a bad value.
int ParseFormatOptions(Tcl_Interp* interp, Tcl_Obj* format, bool writing, FormatOptions* out);

#endif
