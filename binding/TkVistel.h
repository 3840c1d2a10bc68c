// What every part of the Tk binding shares: the extension's entry points,
// the one way errors are raised, the interpreter's pixel ceiling and the
// lookup of a photo by name.
#ifndef VISTEL_TKVISTEL_H
#define VISTEL_TKVISTEL_H

#include <tcl.h>
#include <tk.h>
// X11 names a visual class GrayScale; the image library has a method of
// that name, and the binding needs no visual classes.
#undef GrayScale

#include <cstdint>

#include "SafeSize.h"

extern "C" {
DLLEXPORT int Tkvistel_Init(Tcl_Interp* interp);
DLLEXPORT int Tkvistel_SafeInit(Tcl_Interp* interp);
}

// Every error the extension raises: appends `message` (when not null) to the
// result, sets -errorcode to {VISTEL code ?detail?} and returns TCL_ERROR.
// With a null message the result must already hold the reason (a Tcl
// routine's own message); an empty result gets a generic one.
int VistelError(Tcl_Interp* interp, const char* message, const char* code,
                const char* detail = nullptr);

// The interpreter's pixel ceiling, and setting it.
uint64_t InterpMaxPixels(Tcl_Interp* interp);
void SetInterpMaxPixels(Tcl_Interp* interp, uint64_t maxPixels);

// For the length of a command or photo format call: the library works under
// the interpreter's ceiling.
class InterpCeiling {
public:
    explicit InterpCeiling(Tcl_Interp* interp) : scope_(InterpMaxPixels(interp)) {}

private:
    vssize::CeilingScope scope_;
};

// The interpreter's main window, or null with an error in the result when
// it is gone (`destroy .`): Tk's photo and colour lookups go through it.
Tk_Window MainWindow(Tcl_Interp* interp);

// The photo of that name, or null with an error in the result (no such
// photo, or an application whose main window is gone).
Tk_PhotoHandle FindPhoto(Tcl_Interp* interp, Tcl_Obj* name);

#endif
