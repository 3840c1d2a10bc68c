#include "PhotoBlock.h"

bool BlockHasAlpha(const Tk_PhotoImageBlock& block)
{
    // The block of `data` and `write` for a photo without transparency
    // gives its alpha offset as -1.
    const int* off = block.offset;
    return off[3] >= 0 && off[3] != off[0] && off[3] != off[1] && off[3] != off[2] &&
           off[3] < block.pixelSize;
}

bool BlockToImage(Tcl_Interp* interp, const Tk_PhotoImageBlock& block, Vistel* image)
{
    if (block.width <= 0 || block.height <= 0) {
        VistelError(interp, "the photo is empty", "IMAGE", "EMPTY");
        return false;
    }
    if (!vssize::PixelsFit((uint64_t)block.width, (uint64_t)block.height)) {
        VistelError(interp, vssize::kTooLarge, "MEMORY");
        return false;
    }
    Vistel work;
    if (!work.Create((DWORD)block.width, (DWORD)block.height, 24, 0)) {
        VistelError(interp, work.GetLastError(), "MEMORY");
        return false;
    }
    const bool hasAlpha = BlockHasAlpha(block);
    if (hasAlpha) {
        work.AlphaCreate();
        if (!work.AlphaIsValid()) {
            VistelError(interp, "not enough memory for the alpha plane", "MEMORY");
            return false;
        }
    }
    const int* off = block.offset;
    const int h = block.height;
    BYTE allAlpha = 255;
    for (int y = 0; y < h; y++) {
        const unsigned char* src = block.pixelPtr + (size_t)y * block.pitch;
        BYTE* dst = work.GetBits((DWORD)(h - 1 - y));
        BYTE* alpha = hasAlpha ? work.AlphaGetPointer(0, h - 1 - y) : nullptr;
        for (int x = 0; x < block.width; x++, src += block.pixelSize, dst += 3) {
            dst[0] = src[off[2]];
            dst[1] = src[off[1]];
            dst[2] = src[off[0]];
            if (alpha) allAlpha &= alpha[x] = src[off[3]];
        }
    }
    // Tk's photos always carry alpha; an opaque one needs no plane.
    if (hasAlpha && allAlpha == 255) work.AlphaDelete();
    image->Transfer(work);
    return true;
}

bool PhotoToImage(Tcl_Interp* interp, Tk_PhotoHandle photo, Vistel* image)
{
    Tk_PhotoImageBlock block;
    Tk_PhotoGetImage(photo, &block);
    return BlockToImage(interp, block, image);
}
