// Checked arithmetic for sizes taken from untrusted data, and the ceiling on
// picture size.
//
// Every codec computes buffer sizes from header fields an attacker controls:
// width x height x depth, row strides, palette and chunk lengths. A product
// that wraps around 32 (or even 64) bits allocates a small buffer that the
// decoder then overruns. These helpers do the arithmetic in 64 bits, report
// overflow instead of wrapping, and compare the result with the ceiling
// before anyone allocates. Use them for every size derived from file
// contents.
//
// The ceiling counts pixels, so that whatever can be read can also be
// written, converted and transformed whichever intermediate buffer an
// operation uses. It belongs to the calling thread: the Tk binding sets each
// interpreter's own for the length of a command (CeilingScope).
#ifndef VISTEL_SAFESIZE_H
#define VISTEL_SAFESIZE_H

#include <cstdint>

namespace vssize {

// The default ceiling: 2^31 / 12 pixels (about 13,000 x 13,000), the largest
// picture whose bytes at twelve per pixel stay below 2 GiB.
constexpr uint64_t kDefaultMaxPixels = 178956970;
// The highest ceiling that can be set: four bytes a pixel stay within the
// 32-bit sizes of pixel blocks.
constexpr uint64_t kHighestMaxPixels = (uint64_t)1 << 29;
// Largest single buffer the library allocates, whatever the ceiling.
constexpr uint64_t kMaxBlockBytes = 0xFFFF0000u;
// The one message of a refusal by the ceiling.
constexpr const char kTooLarge[] = "the picture exceeds the pixel limit (see ::Vistel::Limit)";

// The calling thread's ceiling in pixels.
uint64_t MaxPixels();

// Sets the calling thread's ceiling for the life of the object.
class CeilingScope {
public:
    explicit CeilingScope(uint64_t maxPixels);
    ~CeilingScope();
    CeilingScope(const CeilingScope&) = delete;
    CeilingScope& operator=(const CeilingScope&) = delete;

private:
    uint64_t previous_;
};

// a * b, or false when the product does not fit in 64 bits.
inline bool Mul(uint64_t a, uint64_t b, uint64_t* out)
{
    if (a != 0 && b > UINT64_MAX / a) return false;
    *out = a * b;
    return true;
}

// a + b, or false on overflow.
inline bool Add(uint64_t a, uint64_t b, uint64_t* out)
{
    if (b > UINT64_MAX - a) return false;
    *out = a + b;
    return true;
}

// Whether a `width` x `height` picture stays within the ceiling.
inline bool PixelsFit(uint64_t width, uint64_t height)
{
    uint64_t pixels;
    return Mul(width, height, &pixels) && pixels <= MaxPixels();
}

// Bytes of one DIB row of `width` pixels at `bpp` bits, padded to 4 bytes.
// False when it overflows or passes the largest block.
inline bool RowBytes(uint64_t width, uint64_t bpp, uint64_t* out)
{
    uint64_t bits;
    if (!Mul(width, bpp, &bits) || !Add(bits, 31, &bits)) return false;
    *out = (bits / 32) * 4;
    return *out <= kMaxBlockBytes;
}

// Bytes of a `width` x `height` picture at `bpp` bits with 4-byte padded
// rows; false when it overflows or the picture passes the ceiling.
inline bool ImageBytes(uint64_t width, uint64_t height, uint64_t bpp, uint64_t* out)
{
    uint64_t row;
    if (!PixelsFit(width, height) || !RowBytes(width, bpp, &row) || !Mul(row, height, out))
        return false;
    return *out <= kMaxBlockBytes;
}

// Bytes of a plain `width` x `height` buffer of `bytesPerPixel` (RGBA
// exports, alpha planes, line buffers); false past the ceiling.
inline bool PixelBufferBytes(uint64_t width, uint64_t height, uint64_t bytesPerPixel,
                             uint64_t* out)
{
    uint64_t pixels;
    if (!PixelsFit(width, height) || !Mul(width, height, &pixels) ||
        !Mul(pixels, bytesPerPixel, out))
        return false;
    return *out <= kMaxBlockBytes;
}

}  // namespace vssize

#endif
