// Checked arithmetic for sizes taken from untrusted data.
//
// Every codec computes buffer sizes from header fields an attacker controls:
// width x height x depth, row strides, palette and chunk lengths. A product
// that wraps around 32 (or even 64) bits allocates a small buffer that the
// decoder then overruns. These helpers do the arithmetic in 64 bits, report
// overflow instead of wrapping, and compare the result with the library's
// memory ceiling before anyone allocates. Use them for every size derived
// from file contents.
#ifndef VISTEL_SAFESIZE_H
#define VISTEL_SAFESIZE_H

#include <cstdint>

// Largest pixel block (and any other single buffer sized from a file) the
// library agrees to allocate.
constexpr uint64_t VISTEL_MAX_MEMORY = 256000000;

namespace vssize {

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

// Bytes of one DIB row of `width` pixels at `bpp` bits, padded to 4 bytes.
// False when it overflows or passes the memory ceiling.
inline bool RowBytes(uint64_t width, uint64_t bpp, uint64_t* out)
{
    uint64_t bits;
    if (!Mul(width, bpp, &bits) || !Add(bits, 31, &bits)) return false;
    *out = (bits / 32) * 4;
    return *out <= VISTEL_MAX_MEMORY;
}

// Bytes of a `width` x `height` picture at `bpp` bits with 4-byte padded
// rows; false when it overflows or passes the memory ceiling.
inline bool ImageBytes(uint64_t width, uint64_t height, uint64_t bpp, uint64_t* out)
{
    uint64_t row;
    if (!RowBytes(width, bpp, &row) || !Mul(row, height, out)) return false;
    return *out <= VISTEL_MAX_MEMORY;
}

// a * b * c within the memory ceiling (plain products, no padding): for
// buffers such as RGBA exports, alpha planes and line buffers.
inline bool Product(uint64_t a, uint64_t b, uint64_t c, uint64_t* out)
{
    uint64_t ab;
    if (!Mul(a, b, &ab) || !Mul(ab, c, out)) return false;
    return *out <= VISTEL_MAX_MEMORY;
}

}  // namespace vssize

#endif
