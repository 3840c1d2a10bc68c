#include "GifRead.h"

#include <string>
#include <vector>

#include "Animation.h"
#include "GifComposer.h"
#include "GifFile.h"
#include "Shrink.h"
#include "VistelGIF.h"

namespace {

// Whether the first frame's composition has no transparent pixel.
bool FirstFrameIsOpaque(const GifFile& gif)
{
    const GifFrame& f = gif.frames[0];
    return f.left == 0 && f.top == 0 && f.width == gif.width && f.height == gif.height &&
           f.transparent < 0 && f.indices.size() == (size_t)f.width * f.height;
}

// The first frame needs no canvas: it goes in a row at a time.
int PutFirstFrame(Tcl_Interp* interp, Tk_PhotoHandle photo, const GifFile& gif,
                  const PhotoRegion& r)
{
    const bool opaque = FirstFrameIsOpaque(gif);
    std::vector<uint8_t> row((size_t)gif.width * 4);
    for (int y = 0; y < r.height; y++) {
        GifComposer::FirstFrameRow(gif, r.srcY + y, row.data());
        if (PutRgba(interp, photo, row.data() + (size_t)r.srcX * 4, (int)row.size(), r.destX,
                    r.destY + y, r.width, 1, opaque) != TCL_OK)
            return TCL_ERROR;
    }
    return TCL_OK;
}

int PutComposedFrame(Tcl_Interp* interp, Tk_PhotoHandle photo, const GifFile& gif, size_t n,
                     const PhotoRegion& r)
{
    GifComposer composer(gif);
    if (!composer.ComposeTo(n))
        return VistelError(interp, "not enough memory to compose the frame", "MEMORY");
    const int pitch = gif.width * 4;
    return PutRgba(interp, photo, composer.Rgba() + (size_t)r.srcY * pitch + (size_t)r.srcX * 4,
                   pitch, r.destX, r.destY, r.width, r.height, false);
}

int PutStill(Tcl_Interp* interp, Tk_PhotoHandle photo, const GifFile& gif, size_t n,
             const PhotoRegion& region)
{
    PhotoRegion r = region;
    r.width = ClipSpan(r.srcX, r.width, gif.width);
    r.height = ClipSpan(r.srcY, r.height, gif.height);
    if (r.width > 0 && r.height > 0) {
        if (Tk_PhotoExpand(interp, photo, r.destX + r.width, r.destY + r.height) != TCL_OK)
            return VistelError(interp, nullptr, "MEMORY");
        const int rc = n == 0 ? PutFirstFrame(interp, photo, gif, r)
                              : PutComposedFrame(interp, photo, gif, n, r);
        if (rc != TCL_OK) return rc;
    }
    animation::Forget(photo);
    return TCL_OK;
}

// A frame at 1/scale of its size.
int PutScaledStill(Tcl_Interp* interp, Tk_PhotoHandle photo, const GifFile& gif, size_t n,
                   int scale, const PhotoRegion& region)
{
    Vistel frame;
    if (!VistelGIF::ComposeFrame(gif, n, &frame) || !ShrinkByArea(frame, scale))
        return VistelError(interp, frame.GetLastError(), "MEMORY");
    if (PutImageRegion(interp, photo, frame, region) != TCL_OK) return TCL_ERROR;
    animation::Forget(photo);
    return TCL_OK;
}

}  // namespace

int ReadGifIntoPhoto(Tcl_Interp* interp, const BYTE* bytes, size_t length, Tk_PhotoHandle photo,
                     const PhotoRegion& region, long index, int scale)
{
    GifFile gif;
    std::string error;
    VsMemFile file(const_cast<BYTE*>(bytes), (DWORD)length);
    if (!gif.Read(&file, GifFile::kPixels, vssize::MaxPixels(), &error))
        return VistelError(interp, error.c_str(), "DECODE");
    const size_t shown = gif.ShownFrames();
    if (index < 0 && shown > 1) return animation::Play(interp, photo, std::move(gif), region, scale);
    if (index < 0) index = 0;
    if ((size_t)index >= shown) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("no frame %ld: the file has %lu frame%s", index,
                                               (unsigned long)shown, shown == 1 ? "" : "s"));
        return VistelError(interp, nullptr, "FRAME", "RANGE");
    }
    const size_t n = gif.StillFrame((size_t)index);
    if (scale > 1) return PutScaledStill(interp, photo, gif, n, scale, region);
    return PutStill(interp, photo, gif, n, region);
}
