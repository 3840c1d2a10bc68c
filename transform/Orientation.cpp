#include "Orientation.h"

// Orientation n names where the stored picture's first row and column
// belong: 2 mirrored, 3 upside down, 4 flipped, 5 mirrored along the
// diagonal, 6 turned a quarter left (so shown turned right), 7 mirrored
// along the other diagonal, 8 turned a quarter right.
bool TurnUpright(Vistel& image, int orientation)
{
    switch (orientation) {
    case 2: return image.Mirror();
    case 3: return image.Rotate180();
    case 4: return image.Flip();
    case 5: return image.RotateRight() && image.Mirror();
    case 6: return image.RotateRight();
    case 7: return image.RotateLeft() && image.Mirror();
    case 8: return image.RotateLeft();
    default: return true;
    }
}
