// A GIF read into a photo: an animation that plays there, or one frame of
// it, composed as the animation shows it, as a still picture.
#ifndef VISTEL_GIFREAD_H
#define VISTEL_GIFREAD_H

#include <cstddef>

#include "PhotoPut.h"
#include "TkVistel.h"

// Reads GIF data into the photo's region. `index` < 0 plays an animated
// file; otherwise frame `index` goes in as a still (an error naming the
// frame count when there is no such frame). Frames are shrunk to 1/scale
// of their size (ShrinkByArea).
int ReadGifIntoPhoto(Tcl_Interp* interp, const BYTE* bytes, size_t length, Tk_PhotoHandle photo,
                     const PhotoRegion& region, long index, int scale);

#endif
