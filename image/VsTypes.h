// Basic types shared by the image library: fixed-width integers, the DIB
// header and palette entry, colours and rectangles, and the format numbers.
#ifndef VISTEL_VSTYPES_H
#define VISTEL_VSTYPES_H

#include <cstddef>
#include <cstdint>

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t COLORREF;

#pragma pack(push, 1)
// Palette entry and pixel colour: blue, green, red, reserved (alpha).
struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

// The 40-byte header of a device-independent bitmap, in host byte order.
struct BITMAPINFOHEADER {
    DWORD biSize;
    int32_t biWidth;
    int32_t biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
#pragma pack(pop)

static_assert(sizeof(RGBQUAD) == 4, "RGBQUAD is 4 bytes");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");

struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// File types, used as format numbers by the library and the Tk binding.
enum ENUM_VISTEL_FORMATS : DWORD {
    VISTEL_FORMAT_UNKNOWN = 0,
    VISTEL_FORMAT_BMP = 1,
    VISTEL_FORMAT_GIF = 2,
    VISTEL_FORMAT_JPG = 3,
    VISTEL_FORMAT_PNG = 4,
    VISTEL_FORMAT_TGA = 5,
    CMAX_IMAGE_FORMATS = 6
};

// What a header check learns without decoding.
struct basic_image_information {
    DWORD format;
    int32_t width;
    int32_t height;
    // The fewest bytes any data with this header has when it holds the
    // picture the header claims; 0 when the format sets no such bound. A
    // check may see only the first bytes of a file: whoever knows the
    // whole length compares it with this.
    uint64_t leastBytes;
};

inline RGBQUAD RGBtoRGBQUAD(COLORREF cr)
{
    RGBQUAD c;
    c.rgbRed = (BYTE)(cr & 0xFF);
    c.rgbGreen = (BYTE)((cr >> 8) & 0xFF);
    c.rgbBlue = (BYTE)((cr >> 16) & 0xFF);
    c.rgbReserved = 0;
    return c;
}

inline COLORREF RGBQUADtoRGB(RGBQUAD c)
{
    return (COLORREF)c.rgbRed | ((COLORREF)c.rgbGreen << 8) | ((COLORREF)c.rgbBlue << 16);
}

inline COLORREF RGB(BYTE r, BYTE g, BYTE b)
{
    return (COLORREF)r | ((COLORREF)g << 8) | ((COLORREF)b << 16);
}

#endif
