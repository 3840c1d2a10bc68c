// Still photos resized in place of their pixels: the photo's own block read
// without a copy, the resized picture put back with one resize of the
// photo and one put.
#ifndef VISTEL_PHOTOPIXELS_H
#define VISTEL_PHOTOPIXELS_H

#include "PixelResize.h"
#include "TkVistel.h"

// The photo's own pixel block, not copied: valid until the photo changes.
vsresize::PixelView PhotoView(Tk_PhotoHandle photo);

// Gives the photo the picture's size and pixels when the outcome is Ok;
// otherwise raises the outcome's error (VISTEL MEMORY for the ceiling and
// memory, VISTEL IMAGE EMPTY for an empty photo) and leaves the photo as
// it was.
int PutResized(Tcl_Interp* interp, Tk_PhotoHandle photo, vsresize::Outcome outcome,
               const vsresize::Rgba& picture);

#endif
