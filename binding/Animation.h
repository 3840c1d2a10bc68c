// Animated GIFs playing inside photos. Each animated photo keeps its file's
// frames as decoded and composes the frame to show when its time comes, as
// browsers do; one timer per thread serves every animation due. The photo
// commands reach an animation only through these calls.
#ifndef VISTEL_ANIMATION_H
#define VISTEL_ANIMATION_H

#include <cstddef>
#include <functional>
#include <string>

#include "GifFile.h"
#include "PhotoPut.h"
#include "TkVistel.h"
#include "Vistel.h"

namespace animation {

// What a photo command does to a still photo, done to every frame of an
// animated one as it is shown (::Vistel::Resize, Thumbnail, Colorize,
// Rotate). False with the reason in *error.
using FrameOperation = std::function<bool(Vistel& frame, std::string* error)>;

// Plays the file's frames in the photo, in place of any animation it had:
// the read's region of each composed frame, shrunk to 1/scale of its size
// (ShrinkByArea) when scale > 1, lands where the region says. Frame 0 is
// in the photo on return. TCL_ERROR with the reason in the result when
// frame 0 could not be put.
int Play(Tcl_Interp* interp, Tk_PhotoHandle photo, GifFile&& gif, const PhotoRegion& region,
         int scale = 1);

// Forgets the photo's animation, if any: other pixels went into it.
void Forget(Tk_PhotoHandle photo);

bool IsAnimated(Tk_PhotoHandle photo);
// Frames of the photo's animation; 1 for a still photo.
size_t FrameCount(Tk_PhotoHandle photo);
// Pauses on the frame shown.
void Stop(Tk_PhotoHandle photo);
// Resumes a paused animation; one that has played its loops starts again
// from frame 0.
void Start(Tk_PhotoHandle photo);
// Shows frame n (below FrameCount) at once; a running animation goes on
// from there.
int Jump(Tcl_Interp* interp, Tk_PhotoHandle photo, size_t n);
// Does `operation` to every frame from now on, after those done before,
// and shows the frame on show so at once. Refused, with nothing changed,
// when it fails on that frame or when all frames at the size it gives
// would pass the interpreter's ceiling.
int Transform(Tcl_Interp* interp, Tk_PhotoHandle photo, const FrameOperation& operation);

}  // namespace animation

#endif
