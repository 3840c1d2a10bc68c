// Pictures stored sideways or mirrored, as cameras record them with an
// EXIF orientation, turned the way they are meant to be seen.
#ifndef VISTEL_ORIENTATION_H
#define VISTEL_ORIENTATION_H

#include "Vistel.h"

// Turns and mirrors the image as EXIF orientation 1 to 8 says its stored
// rows are to be shown (other values leave it as it is). False with the
// reason set when a turn fails.
bool TurnUpright(Vistel& image, int orientation);

// Whether the orientation swaps the picture's width and height.
inline bool OrientationSwapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

#endif
