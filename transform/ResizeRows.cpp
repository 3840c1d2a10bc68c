// Plain and SSE2 forms of the resizing loops. Sums are exact in 32-bit
// integers (a byte times a weight below 2^15, summed over weights whose
// magnitudes add up to little more than 2^14), so the order of the additions
// never changes a result; SSE2's pmaddwd adds two products at a time.
#include "ResizeRows.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vsresize {

namespace {

constexpr int32_t kHalf = 1 << (kWeightBits - 1);

uint8_t ToByte(int32_t sum)
{
    if (sum < 0) return 0;
    sum >>= kWeightBits;
    return (uint8_t)(sum > 255 ? 255 : sum);
}

void ResamplePlain(const uint8_t* in, const RowTaps& taps, int outWidth, uint8_t* out)
{
    for (int x = 0; x < outWidth; x++, out += 4) {
        const uint8_t* p = in + (size_t)taps.first[x] * 4;
        const int16_t* w = taps.weights + (size_t)x * taps.stride;
        int32_t sum[4] = {kHalf, kHalf, kHalf, kHalf};
        for (int t = 0; t < taps.count[x]; t++, p += 4)
            for (int c = 0; c < 4; c++) sum[c] += p[c] * w[t];
        for (int c = 0; c < 4; c++) out[c] = ToByte(sum[c]);
    }
}

// Bytes [from, to) of a combination of rows.
void CombineRange(const uint8_t* const* rows, const int16_t* weights, int count, size_t from,
                  size_t to, uint8_t* out)
{
    for (size_t i = from; i < to; i++) {
        int32_t sum = kHalf;
        for (int t = 0; t < count; t++) sum += rows[t][i] * weights[t];
        out[i] = ToByte(sum);
    }
}

void CombinePlain(const uint8_t* const* rows, const int16_t* weights, int count, size_t bytes,
                  uint8_t* out)
{
    CombineRange(rows, weights, count, 0, bytes, out);
}

void AccumulatePlain(const uint8_t* row, size_t bytes, uint16_t* sums)
{
    for (size_t i = 0; i < bytes; i++) sums[i] += row[i];
}

bool OpaquePlain(const uint8_t* rgba, size_t pixels)
{
    for (size_t i = 0; i < pixels; i++)
        if (rgba[i * 4 + 3] != 255) return false;
    return true;
}

#if defined(__SSE2__)

// Two weights in the 16-bit lanes of every 32-bit lane, as pmaddwd pairs them.
__m128i WeightPair(int16_t first, int16_t second)
{
    return _mm_set1_epi32((int32_t)((uint32_t)(uint16_t)first | (uint32_t)(uint16_t)second << 16));
}

__m128i LoadPixel(const uint8_t* p)
{
    int32_t v;
    memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}

// Four 32-bit sums to four bytes: shift, then saturate to 0..255.
__m128i SumsToBytes(__m128i a, __m128i b, __m128i c, __m128i d)
{
    const __m128i ab =
        _mm_packs_epi32(_mm_srai_epi32(a, kWeightBits), _mm_srai_epi32(b, kWeightBits));
    const __m128i cd =
        _mm_packs_epi32(_mm_srai_epi32(c, kWeightBits), _mm_srai_epi32(d, kWeightBits));
    return _mm_packus_epi16(ab, cd);
}

// Two taps at a time: the channels of two pixels interleaved as 16-bit
// pairs, one pmaddwd giving the four channel sums.
void ResampleSse2(const uint8_t* in, const RowTaps& taps, int outWidth, uint8_t* out)
{
    const __m128i zero = _mm_setzero_si128();
    for (int x = 0; x < outWidth; x++, out += 4) {
        const uint8_t* p = in + (size_t)taps.first[x] * 4;
        const int16_t* w = taps.weights + (size_t)x * taps.stride;
        const int n = taps.count[x];
        __m128i sum = _mm_set1_epi32(kHalf);
        int t = 0;
        for (; t + 1 < n; t += 2, p += 8) {
            const __m128i pair = _mm_unpacklo_epi8(LoadPixel(p), LoadPixel(p + 4));
            sum = _mm_add_epi32(
                sum, _mm_madd_epi16(_mm_unpacklo_epi8(pair, zero), WeightPair(w[t], w[t + 1])));
        }
        if (t < n) {
            const __m128i single = _mm_unpacklo_epi8(LoadPixel(p), zero);
            sum = _mm_add_epi32(
                sum, _mm_madd_epi16(_mm_unpacklo_epi8(single, zero), WeightPair(w[t], 0)));
        }
        const int32_t bytes = _mm_cvtsi128_si32(SumsToBytes(sum, zero, zero, zero));
        memcpy(out, &bytes, 4);
    }
}

// Sixteen bytes at a time, two rows at a time: bytes of the two rows
// interleaved as 16-bit pairs. An odd last row pairs with zeros.
void CombineSse2(const uint8_t* const* rows, const int16_t* weights, int count, size_t bytes,
                 uint8_t* out)
{
    const __m128i zero = _mm_setzero_si128();
    size_t i = 0;
    for (; i + 16 <= bytes; i += 16) {
        __m128i s0 = _mm_set1_epi32(kHalf), s1 = s0, s2 = s0, s3 = s0;
        for (int t = 0; t < count; t += 2) {
            const bool pair = t + 1 < count;
            const __m128i w = WeightPair(weights[t], pair ? weights[t + 1] : 0);
            const __m128i a = _mm_loadu_si128((const __m128i*)(rows[t] + i));
            const __m128i b = pair ? _mm_loadu_si128((const __m128i*)(rows[t + 1] + i)) : zero;
            const __m128i lo = _mm_unpacklo_epi8(a, b), hi = _mm_unpackhi_epi8(a, b);
            s0 = _mm_add_epi32(s0, _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), w));
            s1 = _mm_add_epi32(s1, _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), w));
            s2 = _mm_add_epi32(s2, _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), w));
            s3 = _mm_add_epi32(s3, _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), w));
        }
        _mm_storeu_si128((__m128i*)(out + i), SumsToBytes(s0, s1, s2, s3));
    }
    CombineRange(rows, weights, count, i, bytes, out);
}

void AccumulateSse2(const uint8_t* row, size_t bytes, uint16_t* sums)
{
    const __m128i zero = _mm_setzero_si128();
    size_t i = 0;
    for (; i + 16 <= bytes; i += 16) {
        const __m128i v = _mm_loadu_si128((const __m128i*)(row + i));
        __m128i* lo = (__m128i*)(sums + i);
        __m128i* hi = (__m128i*)(sums + i + 8);
        _mm_storeu_si128(lo, _mm_add_epi16(_mm_loadu_si128(lo), _mm_unpacklo_epi8(v, zero)));
        _mm_storeu_si128(hi, _mm_add_epi16(_mm_loadu_si128(hi), _mm_unpackhi_epi8(v, zero)));
    }
    AccumulatePlain(row + i, bytes - i, sums + i);
}

bool OpaqueSse2(const uint8_t* rgba, size_t pixels)
{
    const __m128i alpha = _mm_set1_epi32((int32_t)0xFF000000u);
    __m128i all = _mm_set1_epi32(-1);
    size_t i = 0;
    for (; i + 4 <= pixels; i += 4)
        all = _mm_and_si128(all, _mm_loadu_si128((const __m128i*)(rgba + i * 4)));
    all = _mm_and_si128(all, alpha);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(all, alpha)) != 0xFFFF) return false;
    return OpaquePlain(rgba + i * 4, pixels - i);
}

#endif

}  // namespace

const RowKernels kPlainRows = {ResamplePlain, CombinePlain, AccumulatePlain, OpaquePlain};

#if defined(__SSE2__)
const RowKernels kFastRows = {ResampleSse2, CombineSse2, AccumulateSse2, OpaqueSse2};
#else
const RowKernels kFastRows = kPlainRows;
#endif

}  // namespace vsresize
