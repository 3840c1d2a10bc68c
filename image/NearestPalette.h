// Nearest entry of a palette of at most 256 colours, by least squared
// distance over red, green and blue, ties to the lower index.
//
// Two searches give that same answer. The walk goes through the entries
// sorted by green, outwards from the colour's green, until the green
// difference alone passes the best distance found. The grid, of 32 levels
// per channel, gives a cell the few entries that can be nearest to some
// colour inside it, which a search then compares; listing them costs about
// as much as sixty walks, so a cell is listed at its 32nd search and walked
// before. Many searches per cell (the pixels of a large picture) then take
// the grid, few (the cells of a histogram) the walk.
#ifndef VISTEL_NEARESTPALETTE_H
#define VISTEL_NEARESTPALETTE_H

#include <cstdint>
#include <vector>

#include "VsTypes.h"

namespace vsquant {

struct Colour {
    BYTE r, g, b;
};

class NearestPalette {
public:
    // The first `count` colours of `palette` (at most 256).
    NearestPalette(const std::vector<Colour>& palette, int count);

    int Find(int r, int g, int b)
    {
        const uint32_t cell = (uint32_t)(r >> kShift) << (2 * kBits) |
                              (uint32_t)(g >> kShift) << kBits | (uint32_t)(b >> kShift);
        if (start_[cell] == kUnlisted) {
            if (++searches_[cell] < kListAt) return Walk(r, g, b);
            List(cell);
        }
        const BYTE* candidates = &pool_[start_[cell]];
        const int last = *candidates++;
        int best = INT32_MAX, index = 0;
        for (int k = 0; k <= last; k++) {
            const int i = candidates[k];
            const int dr = red_[i] - r, dg = green_[i] - g, db = blue_[i] - b;
            const int d = dr * dr + dg * dg + db * db;
            if (d < best) {
                best = d;
                index = i;
            }
        }
        return index;
    }

private:
    static constexpr int kBits = 5;
    static constexpr int kShift = 8 - kBits;
    static constexpr uint32_t kCells = 1u << (3 * kBits);
    static constexpr uint32_t kUnlisted = UINT32_MAX;
    static constexpr BYTE kListAt = 32;

    struct ByGreen {
        BYTE g, r, b, index;
    };

    int Walk(int r, int g, int b) const;
    void List(uint32_t cell);

    // Channels of the entries; entries past the palette lie far outside the
    // colour cube, where they are never nearest, so that the loops of List
    // run over all 256 and vectorise.
    int red_[256], green_[256], blue_[256];
    ByGreen byGreen_[256];
    int count_;
    std::vector<uint32_t> start_;  // per cell: where its candidates begin in pool_
    std::vector<BYTE> searches_;   // per unlisted cell: searches so far
    std::vector<BYTE> pool_;       // per listed cell: candidates less one, then the candidates
};

}  // namespace vsquant

#endif
