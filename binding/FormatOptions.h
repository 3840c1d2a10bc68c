// Photo format strings, as Tk's own formats take them: the format's name,
// then option/value pairs (e.g. {vsjpg -quality 75}).
#ifndef VISTEL_FORMATOPTIONS_H
#define VISTEL_FORMATOPTIONS_H

#include "TkVistel.h"
#include "VsTypes.h"

struct FormatOptions {
    // The type the format's name writes; VISTEL_FORMAT_UNKNOWN for "vistel".
    DWORD namedType = VISTEL_FORMAT_UNKNOWN;
    // Reading: the frame of a multi-frame GIF to show as a still; -1 plays it.
    long index = -1;
};

// Parses a format string (null: no options). TCL_ERROR with "bad format
// option" in the result for an unknown option or a bad value.
int ParseFormatOptions(Tcl_Interp* interp, Tcl_Obj* format, bool writing, FormatOptions* out);

#endif
