// Nearest entry of a palette of at most 256 colours, by least squared
// distance over red, green and blue, ties to the lower index. The entries
// are sorted by green and searched outwards from the colour's green until
// the green difference alone is beyond the best distance found, so a
// search looks at a few entries rather than all of them.
#ifndef VISTEL_NEARESTPALETTE_H
#define VISTEL_NEARESTPALETTE_H

#include <algorithm>
#include <cstdint>

#include "VsTypes.h"

namespace vsquant {

struct Colour {
    BYTE r, g, b;
};

class NearestPalette {
public:
    NearestPalette(const Colour* colours, int count)
    {
        count_ = std::min(count, 256);
        for (int i = 0; i < count_; i++)
            byGreen_[i] = {colours[i].g, colours[i].r, colours[i].b, (BYTE)i};
        std::stable_sort(byGreen_, byGreen_ + count_,
                         [](const Entry& a, const Entry& b) { return a.g < b.g; });
    }

    int Find(int r, int g, int b) const
    {
        int best = INT32_MAX, index = 0;
        const Entry* end = byGreen_ + count_;
        const Entry* up = std::lower_bound(byGreen_, end, g,
                                           [](const Entry& e, int v) { return e.g < v; });
        const Entry* down = up;
        bool goUp = up < end, goDown = down > byGreen_;
        while (goUp || goDown) {
            if (goUp) goUp = Try(*up, r, g, b, &best, &index) && ++up < end;
            if (goDown) {
                --down;
                goDown = Try(*down, r, g, b, &best, &index) && down > byGreen_;
            }
        }
        return index;
    }

private:
    struct Entry {
        BYTE g, r, b, index;
    };

    // Considers one entry; false once its green difference alone is beyond
    // the best distance, which ends the walk in that direction.
    static bool Try(const Entry& e, int r, int g, int b, int* best, int* index)
    {
        const int dg = e.g - g;
        int d = dg * dg;
        if (d > *best) return false;
        const int dr = e.r - r, db = e.b - b;
        d += dr * dr + db * db;
        if (d < *best || (d == *best && e.index < *index)) {
            *best = d;
            *index = e.index;
        }
        return true;
    }

    Entry byGreen_[256];
    int count_ = 0;
};

}  // namespace vsquant

#endif
