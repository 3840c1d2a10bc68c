// Palette reduction for files of 256 colours at most (GIF): true-colour
// pixels with optional alpha become an indexed image.
//
// A picture of 256 colours or fewer, all pixels of alpha below 128 counting
// as one transparent colour, keeps exactly its colours. A richer picture
// gets 256 colours chosen from its own (Wu's variance-minimising cuts,
// refined by k-means) and is mapped onto them with Floyd-Steinberg error
// diffusion. Pixels of alpha below 128 become one palette entry, reported
// as the image's transparent index; GIF has one-bit transparency, so
// alpha 128 and above is opaque.
//
// The result has the fewest bits per pixel (1, 4 or 8) that hold its
// palette, and a palette of exactly that many entries.
#ifndef VISTEL_QUANTIZE_H
#define VISTEL_QUANTIZE_H

#include <cstddef>

#include "Vistel.h"

namespace vsquant {

// True-colour pixels read where they lie, in any channel order and row
// direction: row y (0 at the top) starts at pixels + y * rowStride.
struct PixelView {
    const BYTE* pixels = nullptr;      // the top-left pixel
    ptrdiff_t rowStride = 0;           // bytes from a row to the one below it
    int pixelStride = 0;               // bytes from a pixel to the next
    int red = 0, green = 0, blue = 0;  // channel offsets inside a pixel
    const BYTE* alpha = nullptr;       // alpha of the top-left pixel; null: opaque
    ptrdiff_t alphaRowStride = 0;
    int alphaPixelStride = 0;
    long width = 0, height = 0;

    const BYTE* Row(long y) const { return pixels + y * rowStride; }
    const BYTE* AlphaRow(long y) const { return alpha ? alpha + y * alphaRowStride : nullptr; }
};

// The pixels and alpha plane of a 24-bit image (bottom-up rows).
PixelView ViewOf(const Vistel& image);

// Makes `out` the indexed picture of `view`. The info block `out` already
// holds (type, frame data, codec options) stays, except the transparent
// index, which is set (or cleared) here. False when memory runs out, with
// the reason in *error.
bool ReduceToPalette(const PixelView& view, Vistel& out, const char** error);

// Makes `image` ready for a palette file: a true-colour image, or an indexed
// one with an alpha plane or palette alpha, is reduced as above; any other
// indexed image stays as it is. On failure *error holds the reason and the
// image shows the same picture.
bool ReduceImage(Vistel& image, const char** error);

}  // namespace vsquant

#endif
