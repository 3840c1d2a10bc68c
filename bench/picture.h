// Synthetic photo-like pictures for the benchmarks: smooth gradients, fine
// noise and hard-edged shapes, so that every codec and filter meets content
// that is neither flat nor pure noise. Pixels are top-down RGB or RGBA rows
// without padding; the same arguments always give the same bytes.
#ifndef VISTEL_BENCH_PICTURE_H
#define VISTEL_BENCH_PICTURE_H

#include <cstdint>
#include <vector>

namespace bench {

struct Picture {
    int width = 0;
    int height = 0;
    int channels = 0;  // 3 (RGB) or 4 (RGBA)
    std::vector<uint8_t> pixels;
};

// A still picture; seed varies the shapes and the noise.
Picture MakePicture(int width, int height, int channels, uint32_t seed = 1);

// Frame `index` of an animation: shapes move from frame to frame and the
// top-left 8 x 8 block carries a colour unique to the frame, so that a
// viewer can tell frames apart by reading one pixel.
Picture MakeFrame(int width, int height, int index);

// The same rows in the blue-green-red(-alpha) order that CreateFromArray
// takes (with bFlipImage = true for top-down rows).
std::vector<uint8_t> ToBGR(const Picture& pic);

}  // namespace bench

#endif
