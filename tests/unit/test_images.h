// Small images and comparisons shared by the image-core unit tests.
#ifndef VISTEL_TESTS_TEST_IMAGES_H
#define VISTEL_TESTS_TEST_IMAGES_H

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "Vistel.h"

namespace testimages {

// All four bytes equal, reserved byte included.
inline bool Same(RGBQUAD a, RGBQUAD b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

// A w x h GIF-typed image of the given depth: random pixels, a palette whose
// entries all differ and, when asked, random alpha. The row padding is zero,
// or with `setPadding` all ones, so that a copy that carries it shows.
inline void MakeNoisy(Vistel& img, DWORD w, DWORD h, DWORD bpp, bool alpha, unsigned seed,
                      bool setPadding = false)
{
    std::mt19937 rng(seed);
    ASSERT_TRUE(img.Create(w, h, bpp, VISTEL_FORMAT_GIF));
    img.Clear(0);
    RGBQUAD* pal = img.GetPalette();
    for (DWORD i = 0; i < img.GetNumColors(); i++)
        pal[i] = RGBQUAD{(BYTE)(i * 5), (BYTE)(255 - i), (BYTE)(i * 11), 0};
    for (DWORD y = 0; y < h; y++)
        for (DWORD x = 0; x < w; x++) {
            if (bpp == 24)
                img.SetPixelColor(x, y, RGBQUAD{(BYTE)rng(), (BYTE)rng(), (BYTE)rng(), 0});
            else
                img.SetPixelIndex(x, y, (BYTE)rng());
        }
    if (alpha) {
        img.AlphaCreate();
        for (DWORD y = 0; y < h; y++)
            for (DWORD x = 0; x < w; x++) img.AlphaSet(x, y, (BYTE)rng());
    }
    const size_t usedBits = (size_t)w * img.GetBpp();
    for (DWORD y = 0; setPadding && y < h; y++)
        for (size_t bit = usedBits; bit < (size_t)img.GetEffWidth() * 8; bit++)
            img.GetBits(y)[bit / 8] |= (BYTE)(0x80 >> (bit % 8));
}

// The stored value of pixel (x, y), read straight from the row bytes: a
// palette index, or blue-green-red packed into 24 bits.
inline unsigned RawPixel(const Vistel& img, long x, long y)
{
    const BYTE* row = img.GetBits((DWORD)y);
    switch (img.GetBpp()) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return (x % 2) ? (row[x / 2] & 15) : (row[x / 2] >> 4);
    case 8: return row[x];
    default: return row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
    }
}

// Expects `out` to be w x h with out(x, y) == src(map(x, y)) for every pixel,
// alpha included, and every row padding bit zero.
template <typename Map>
void ExpectMapped(Vistel& out, Vistel& src, DWORD w, DWORD h, Map map)
{
    ASSERT_TRUE(out.IsValid());
    ASSERT_EQ(out.GetWidth(), w);
    ASSERT_EQ(out.GetHeight(), h);
    ASSERT_EQ(out.GetBpp(), src.GetBpp());
    ASSERT_EQ(out.AlphaIsValid(), src.AlphaIsValid());
    for (long y = 0; y < (long)h; y++)
        for (long x = 0; x < (long)w; x++) {
            const auto s = map(x, y);
            ASSERT_EQ(RawPixel(out, x, y), RawPixel(src, s.first, s.second)) << "at " << x << "," << y;
            if (src.AlphaIsValid()) {
                ASSERT_EQ(out.AlphaGet(x, y), src.AlphaGet(s.first, s.second)) << x << "," << y;
            }
        }
    for (DWORD y = 0; y < h; y++)
        for (size_t bit = (size_t)w * out.GetBpp(); bit < (size_t)out.GetEffWidth() * 8; bit++)
            ASSERT_FALSE(out.GetBits(y)[bit / 8] & (0x80 >> (bit % 8))) << "padding of row " << y;
}

inline void ExpectSame(Vistel& a, Vistel& b)
{
    ExpectMapped(a, b, b.GetWidth(), b.GetHeight(), [](long x, long y) { return std::make_pair(x, y); });
}

}  // namespace testimages

#endif
