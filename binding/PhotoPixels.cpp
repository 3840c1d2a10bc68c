#include "PhotoPixels.h"

#include "TkVistel.h"

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

int PutPicture(Tcl_Interp* interp, Tk_PhotoHandle photo, const vsresize::Rgba& picture)
{
    Tk_PhotoImageBlock block;
    block.pixelPtr = picture.pixels.get();
    block.width = picture.width;
    block.height = picture.height;
    block.pitch = picture.width * 4;
    block.pixelSize = 4;
    block.offset[0] = 0;
    block.offset[1] = 1;
    block.offset[2] = 2;
    // An alpha offset past the pixel tells Tk the block is opaque, which
    // spares it working out from the alpha bytes which pixels are visible.
    block.offset[3] = picture.opaque ? 4 : 3;
    if (Tk_PhotoSetSize(interp, photo, picture.width, picture.height) != TCL_OK ||
        Tk_PhotoPutBlock(interp, photo, &block, 0, 0, picture.width, picture.height,
                         TK_PHOTO_COMPOSITE_SET) != TCL_OK)
        return VistelError(interp, nullptr, "MEMORY");
    return TCL_OK;
}

int ResizeFailed(Tcl_Interp* interp, vsresize::Outcome outcome)
{
    return VistelError(interp, vsresize::Message(outcome),
                       outcome == vsresize::Outcome::NoMemory ? "MEMORY" : "IMAGE");
}
