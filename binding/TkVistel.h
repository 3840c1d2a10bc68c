// Extension entry, registration of the six photo formats, file-type lookups
// and the conversion of Tk photo blocks into BGRA pixel buffers.
#ifndef VISTEL_TKVISTEL_H
#define VISTEL_TKVISTEL_H

#include <tcl.h>
#include <tk.h>
// X11 names a visual class GrayScale; the image library has a method of
// that name, and the binding needs no visual classes.
#undef GrayScale
#include "../image/VsTypes.h"

extern "C" {
DLLEXPORT int Tkvistel_Init(Tcl_Interp* interp);
DLLEXPORT int Tkvistel_SafeInit(Tcl_Interp* interp);
}

// Display procedure of Tk's photo type as it was before the hook replaced it.
extern Tk_ImageDisplayProc* PhotoDisplayOriginal;

int PlaceHook(Tcl_Interp* interp);
// File type (ENUM_VISTEL_FORMATS) from the file name's extension; 0 if none.
int GetFileTypeFromFileName(const char* Filename);
// File type from one of our photo format names; 0 for "vistel" and others.
int GetFileTypeFromFormat(const char* Format);
// Whether the block carries alpha: its alpha offset lies inside the pixel,
// apart from the colours (Tk gives -1 for none).
bool BlockHasAlpha(const Tk_PhotoImageBlock* block);
// Writes the block's pixels as B, G, R, A (width x height x 4 bytes, top row
// first); returns 1 when the block carries alpha, else 0 (alpha written 255).
int RGB2BGR(Tk_PhotoImageBlock* data, BYTE* pixelPtr);

// Every error the extension raises: appends `message` (when not null) to the
// result, sets -errorcode to {VISTEL code ?detail?} and returns TCL_ERROR.
// With a null message the result already holds the reason (a Tcl routine's
// own message).
int VistelError(Tcl_Interp* interp, const char* message, const char* code,
                const char* detail = nullptr);

#endif
