// The image's rows come through its RGBA export, one at a time, so every
// depth and kind of transparency reads exactly as a photo receives it, and
// no export of the whole picture is held.
#include "Shrink.h"

#include <cstring>
#include <vector>

namespace {

// Whether the RGBA export's alpha bytes mean anything (otherwise they read
// as opaque).
bool CarriesAlpha(const Vistel& image)
{
    return image.AlphaIsValid() || image.IsTransparent() ||
           (image.IsIndexed() && image.AlphaPaletteIsEnabled());
}

// Receives the export row by row (top row first) and sums each square of
// `factor` x `factor` pixels into one pixel of `out`.
class AreaSums : public VsFile {
public:
    AreaSums(Vistel& out, DWORD width, int factor, bool alpha)
        : out_(out), width_(width), factor_(factor), alpha_(alpha),
          sums_((size_t)out.GetWidth() * kSums, 0)
    {
    }

    size_t Write(const void* buffer, size_t size, size_t count) override
    {
        if (size * count != (size_t)width_ * 4) return 0;
        const BYTE* px = (const BYTE*)buffer;
        for (DWORD x = 0; x < width_; x++, px += 4) {
            uint64_t* s = &sums_[(size_t)(x / factor_) * kSums];
            const unsigned a = alpha_ ? px[3] : 255;
            s[0] += px[0] * a;
            s[1] += px[1] * a;
            s[2] += px[2] * a;
            s[3] += a;
            s[4] += px[0];
            s[5] += px[1];
            s[6] += px[2];
            s[7] += 1;
        }
        if (++rowsIn_ % factor_ == 0) Emit();
        return count;
    }

    // Puts out the last, partial square row.
    void Finish()
    {
        if (rowsIn_ % factor_) Emit();
    }

    bool Flush() override { return true; }
    bool Close() override { return true; }
    size_t Read(void*, size_t, size_t) override { return 0; }
    bool Seek(long, int) override { return false; }
    long Tell() override { return 0; }
    long Size() override { return 0; }
    bool Eof() override { return false; }
    long Error() override { return 0; }
    long GetC() override { return -1; }

private:
    static const size_t kSums = 8;  // red, green, blue by alpha; alpha; red, green, blue; pixels

    // One row of the result from the sums, which start again. Colours are
    // weighted by alpha; a square with no alpha at all keeps its plain mean.
    void Emit()
    {
        const DWORD row = out_.GetHeight() - 1 - rowsOut_++;
        BYTE* dst = out_.GetBits(row);
        BYTE* alpha = alpha_ ? out_.AlphaGetPointer(0, (long)row) : nullptr;
        for (DWORD x = 0; x < out_.GetWidth(); x++, dst += 3) {
            const uint64_t* s = &sums_[(size_t)x * kSums];
            for (int c = 0; c < 3; c++)
                dst[2 - c] = (BYTE)(s[3] ? (s[c] + s[3] / 2) / s[3] : (s[4 + c] + s[7] / 2) / s[7]);
            if (alpha) alpha[x] = (BYTE)((s[3] + s[7] / 2) / s[7]);
        }
        std::fill(sums_.begin(), sums_.end(), 0);
    }

    Vistel& out_;
    const DWORD width_;
    const DWORD factor_;
    const bool alpha_;
    std::vector<uint64_t> sums_;
    DWORD rowsIn_ = 0;
    DWORD rowsOut_ = 0;
};

}  // namespace

bool ShrinkByArea(Vistel& image, int factor)
{
    if (factor <= 1 || !image.IsValid()) return true;
    const DWORD width = image.GetWidth(), height = image.GetHeight();
    const bool alpha = CarriesAlpha(image);
    Vistel small;
    if (!small.Create((width + factor - 1) / factor, (height + factor - 1) / factor, 24,
                      image.GetType())) {
        image.SetLastError(small.GetLastError());
        return false;
    }
    if (alpha) {
        small.AlphaCreate();
        if (!small.AlphaIsValid()) {
            image.SetLastError("not enough memory to shrink the picture");
            return false;
        }
    }
    try {
        AreaSums sums(small, width, factor, alpha);
        if (!image.Encode2RGBA(&sums)) return false;
        sums.Finish();
    } catch (...) {
        image.SetLastError("not enough memory to shrink the picture");
        return false;
    }
    return image.Transfer(small);
}
