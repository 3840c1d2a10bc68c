// Putting pixels into photos: decoded images (a read's region, or the
// photo's whole content) and RGBA buffers.
#ifndef VISTEL_PHOTOPUT_H
#define VISTEL_PHOTOPUT_H

#include <cstdint>

#include "TkVistel.h"
#include "Vistel.h"

// The part of a picture a read puts into a photo, as Tk's read procedures
// receive it: (srcX, srcY) of the picture lands at (destX, destY).
struct PhotoRegion {
    int destX = 0, destY = 0, width = 0, height = 0, srcX = 0, srcY = 0;
};

// Width or height of the part of [src, src + wanted) inside a side of `size`.
int ClipSpan(int src, int wanted, int size);

// Puts the region of a decoded image into the photo, which grows to hold it
// before any row goes in, so that a failure to grow leaves it as it was.
// Parts of the region past the picture are left alone.
int PutImageRegion(Tcl_Interp* interp, Tk_PhotoHandle photo, Vistel& image,
                   const PhotoRegion& region);

// Replaces the photo's whole content with the image, a row at a time, so
// that no export of the whole picture is made: once the photo has the
// image's size, puts inside it allocate nothing.
int ReplacePhoto(Tcl_Interp* interp, Tk_PhotoHandle photo, Vistel& image);

// Puts w x h pixels of an RGBA buffer (rows `pitch` bytes apart, starting
// at `rgba`) at (x, y) of the photo, replacing what is there. An opaque
// buffer goes in without its alpha bytes, which Tk then need not examine.
int PutRgba(Tcl_Interp* interp, Tk_PhotoHandle photo, const uint8_t* rgba, int pitch, int x,
            int y, int w, int h, bool opaque);

#endif
