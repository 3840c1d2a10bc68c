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

// A w x h GIF-typed image of the given depth: random pixels (padding left
// zero), a palette whose entries all differ and, when asked, random alpha.
inline void MakeNoisy(Vistel& img, DWORD w, DWORD h, DWORD bpp, bool alpha, unsigned seed)
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
}

}  // namespace testimages

#endif
