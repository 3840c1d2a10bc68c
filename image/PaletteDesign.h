// Adaptive palette of the reduction (Quantize.h) for a picture of more
// colours than a palette holds: a histogram of its opaque pixels on a grid
// of 64 levels per channel, Wu's cuts of that colour cube into the boxes of
// least total variance, then k-means passes over the histogram cells that
// move each palette colour to the mean of the colours nearest to it.
#ifndef VISTEL_PALETTEDESIGN_H
#define VISTEL_PALETTEDESIGN_H

#include <vector>

#include "NearestPalette.h"
#include "Quantize.h"

namespace vsquant {

// At most maxColours colours for the pixels of `view` whose alpha is 128 or
// more (all pixels without alpha); fewer when the picture has fewer
// distinct grid cells. False when memory runs out.
bool DesignPalette(const PixelView& view, int maxColours, std::vector<Colour>* palette);

}  // namespace vsquant

#endif
