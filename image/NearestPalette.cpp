// The two nearest-entry searches of NearestPalette.h: the walk by green and
// the listing of a grid cell's candidates.
#include "NearestPalette.h"

#include <algorithm>

namespace vsquant {
namespace {

constexpr int kFarAway = 4096;

}  // namespace

NearestPalette::NearestPalette(const std::vector<Colour>& palette, int count)
    : count_(std::min(count, 256)), start_(kCells, kUnlisted), searches_(kCells, 0)
{
    std::fill(red_, red_ + 256, kFarAway);
    std::fill(green_, green_ + 256, kFarAway);
    std::fill(blue_, blue_ + 256, kFarAway);
    for (int i = 0; i < count_; i++) {
        const Colour& c = palette[(size_t)i];
        red_[i] = c.r;
        green_[i] = c.g;
        blue_[i] = c.b;
        byGreen_[i] = {c.g, c.r, c.b, (BYTE)i};
    }
    std::stable_sort(byGreen_, byGreen_ + count_,
                     [](const ByGreen& a, const ByGreen& b) { return a.g < b.g; });
}

int NearestPalette::Walk(int r, int g, int b) const
{
    int best = INT32_MAX, index = 0;
    // Considers one entry; false once its green difference alone is beyond
    // the best distance, which ends the walk in that direction.
    auto visit = [&](const ByGreen& e) {
        const int dg = e.g - g;
        int d = dg * dg;
        if (d > best) return false;
        const int dr = e.r - r, db = e.b - b;
        d += dr * dr + db * db;
        if (d < best || (d == best && e.index < index)) {
            best = d;
            index = e.index;
        }
        return true;
    };
    const ByGreen* end = byGreen_ + count_;
    const ByGreen* up = std::lower_bound(byGreen_, end, g,
                                         [](const ByGreen& e, int v) { return e.g < v; });
    const ByGreen* down = up;
    bool goUp = up < end, goDown = down > byGreen_;
    while (goUp || goDown) {
        if (goUp) goUp = visit(*up) && ++up < end;
        if (goDown) {
            --down;
            goDown = visit(*down) && down > byGreen_;
        }
    }
    return index;
}

// An entry farther from every colour of the cell than some entry is from
// the cell's farthest colour can be nearest to none of them. Candidates go
// in index order, so that ties go to the lower index.
void NearestPalette::List(uint32_t cell)
{
    constexpr int kSpan = (1 << kShift) - 1;
    const int lo[3] = {(int)(cell >> (2 * kBits)) << kShift,
                       (int)((cell >> kBits) & ((1u << kBits) - 1)) << kShift,
                       (int)(cell & ((1u << kBits) - 1)) << kShift};
    const int hi[3] = {lo[0] + kSpan, lo[1] + kSpan, lo[2] + kSpan};
    int bound = INT32_MAX;
    for (int i = 0; i < 256; i++) {
        const int fr = std::max(red_[i] - lo[0], hi[0] - red_[i]);
        const int fg = std::max(green_[i] - lo[1], hi[1] - green_[i]);
        const int fb = std::max(blue_[i] - lo[2], hi[2] - blue_[i]);
        bound = std::min(bound, fr * fr + fg * fg + fb * fb);
    }
    int nearest[256];
    for (int i = 0; i < 256; i++) {
        const int nr = std::max(lo[0] - red_[i], 0) + std::max(red_[i] - hi[0], 0);
        const int ng = std::max(lo[1] - green_[i], 0) + std::max(green_[i] - hi[1], 0);
        const int nb = std::max(lo[2] - blue_[i], 0) + std::max(blue_[i] - hi[2], 0);
        nearest[i] = nr * nr + ng * ng + nb * nb;
    }
    start_[cell] = (uint32_t)pool_.size();
    pool_.push_back(0);
    for (int i = 0; i < 256; i++)
        if (nearest[i] <= bound) pool_.push_back((BYTE)i);
    pool_[start_[cell]] = (BYTE)(pool_.size() - start_[cell] - 2);
}

}  // namespace vsquant
