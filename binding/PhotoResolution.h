// The resolution of the file a photo was read from. Tk's photos hold none,
// so the binding keeps it beside the photo for as long as the photo keeps
// the size that read gave it, and a write of the photo states it again.
#ifndef VISTEL_PHOTORESOLUTION_H
#define VISTEL_PHOTORESOLUTION_H

#include "TkVistel.h"
#include "Vistel.h"

namespace photoresolution {

// After a read of `image` into the photo: keeps its resolution, or forgets
// the photo's when it has none.
void Remember(Tcl_Interp* interp, Tk_PhotoHandle photo, const Vistel& image);
// After a read that brings no resolution.
void Forget(Tk_PhotoHandle photo);
// Gives the image made from a photo write's block the resolution kept for
// that photo, when the block shows a photo with one.
void Apply(const Tk_PhotoImageBlock& block, Vistel* image);

}  // namespace photoresolution

#endif
