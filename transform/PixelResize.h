// Resizing and thumbnails of pictures held as pixel blocks: a Tk photo's
// own block read in place, an animation frame, an image's rows.
//
// Sampling is centred (output pixel x stands for source point
// (x + 0.5) * scale - 0.5) and, when shrinking, each output pixel filters
// its whole footprint: the kernel is widened by the scale. Large shrinks
// first average whole boxes of pixels, as Pillow's reducing gap does, and
// filter what remains. Colour is filtered premultiplied by alpha, so fully
// transparent pixels add no colour to their neighbours.
#ifndef VISTEL_PIXELRESIZE_H
#define VISTEL_PIXELRESIZE_H

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vsresize {

// Pixels read in place, in the shape of a Tk photo block: `height` rows
// `pitch` bytes apart (negative for rows stored bottom-up), pixels
// `pixelSize` bytes apart, red, green and blue at byte offsets offset[0..2]
// and alpha at offset[3]. An alpha offset outside the pixel or equal to a
// colour's means no alpha, as Tk reads it; `alphaPlane`, when set, holds
// the alpha instead: one byte per pixel, rows `alphaPitch` bytes apart.
struct PixelView {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    ptrdiff_t pitch = 0;
    int pixelSize = 4;
    int offset[4] = {0, 1, 2, 3};
    const uint8_t* alphaPlane = nullptr;
    ptrdiff_t alphaPitch = 0;
};

// A resized picture: RGBA bytes, top row first, rows width * 4 bytes apart.
struct Rgba {
    int width = 0;
    int height = 0;
    bool opaque = true;  // every alpha byte is 255
    std::unique_ptr<uint8_t[]> pixels;
};

// Pillow's BILINEAR (triangle) and BICUBIC (Keys, a = -0.5) kernels.
enum class Filter { Bilinear, Bicubic };

enum class Outcome { Ok, EmptySource, BadSize, TooLarge, NoMemory };
// The message of an outcome, for the user.
const char* Message(Outcome outcome);

// Resamples `src` to width x height.
Outcome Resize(const PixelView& src, int width, int height, Filter filter, Rgba* out);

// A boxWidth x boxHeight picture filled with the RGBA colour `border`, with
// `src` centred on it, shrunk with the bicubic kernel to fit the box and
// keep its proportions when it is larger (a smaller one keeps its size).
Outcome Thumbnail(const PixelView& src, int boxWidth, int boxHeight, const uint8_t border[4],
                  Rgba* out);

// The size a picture is shrunk to inside a box (its own when it fits), as
// Pillow's thumbnail() makes it: the side longer relative to the box fills
// it, the other is the whole number (at least 1) below or above the exact
// one whose proportions come closer to the picture's, the lower on a tie.
void FitInBox(int width, int height, int boxWidth, int boxHeight, int* fitWidth, int* fitHeight);

}  // namespace vsresize

#endif
