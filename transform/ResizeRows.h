// The inner loops of resizing, over rows of premultiplied RGBA bytes: a row
// resampled along its length, rows combined into one, rows summed for a box
// shrink, and the test whether a row is opaque. Each comes in a plain form
// and, on processors with SSE2, in a fast form that does the same integer
// arithmetic in another order, so that both give the same bytes.
#ifndef VISTEL_RESIZEROWS_H
#define VISTEL_RESIZEROWS_H

#include <cstddef>
#include <cstdint>

namespace vsresize {

// Fraction bits of a fixed-point weight. An output byte is the sum of input
// bytes times weights, plus one half, shifted down by this and clamped to
// 0..255; the weights of one output sum to exactly 1 << kWeightBits.
constexpr int kWeightBits = 14;

// Where each pixel of an output row takes its inputs: output x reads
// count[x] pixels from pixel first[x] on, weighted by
// weights[x * stride] to weights[x * stride + count[x] - 1].
struct RowTaps {
    const int* first;
    const int* count;
    const int16_t* weights;
    int stride;
};

struct RowKernels {
    // Resamples a row of RGBA pixels into `outWidth` pixels.
    void (*resample)(const uint8_t* in, const RowTaps& taps, int outWidth, uint8_t* out);
    // out[i] = weighted sum of rows[t][i] over t < count, for i < bytes.
    void (*combine)(const uint8_t* const* rows, const int16_t* weights, int count, size_t bytes,
                    uint8_t* out);
    // sums[i] += row[i], for i < bytes (at most 257 rows fit).
    void (*accumulate)(const uint8_t* row, size_t bytes, uint16_t* sums);
    // Whether the alpha byte of each of `pixels` RGBA pixels is 255.
    bool (*opaque)(const uint8_t* rgba, size_t pixels);
};

extern const RowKernels kPlainRows;
// The fast forms where this processor has them, else the plain ones.
extern const RowKernels kFastRows;

}  // namespace vsresize

#endif
