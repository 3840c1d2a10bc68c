#include "PhotoPut.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Whether an image's RGBA export carries real alpha: an alpha plane, a
// transparent colour, or a palette whose entries hold alpha (PNG tRNS).
// Other images export alpha bytes that mean nothing and must read as opaque.
bool CarriesAlpha(const Vistel& image)
{
    return image.AlphaIsValid() || image.IsTransparent() ||
           (image.IsIndexed() && image.AlphaPaletteIsEnabled());
}

// A block of RGBA pixels; an alpha offset past the pixel tells Tk the block
// has no alpha.
Tk_PhotoImageBlock RgbaBlock(const uint8_t* rgba, int width, int height, int pitch, bool opaque)
{
    Tk_PhotoImageBlock block;
    memset(&block, 0, sizeof(block));
    block.pixelPtr = const_cast<unsigned char*>(rgba);
    block.width = width;
    block.height = height;
    block.pitch = pitch;
    block.pixelSize = 4;
    block.offset[0] = 0;
    block.offset[1] = 1;
    block.offset[2] = 2;
    block.offset[3] = opaque ? 4 : 3;
    return block;
}

// Receives an image's RGBA export row by row (top row first) and puts the
// region into the photo one row a put, so that no export of the whole image
// is ever held. One-row puts are also what Tk handles best: after a put of
// several rows that carries alpha it scans the whole photo for partial
// transparency, after a one-row put only that row. The photo must already
// be large enough: puts inside its size allocate nothing and cannot fail.
class PhotoRowSink : public VsFile {
public:
    PhotoRowSink(Tcl_Interp* interp, Tk_PhotoHandle photo, const Vistel& image,
                 const PhotoRegion& r)
        : interp_(interp), photo_(photo), rowBytes_((size_t)image.GetWidth() * 4), r_(r),
          opaque_(!CarriesAlpha(image))
    {
    }

    size_t Write(const void* buffer, size_t size, size_t count) override
    {
        if (size * count != rowBytes_ || failed_) return 0;
        const int y = rowsSeen_++;
        if (y < r_.srcY || y >= r_.srcY + r_.height) return count;
        const uint8_t* row = (const uint8_t*)buffer + (size_t)r_.srcX * 4;
        if (PutRgba(interp_, photo_, row, (int)rowBytes_, r_.destX, r_.destY + (y - r_.srcY),
                    r_.width, 1, opaque_) != TCL_OK) {
            failed_ = true;
            return 0;
        }
        return count;
    }

    bool Flush() override { return !failed_; }
    bool Close() override { return true; }
    size_t Read(void*, size_t, size_t) override { return 0; }
    bool Seek(long, int) override { return false; }
    long Tell() override { return (long)(rowsSeen_ * rowBytes_); }
    long Size() override { return Tell(); }
    bool Eof() override { return false; }
    long Error() override { return failed_ ? 1 : 0; }
    long GetC() override { return -1; }

private:
    Tcl_Interp* interp_;
    Tk_PhotoHandle photo_;
    const size_t rowBytes_;
    const PhotoRegion r_;
    const bool opaque_;
    int rowsSeen_ = 0;
    bool failed_ = false;
};

// Puts the region of an opaque 24-bit image straight from its pixel rows:
// blue-green-red bytes with no alpha, which Tk widens to opaque RGBA as it
// copies them, so no export of the image is made.
void PutOpaqueRows(Tcl_Interp* interp, Tk_PhotoHandle photo, Vistel& image, const PhotoRegion& r)
{
    Tk_PhotoImageBlock block;
    memset(&block, 0, sizeof(block));
    block.width = r.width;
    block.height = 1;
    block.pitch = r.width * 3;
    block.pixelSize = 3;
    block.offset[0] = 2;
    block.offset[1] = 1;
    block.offset[2] = 0;
    block.offset[3] = 3;  // past the pixel: the block has no alpha
    const int lastRow = (int)image.GetHeight() - 1;
    for (int y = 0; y < r.height; y++) {
        block.pixelPtr = image.GetBits((DWORD)(lastRow - (r.srcY + y))) + (size_t)r.srcX * 3;
        Tk_PhotoPutBlock(interp, photo, &block, r.destX, r.destY + y, r.width, 1,
                         TK_PHOTO_COMPOSITE_SET);
    }
}

}  // namespace

int ClipSpan(int src, int wanted, int size)
{
    if (src < 0 || wanted <= 0 || src >= size) return 0;
    const int left = size - src;
    return wanted < left ? wanted : left;
}

int PutRgba(Tcl_Interp* interp, Tk_PhotoHandle photo, const uint8_t* rgba, int pitch, int x,
            int y, int w, int h, bool opaque)
{
    if (w <= 0 || h <= 0) return TCL_OK;
    Tk_PhotoImageBlock block = RgbaBlock(rgba, w, h, pitch, opaque);
    if (Tk_PhotoPutBlock(interp, photo, &block, x, y, w, h, TK_PHOTO_COMPOSITE_SET) != TCL_OK)
        return VistelError(interp, nullptr, "MEMORY");
    return TCL_OK;
}

int PutImageRegion(Tcl_Interp* interp, Tk_PhotoHandle photo, Vistel& image, const PhotoRegion& region)
{
    PhotoRegion r = region;
    r.width = ClipSpan(r.srcX, r.width, (int)image.GetWidth());
    r.height = ClipSpan(r.srcY, r.height, (int)image.GetHeight());
    if (r.width <= 0 || r.height <= 0) return TCL_OK;
    if (Tk_PhotoExpand(interp, photo, r.destX + r.width, r.destY + r.height) != TCL_OK)
        return VistelError(interp, nullptr, "MEMORY");
    if (image.GetBpp() == 24 && !CarriesAlpha(image)) {
        PutOpaqueRows(interp, photo, image, r);
        return TCL_OK;
    }
    try {
        PhotoRowSink sink(interp, photo, image, r);
        if (image.Encode2RGBA(&sink)) return TCL_OK;
        return VistelError(interp, sink.Error() ? nullptr : image.GetLastError(),
                           sink.Error() ? "MEMORY" : "IMAGE");
    } catch (...) {
        return VistelError(interp, nullptr, "MEMORY");
    }
}

int ReplacePhoto(Tcl_Interp* interp, Tk_PhotoHandle photo, Vistel& image)
{
    PhotoRegion whole;
    whole.width = (int)image.GetWidth();
    whole.height = (int)image.GetHeight();
    if (Tk_PhotoSetSize(interp, photo, whole.width, whole.height) != TCL_OK)
        return VistelError(interp, nullptr, "MEMORY");
    return PutImageRegion(interp, photo, image, whole);
}
