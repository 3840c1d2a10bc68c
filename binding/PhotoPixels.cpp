#include "PhotoPixels.h"

#include "PhotoPut.h"

vsresize::PixelView PhotoView(Tk_PhotoHandle photo)
{
    Tk_PhotoImageBlock block;
    Tk_PhotoGetImage(photo, &block);
    vsresize::PixelView view;
    view.pixels = block.pixelPtr;
    view.width = block.width;
    view.height = block.height;
    view.pitch = block.pitch;
    view.pixelSize = block.pixelSize;
    for (int c = 0; c < 4; c++) view.offset[c] = block.offset[c];
    return view;
}

int PutResized(Tcl_Interp* interp, Tk_PhotoHandle photo, vsresize::Outcome outcome,
               const vsresize::Rgba& picture)
{
    switch (outcome) {
    case vsresize::Outcome::Ok: break;
    case vsresize::Outcome::EmptySource:
        return VistelError(interp, "the photo is empty", "IMAGE", "EMPTY");
    case vsresize::Outcome::BadSize:
        return VistelError(interp, vsresize::Message(outcome), "VALUE");
    default: return VistelError(interp, vsresize::Message(outcome), "MEMORY");
    }
    if (Tk_PhotoSetSize(interp, photo, picture.width, picture.height) != TCL_OK)
        return VistelError(interp, nullptr, "MEMORY");
    return PutRgba(interp, photo, picture.pixels.get(), picture.width * 4, 0, 0, picture.width,
                   picture.height, picture.opaque);
}
