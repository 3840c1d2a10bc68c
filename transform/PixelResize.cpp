// Separable resampling in fixed point, streamed row by row: the picture is
// read once, top to bottom, and only a ring of the rows that the vertical
// filter still needs is held. Each axis precomputes, for every output
// pixel, the span of inputs it reads and their weights (Pillow's way: the
// kernel's support widened by the shrink, inputs outside the picture left
// out and the rest renormalised).
#include "PixelResize.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "ResizeRows.h"
#include "SafeSize.h"

namespace vsresize {

namespace {

// A shrink by at least twice the reducing gap along an axis first averages
// boxes of whole pixels, by the largest factor that still leaves a shrink
// of at least the gap to the filter. Against an exact bicubic shrink, a gap
// of 8 costs photos about 0.1 dB of PSNR, a gap of 4 about 0.4 dB and
// Pillow's thumbnail gap of 2 about 2 dB; a gap of 4 makes a thumbnail of a
// large photo about four times faster than one of 8.
constexpr int kResizeGap = 8;
constexpr int kThumbnailGap = 4;
// Largest box side: a box's sum, 255 * 255 * 255 at most, stays below 2^24,
// where the reciprocal division below is exact.
constexpr int kMaxBoxSide = 255;
constexpr int kOne = 1 << kWeightBits;

double Bicubic(double x)
{
    const double a = -0.5, t = std::fabs(x);
    if (t < 1.0) return ((a + 2.0) * t - (a + 3.0)) * t * t + 1.0;
    if (t < 2.0) return (((t - 5.0) * t + 8.0) * t - 4.0) * a;
    return 0.0;
}

double Bilinear(double x)
{
    const double t = std::fabs(x);
    return t < 1.0 ? 1.0 - t : 0.0;
}

// One axis of a resize: for each output, the inputs it reads and their
// fixed-point weights. `window` bounds the inputs any output reads.
struct Axis {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<int16_t> weights;
    int window = 0;

    RowTaps Taps() const { return RowTaps{first.data(), count.data(), weights.data(), window}; }
};

// `outSize` outputs over `inSize` inputs that cover `extent` input pixels
// (less than inSize when a box shrink left a partial last box).
bool MakeAxis(int inSize, double extent, int outSize, Filter filter, Axis* axis)
{
    const double scale = extent / outSize;
    const double widen = std::max(scale, 1.0);
    const double support = (filter == Filter::Bicubic ? 2.0 : 1.0) * widen;
    const int window = (int)std::ceil(support) * 2 + 1;
    uint64_t cells;
    if (!vssize::PixelBufferBytes((uint64_t)outSize, (uint64_t)window, sizeof(int16_t), &cells))
        return false;
    axis->window = window;
    axis->first.assign((size_t)outSize, 0);
    axis->count.assign((size_t)outSize, 0);
    axis->weights.assign((size_t)outSize * window, 0);
    std::vector<double> k((size_t)window);
    for (int x = 0; x < outSize; x++) {
        const double centre = (x + 0.5) * scale;
        const int lo = std::max((int)std::floor(centre - support + 0.5), 0);
        const int hi = std::min((int)std::floor(centre + support + 0.5), inSize);
        double total = 0.0;
        for (int i = lo; i < hi; i++) {
            const double d = (i + 0.5 - centre) / widen;
            k[i - lo] = filter == Filter::Bicubic ? Bicubic(d) : Bilinear(d);
            total += k[i - lo];
        }
        // Rounded weights that sum to exactly one, so that a flat area stays
        // flat: what rounding lost goes to the largest weight.
        int16_t* w = &axis->weights[(size_t)x * window];
        int sum = 0, largest = 0;
        for (int i = 0; i < hi - lo; i++) {
            w[i] = (int16_t)std::lround(k[i] / total * kOne);
            sum += w[i];
            if (std::abs(w[i]) > std::abs(w[largest])) largest = i;
        }
        // (Only absurd shrinks, of more than 2^15 after the box shrink, could
        // push that weight out of range: there most weights round to 0.)
        w[largest] = (int16_t)std::min(32767, std::max(-32768, w[largest] + kOne - sum));
        // Inputs that weigh nothing are not read.
        int skip = 0, n = hi - lo;
        while (skip < largest && w[skip] == 0) skip++;
        while (n - 1 > largest && w[n - 1] == 0) n--;
        std::memmove(w, w + skip, (size_t)(n - skip) * sizeof(int16_t));
        std::fill(w + (n - skip), w + window, (int16_t)0);
        axis->first[x] = lo + skip;
        axis->count[x] = n - skip;
    }
    return true;
}

// The box side for a shrink from `in` to `out` pixels (1: none).
int BoxSide(int in, int out, int gap)
{
    const int64_t side = (int64_t)in / ((int64_t)out * gap);
    return (int)std::max<int64_t>(1, std::min<int64_t>(side, kMaxBoxSide));
}

bool HasAlpha(const PixelView& v)
{
    if (v.alphaPlane) return true;
    const int a = v.offset[3];
    return a >= 0 && a < v.pixelSize && a != v.offset[0] && a != v.offset[1] && a != v.offset[2];
}

uint8_t Premultiply(uint8_t c, uint8_t a)
{
    const unsigned t = (unsigned)c * a + 128;
    return (uint8_t)((t + (t >> 8)) >> 8);
}

// Rows of a pixel view as RGBA, premultiplied when asked.
class RowSource {
public:
    RowSource(const PixelView& view, const RowKernels& kernels, bool premultiply)
        : view_(view),
          kernels_(kernels),
          premultiply_(premultiply),
          alpha_(HasAlpha(view)),
          plain_(view.pixelSize == 4 && view.offset[0] == 0 && view.offset[1] == 1 &&
                 view.offset[2] == 2 && view.offset[3] == 3 && !view.alphaPlane)
    {
    }

    // Row y: in place when the view's row already is what is asked,
    // otherwise written into `scratch` (width * 4 bytes).
    const uint8_t* Row(int y, uint8_t* scratch)
    {
        const uint8_t* row = view_.pixels + (ptrdiff_t)y * view_.pitch;
        const size_t width = (size_t)view_.width;
        if (plain_) {
            if (kernels_.opaque(row, width)) return row;
            opaque_ = false;
            if (!premultiply_) return row;
        }
        const uint8_t* alpha =
            view_.alphaPlane ? view_.alphaPlane + (ptrdiff_t)y * view_.alphaPitch : nullptr;
        const int* off = view_.offset;
        uint8_t* out = scratch;
        for (size_t x = 0; x < width; x++, row += view_.pixelSize, out += 4) {
            const uint8_t a = alpha ? alpha[x] : (alpha_ ? row[off[3]] : 255);
            out[0] = row[off[0]];
            out[1] = row[off[1]];
            out[2] = row[off[2]];
            out[3] = a;
            if (a != 255) {
                opaque_ = false;
                if (premultiply_)
                    for (int c = 0; c < 3; c++) out[c] = Premultiply(out[c], a);
            }
        }
        return scratch;
    }

    // Whether every row read so far was opaque.
    bool Opaque() const { return opaque_; }

private:
    const PixelView& view_;
    const RowKernels& kernels_;
    const bool premultiply_, alpha_, plain_;
    bool opaque_ = true;
};

// The picture shrunk by averaging boxes of sideX x sideY pixels; boxes at
// the right and bottom edges hold what is left.
class BoxShrink {
public:
    BoxShrink(RowSource& source, int width, int height, int sideX, int sideY,
              const RowKernels& kernels)
        : source_(source),
          kernels_(kernels),
          width_(width),
          height_(height),
          sideX_(sideX),
          sideY_(sideY),
          sums_((size_t)width * 4),
          scratch_((size_t)width * 4)
    {
    }

    static int Shrunk(int size, int side) { return (size + side - 1) / side; }

    // Row r of the shrunk picture into `out`.
    void Row(int r, uint8_t* out)
    {
        std::fill(sums_.begin(), sums_.end(), (uint16_t)0);
        const int y0 = r * sideY_, y1 = std::min(height_, y0 + sideY_);
        for (int y = y0; y < y1; y++)
            kernels_.accumulate(source_.Row(y, scratch_.data()), sums_.size(), sums_.data());
        uint32_t lastCount = 0;
        uint64_t reciprocal = 0;
        for (int x0 = 0; x0 < width_; x0 += sideX_, out += 4) {
            const int x1 = std::min(width_, x0 + sideX_);
            const uint32_t count = (uint32_t)((x1 - x0) * (y1 - y0));
            // (sum + count / 2) / count as a multiplication: exact for sums
            // below 2^24 and counts up to 2^16.
            if (count != lastCount) {
                lastCount = count;
                reciprocal = ((1ull << 40) + count - 1) / count;
            }
            uint32_t sum[4] = {count / 2, count / 2, count / 2, count / 2};
            for (const uint16_t* p = &sums_[(size_t)x0 * 4]; p < &sums_[(size_t)x1 * 4]; p += 4)
                for (int c = 0; c < 4; c++) sum[c] += p[c];
            for (int c = 0; c < 4; c++) out[c] = (uint8_t)((sum[c] * reciprocal) >> 40);
        }
    }

private:
    RowSource& source_;
    const RowKernels& kernels_;
    const int width_, height_, sideX_, sideY_;
    std::vector<uint16_t> sums_;
    std::vector<uint8_t> scratch_;
};

uint8_t Unpremultiply(uint8_t c, uint8_t a)
{
    const unsigned v = ((unsigned)c * 255 + a / 2) / a;
    return (uint8_t)(v > 255 ? 255 : v);
}

void UnpremultiplyRow(uint8_t* p, int width)
{
    for (int x = 0; x < width; x++, p += 4) {
        const uint8_t a = p[3];
        if (a == 255) continue;
        for (int c = 0; c < 3; c++) p[c] = a ? Unpremultiply(p[c], a) : 0;
    }
}

// Resamples `src` into width x height pixels at `out`, rows `outPitch`
// bytes apart. Rows of the source (or of its box shrink) are resampled
// across and kept in a ring, then combined down (across first), or
// combined down from the ring and the result resampled across (down
// first): whichever does less work.
Outcome ResizeInto(const PixelView& src, int width, int height, Filter filter, int gap,
                   const RowKernels& kernels, uint8_t* out, ptrdiff_t outPitch, bool* opaque)
{
    const int sideX = BoxSide(src.width, width, gap), sideY = BoxSide(src.height, height, gap);
    const bool boxed = sideX > 1 || sideY > 1;
    const int inWidth = BoxShrink::Shrunk(src.width, sideX);
    const int inHeight = BoxShrink::Shrunk(src.height, sideY);
    Axis across, down;
    if (!MakeAxis(inWidth, (double)src.width / sideX, width, filter, &across) ||
        !MakeAxis(inHeight, (double)src.height / sideY, height, filter, &down))
        return Outcome::TooLarge;

    // Work in multiply-adds, a tap across costing about twice one down.
    const double acrossWork = 2.0 * width * across.window, downWork = (double)height * down.window;
    const bool acrossFirst = (double)inHeight * acrossWork + downWork * width <=
                             downWork * inWidth + height * acrossWork;
    const int ringWidth = acrossFirst ? width : inWidth;
    const int ringRows = down.window;
    uint64_t ringBytes;
    if (!vssize::PixelBufferBytes((uint64_t)ringWidth, (uint64_t)ringRows, 4, &ringBytes))
        return Outcome::TooLarge;

    RowSource source(src, kernels, true);
    std::optional<BoxShrink> box;
    if (boxed) box.emplace(source, src.width, src.height, sideX, sideY, kernels);
    std::vector<uint8_t> ring((size_t)ringBytes);
    std::vector<const uint8_t*> ringRow((size_t)ringRows);
    // Rows on their way into the ring (across first), or the combined row
    // on its way across (down first).
    std::vector<uint8_t> line((size_t)inWidth * 4);
    const RowTaps acrossTaps = across.Taps();

    auto produce = [&](int r) {
        uint8_t* slot = &ring[(size_t)(r % ringRows) * ringWidth * 4];
        uint8_t* into = acrossFirst ? line.data() : slot;
        const uint8_t* row = into;
        if (box)
            box->Row(r, into);
        else
            row = source.Row(r, into);
        if (!acrossFirst) return row;
        kernels.resample(row, acrossTaps, width, slot);
        return (const uint8_t*)slot;
    };

    std::vector<const uint8_t*> rows((size_t)down.window);
    int produced = 0;
    for (int y = 0; y < height; y++) {
        const int first = down.first[y], count = down.count[y];
        for (; produced < first + count; produced++)
            ringRow[produced % ringRows] = produce(produced);
        for (int t = 0; t < count; t++) rows[t] = ringRow[(first + t) % ringRows];
        const int16_t* weights = &down.weights[(size_t)y * down.window];
        uint8_t* dst = out + (ptrdiff_t)y * outPitch;
        if (acrossFirst) {
            kernels.combine(rows.data(), weights, count, (size_t)width * 4, dst);
        } else {
            kernels.combine(rows.data(), weights, count, (size_t)inWidth * 4, line.data());
            kernels.resample(line.data(), acrossTaps, width, dst);
        }
        if (!source.Opaque()) UnpremultiplyRow(dst, width);
    }
    *opaque = source.Opaque();
    return Outcome::Ok;
}

// Copies `src` unchanged to `out`, rows `outPitch` bytes apart; whether it
// is opaque.
bool CopyInto(const PixelView& src, uint8_t* out, ptrdiff_t outPitch)
{
    RowSource source(src, kFastRows, false);
    for (int y = 0; y < src.height; y++, out += outPitch) {
        const uint8_t* row = source.Row(y, out);
        if (row != out) memcpy(out, row, (size_t)src.width * 4);
    }
    return source.Opaque();
}

bool IsEmpty(const PixelView& v)
{
    return !v.pixels || v.width <= 0 || v.height <= 0;
}

// Room for a width x height result, or the reason there is none.
Outcome Allocate(int width, int height, Rgba* out)
{
    uint64_t bytes;
    if (width <= 0 || height <= 0) return Outcome::BadSize;
    if (!vssize::PixelBufferBytes((uint64_t)width, (uint64_t)height, 4, &bytes))
        return Outcome::TooLarge;
    out->pixels.reset(new (std::nothrow) uint8_t[(size_t)bytes]);
    if (!out->pixels) return Outcome::NoMemory;
    out->width = width;
    out->height = height;
    return Outcome::Ok;
}

}  // namespace

const char* Message(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Ok: return "";
    case Outcome::EmptySource: return "the picture is empty";
    case Outcome::BadSize: return "width and height must be greater than zero";
    case Outcome::TooLarge: return vssize::kTooLarge;
    case Outcome::NoMemory: return "not enough memory to resize the picture";
    }
    return "";
}

void FitInBox(int width, int height, int boxWidth, int boxHeight, int* fitWidth, int* fitHeight)
{
    *fitWidth = width;
    *fitHeight = height;
    if (width <= boxWidth && height <= boxHeight) return;
    // Of the whole sizes either side of the exact one, the one whose
    // proportions w / h come closer to the picture's, in exact integers.
    const int64_t w = width, h = height, bw = boxWidth, bh = boxHeight;
    if (bw * h >= w * bh) {
        // The height fills the box; n wide is off by |w * bh - n * h|.
        const int64_t n = w * bh / h, under = w * bh - n * h;
        *fitHeight = boxHeight;
        *fitWidth = (int)std::max<int64_t>(1, n + (2 * under > h ? 1 : 0));
    } else {
        // The width fills the box; n high is off by |w * n - bw * h| / n.
        const int64_t n = bw * h / w, under = bw * h - w * n, over = w * (n + 1) - bw * h;
        *fitWidth = boxWidth;
        *fitHeight = (int)std::max<int64_t>(1, n + (under * (n + 1) > over * n ? 1 : 0));
    }
}

Outcome Resize(const PixelView& src, int width, int height, Filter filter, Rgba* out)
{
    if (IsEmpty(src)) return Outcome::EmptySource;
    try {
        Rgba result;
        Outcome outcome = Allocate(width, height, &result);
        const ptrdiff_t pitch = (ptrdiff_t)width * 4;
        if (outcome != Outcome::Ok) return outcome;
        if (width == src.width && height == src.height)
            result.opaque = CopyInto(src, result.pixels.get(), pitch);
        else
            outcome = ResizeInto(src, width, height, filter, kResizeGap, kFastRows,
                                 result.pixels.get(), pitch, &result.opaque);
        if (outcome == Outcome::Ok) *out = std::move(result);
        return outcome;
    } catch (const std::bad_alloc&) {
        return Outcome::NoMemory;
    }
}

Outcome Thumbnail(const PixelView& src, int boxWidth, int boxHeight, const uint8_t border[4],
                  Rgba* out)
{
    if (IsEmpty(src)) return Outcome::EmptySource;
    try {
        Rgba result;
        Outcome outcome = Allocate(boxWidth, boxHeight, &result);
        if (outcome != Outcome::Ok) return outcome;
        uint8_t* canvas = result.pixels.get();
        const size_t pixels = (size_t)boxWidth * boxHeight;
        for (size_t i = 0; i < pixels; i++) memcpy(canvas + i * 4, border, 4);

        int fitWidth, fitHeight;
        FitInBox(src.width, src.height, boxWidth, boxHeight, &fitWidth, &fitHeight);
        const ptrdiff_t pitch = (ptrdiff_t)boxWidth * 4;
        uint8_t* at = canvas + (boxHeight - fitHeight) / 2 * pitch + (boxWidth - fitWidth) / 2 * 4;
        bool opaque = true;
        if (fitWidth == src.width && fitHeight == src.height) {
            opaque = CopyInto(src, at, pitch);
        } else {
            outcome = ResizeInto(src, fitWidth, fitHeight, Filter::Bicubic, kThumbnailGap,
                                 kFastRows, at, pitch, &opaque);
            if (outcome != Outcome::Ok) return outcome;
        }
        const bool covered = fitWidth == boxWidth && fitHeight == boxHeight;
        result.opaque = opaque && (border[3] == 255 || covered);
        *out = std::move(result);
        return Outcome::Ok;
    } catch (const std::bad_alloc&) {
        return Outcome::NoMemory;
    }
}

}  // namespace vsresize
