// Reading a picture at a fraction of its size: the cheap reduction for
// thumbnails of types that cannot scale as they decode.
#ifndef VISTEL_SHRINK_H
#define VISTEL_SHRINK_H

#include "Vistel.h"

// Shrinks the image to 1/factor of its width and height (rounded up, as
// libjpeg's DCT scaling rounds), each new pixel the average of the square
// of old ones it covers, colours weighted by their alpha. The result is
// 24-bit, with an alpha plane when the image had any transparency (alpha
// plane, transparent index or colour, palette alpha). False with the
// reason set, the image unchanged, when memory runs out.
bool ShrinkByArea(Vistel& image, int factor);

#endif
