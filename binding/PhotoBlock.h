// A photo's pixels as an image of the library: the one conversion from
// Tk's pixel blocks.
#ifndef VISTEL_PHOTOBLOCK_H
#define VISTEL_PHOTOBLOCK_H

#include "TkVistel.h"
#include "Vistel.h"

// Whether a block carries alpha bytes of its own.
bool BlockHasAlpha(const Tk_PhotoImageBlock& block);

// Builds a 24-bit image from the block, with an alpha plane when the block
// carries alpha that is not everywhere opaque. False with the reason in the interpreter's result (an
// empty photo, a picture past the ceiling, no memory).
bool BlockToImage(Tcl_Interp* interp, const Tk_PhotoImageBlock& block, Vistel* image);

// The block's colours as an indexed image of at most 256 entries, for a
// palette file (GIF): exact when the photo has that few, transparency kept
// as one index.
bool BlockToPalette(Tcl_Interp* interp, const Tk_PhotoImageBlock& block, Vistel* image);

// The same from a photo's whole content.
bool PhotoToImage(Tcl_Interp* interp, Tk_PhotoHandle photo, Vistel* image);

#endif
