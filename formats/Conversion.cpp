// The conversion rule: what an image becomes so that a type's encoder takes
// it, keeping all of what the picture shows that the type can hold. Alpha
// is what a photo read of the image shows: the alpha plane, or for indexed
// pixels a transparent index or palette alpha.
#include <vector>

#include "Formats.h"
#include "PackedIndex.h"
#include "Quantize.h"

namespace formats {

namespace {

bool PaletteCarriesAlpha(const Vistel& image)
{
    return image.IsIndexed() && (image.IsTransparent() || image.AlphaPaletteIsEnabled());
}

// The palette as the picture shows it: each entry with its alpha.
void ShownPalette(Vistel& image, RGBQUAD colours[256])
{
    const bool carriesAlpha = PaletteCarriesAlpha(image);
    for (int i = 0; i < 256; i++) {
        colours[i] = image.GetPaletteColor((BYTE)i);
        if (!carriesAlpha) colours[i].rgbReserved = 255;
    }
}

BYTE Mix(BYTE colour, BYTE back, unsigned alpha)
{
    return (BYTE)((colour * alpha + back * (255 - alpha) + 127) / 255);
}

RGBQUAD Composed(RGBQUAD c, RGBQUAD back, unsigned alpha)
{
    return {Mix(c.rgbBlue, back.rgbBlue, alpha), Mix(c.rgbGreen, back.rgbGreen, alpha),
            Mix(c.rgbRed, back.rgbRed, alpha), 0};
}

// An indexed image as 24 bits a pixel, its transparency kept as an alpha
// plane when `withAlpha`.
bool ToTrueColour(Vistel& image, bool withAlpha)
{
    RGBQUAD colours[256];
    ShownPalette(image, colours);
    const long width = (long)image.GetWidth(), height = (long)image.GetHeight();
    const unsigned bpp = image.GetBpp();
    Vistel rgb;
    rgb.CopyInfo(image);
    rgb.SetTransIndex(-1);
    rgb.AlphaPaletteEnable(false);
    if (!rgb.Create((DWORD)width, (DWORD)height, 24, image.GetType())) {
        image.SetLastError(rgb.GetLastError());
        return false;
    }
    if (withAlpha) {
        rgb.AlphaCreate();
        if (!rgb.AlphaIsValid()) {
            image.SetLastError("not enough memory for the alpha plane");
            return false;
        }
    }
    std::vector<BYTE> indices((size_t)width);
    for (long y = 0; y < height; y++) {
        UnpackIndexRow(image.GetBits((DWORD)y), bpp, width, indices.data());
        const BYTE* plane = image.AlphaIsValid() ? image.AlphaGetPointer(0, y) : nullptr;
        BYTE* alpha = withAlpha ? rgb.AlphaGetPointer(0, y) : nullptr;
        BYTE* out = rgb.GetBits((DWORD)y);
        for (long x = 0; x < width; x++, out += 3) {
            const RGBQUAD& c = colours[indices[(size_t)x]];
            out[0] = c.rgbBlue;
            out[1] = c.rgbGreen;
            out[2] = c.rgbRed;
            if (alpha) alpha[x] = plane ? plane[x] : c.rgbReserved;
        }
    }
    return image.Transfer(rgb);
}

// Composes the picture onto the background, for a type without alpha. An
// indexed picture stays indexed: its palette is composed.
bool Flatten(Vistel& image, RGBQUAD back)
{
    if (image.IsIndexed() && image.AlphaIsValid() && !ToTrueColour(image, true)) return false;
    if (PaletteCarriesAlpha(image)) {
        RGBQUAD colours[256];
        ShownPalette(image, colours);
        for (DWORD i = 0; i < image.GetNumColors(); i++)
            image.SetPaletteColor((BYTE)i, Composed(colours[i], back, colours[i].rgbReserved));
        image.SetTransIndex(-1);
        image.AlphaPaletteEnable(false);
        return true;
    }
    if (image.IsIndexed() || !image.AlphaIsValid()) return true;
    const DWORD width = image.GetWidth();
    for (DWORD y = 0; y < image.GetHeight(); y++) {
        BYTE* px = image.GetBits(y);
        const BYTE* alpha = image.AlphaGetPointer(0, (long)y);
        for (DWORD x = 0; x < width; x++, px += 3) {
            if (alpha[x] == 255) continue;  // most pixels of most pictures
            px[0] = Mix(px[0], back.rgbBlue, alpha[x]);
            px[1] = Mix(px[1], back.rgbGreen, alpha[x]);
            px[2] = Mix(px[2], back.rgbRed, alpha[x]);
        }
    }
    image.AlphaDelete();
    return true;
}

// JPEG holds 24-bit colour and the 8-bit grey ramp, without alpha.
bool PrepareForJpeg(Vistel& image, RGBQUAD background)
{
    if (!Flatten(image, background)) return false;
    const bool greyRamp = image.GetBpp() == 8 && image.IsGrayScale();
    return !image.IsIndexed() || greyRamp || ToTrueColour(image, false);
}

// TGA holds 8-bit indices with an opaque colour map, and 24-bit colour
// with or without alpha.
bool PrepareForTga(Vistel& image)
{
    if (PaletteCarriesAlpha(image) || (image.IsIndexed() && image.AlphaIsValid()))
        return ToTrueColour(image, true);
    if (image.GetBpp() >= 8) return true;
    if (image.IncreaseBpp(8)) return true;
    if (!*image.GetLastError()) image.SetLastError("not enough memory for the 8-bit picture");
    return false;
}

// GIF shows a pixel wholly or not at all, and names one transparent index:
// palette entries less than half opaque all become that index.
void PaletteAlphaToTransparentIndex(Vistel& image)
{
    RGBQUAD colours[256];
    ShownPalette(image, colours);
    image.AlphaPaletteEnable(false);
    BYTE map[256];
    int transparent = -1;
    for (int i = 0; i < 256; i++) {
        const bool hidden = i < (int)image.GetNumColors() && colours[i].rgbReserved < 128;
        if (hidden && transparent < 0) transparent = i;
        map[i] = (BYTE)(hidden ? transparent : i);
    }
    if (transparent < 0) return;
    const unsigned bpp = image.GetBpp();
    for (DWORD y = 0; y < image.GetHeight(); y++) {
        BYTE* row = image.GetBits(y);
        for (long x = 0; x < (long)image.GetWidth(); x++)
            SetPackedIndex(row, bpp, x, map[GetPackedIndex(row, bpp, x)]);
    }
    image.SetTransIndex(transparent);
}

// GIF holds up to 8-bit indices with one transparent index. A palette
// whose entries carry alpha keeps its indices; anything else goes through
// the palette reduction (exact up to 256 colours).
bool PrepareForGif(Vistel& image)
{
    if (PaletteCarriesAlpha(image) && !image.AlphaIsValid() && !image.IsTransparent()) {
        PaletteAlphaToTransparentIndex(image);
        return true;
    }
    const char* error = nullptr;
    if (vsquant::ReduceImage(image, &error)) return true;
    image.SetLastError(error);
    return false;
}

}  // namespace

bool PrepareForType(Vistel& image, DWORD type, RGBQUAD background)
{
    switch (type) {
    case VISTEL_FORMAT_JPG: return PrepareForJpeg(image, background);
    case VISTEL_FORMAT_BMP: return Flatten(image, background);
    case VISTEL_FORMAT_TGA: return PrepareForTga(image);
    case VISTEL_FORMAT_GIF: return PrepareForGif(image);
    default: return true;
    }
}

}  // namespace formats
