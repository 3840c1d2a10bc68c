// A photo's pixels read in place for the resizing commands, and their
// result put back into the photo.
#ifndef VISTEL_PHOTOPIXELS_H
#define VISTEL_PHOTOPIXELS_H

#include <tcl.h>
#include <tk.h>

#include "PixelResize.h"

// The photo's own pixel block, not copied: valid until the photo changes.
vsresize::PixelView PhotoView(Tk_PhotoHandle photo);

// Gives the photo the picture's size and pixels: TCL_OK, or TCL_ERROR with
// the reason in the result (VISTEL MEMORY).
int PutPicture(Tcl_Interp* interp, Tk_PhotoHandle photo, const vsresize::Rgba& picture);

// A failed resize as the command's error: its message, with VISTEL MEMORY
// when memory ran out and VISTEL IMAGE otherwise. Returns TCL_ERROR.
int ResizeFailed(Tcl_Interp* interp, vsresize::Outcome outcome);

#endif
