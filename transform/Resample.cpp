// Resampling (nearest pixel, or filtered through transform/PixelResize),
// the integer box shrink, borders and thumbnails.
#include <climits>
#include <cstring>
#include <vector>

#include "PixelResize.h"
#include "Vistel.h"

namespace {

// The rows (bottom-up, blue-green-red) and alpha plane of a true-colour
// image as a pixel view.
vsresize::PixelView ViewOf(Vistel& img)
{
    const long height = (long)img.GetHeight();
    vsresize::PixelView view;
    view.pixels = img.GetBits(height - 1);
    view.width = (int)img.GetWidth();
    view.height = (int)height;
    view.pitch = -(ptrdiff_t)img.GetEffWidth();
    view.pixelSize = 3;
    view.offset[0] = 2;
    view.offset[1] = 1;
    view.offset[2] = 0;
    view.offset[3] = -1;
    if (img.AlphaIsValid()) {
        view.alphaPlane = img.AlphaGetPointer(0, height - 1);
        view.alphaPitch = -(ptrdiff_t)img.GetWidth();
    }
    return view;
}

// Sizes past an int ask for more than the memory ceiling allows anyway.
int SideOf(long size)
{
    return size > INT_MAX ? INT_MAX : (int)size;
}

}  // namespace

bool Vistel::Resample(long newx, long newy, int mode, Vistel* iDst)
{
    if (newx == 0 || newy == 0) return false;
    if (!pDib) return false;
    const long width = head.biWidth, height = head.biHeight;

    if (newx == width && newy == height) {
        if (iDst) iDst->Copy(*this, true, true, true);
        return true;
    }
    if (newx < 0 || newy < 0) return false;
    if (mode != 1)
        return ResampleFiltered(newx, newy,
                                mode == 2 ? vsresize::Filter::Bicubic : vsresize::Filter::Bilinear,
                                iDst);

    const float xScale = (float)width / (float)newx;
    const float yScale = (float)height / (float)newy;
    Vistel newImage;
    if (!MakeWorkImage(newImage, (DWORD)newx, (DWORD)newy, pAlpha != nullptr)) return false;
    for (long y = 0; y < newy; y++) {
        info.nProgress = y * 100 / newy;
        if (info.nEscape) break;
        for (long x = 0; x < newx; x++) {
            RGBQUAD c = GetPixelColor((long)(x * xScale), (long)(y * yScale), true);
            newImage.SetPixelColor(x, y, c, false);
        }
    }
    if (pAlpha) {
        for (long y = 0; y < newy; y++)
            for (long x = 0; x < newx; x++)
                newImage.AlphaSet(x, y, AlphaGet((long)(x * xScale), (long)(y * yScale)));
    }
    return TransferResult(newImage, iDst);
}

Vistel* Vistel::TrueColour(Vistel& copy)
{
    if (!IsIndexed()) return this;
    copy.Copy(*this);
    if (copy.IncreaseBpp(24)) return &copy;
    SetLastError(copy.GetLastError());
    return nullptr;
}

bool Vistel::TakePicture(vsresize::Outcome outcome, const vsresize::Rgba& picture, Vistel* iDst)
{
    if (outcome != vsresize::Outcome::Ok) {
        SetLastError(vsresize::Message(outcome));
        return false;
    }
    Vistel work;
    if (!MakeWorkImage(work, (DWORD)picture.width, (DWORD)picture.height, pAlpha != nullptr, 24))
        return false;
    const BYTE* from = picture.pixels.get();
    for (long y = picture.height - 1; y >= 0; y--) {
        BYTE* row = work.GetBits((DWORD)y);
        BYTE* alpha = pAlpha ? work.AlphaGetPointer(0, y) : nullptr;
        for (long x = 0; x < picture.width; x++, from += 4, row += 3) {
            row[0] = from[2];
            row[1] = from[1];
            row[2] = from[0];
            if (alpha) alpha[x] = from[3];
        }
    }
    return TransferResult(work, iDst);
}

bool Vistel::ResampleFiltered(long newx, long newy, vsresize::Filter filter, Vistel* iDst)
{
    Vistel copy;
    Vistel* from = TrueColour(copy);
    if (!from) return false;
    vsresize::Rgba picture;
    return TakePicture(vsresize::Resize(ViewOf(*from), SideOf(newx), SideOf(newy), filter, &picture),
                       picture, iDst);
}

bool Vistel::QIShrink(long newx, long newy, Vistel* iDst)
{
    if (!pDib) return false;
    const long width = head.biWidth, height = head.biHeight;
    if (newx > width || newy > height) {
        SetLastError("QIShrink can't enlarge image");
        return false;
    }
    if (newx == width && newy == height) {
        if (iDst) iDst->Copy(*this, true, true, true);
        return true;
    }
    if (newx <= 0 || newy <= 0) return false;

    Vistel newImage;
    if (!MakeWorkImage(newImage, (DWORD)newx, (DWORD)newy, pAlpha != nullptr)) return false;

    const bool indexed = head.biClrUsed != 0;
    const bool alpha = pAlpha != nullptr;
    // Per cell: blue, green, red, pixel count, alpha.
    std::vector<uint64_t> acc((size_t)newx * 5, 0);
    long ey = 0, dy = 0;
    for (long y = 0; y < height; y++) {
        info.nProgress = y * 100 / height;
        if (info.nEscape) break;
        long ex = 0;
        size_t cell = 0;
        for (long x = 0; x < width; x++) {
            ex += newx;
            RGBQUAD c;
            if (indexed) {
                c = GetPixelColor(x, y, true);
            } else {
                const BYTE* p = BlindGetPixelPointer(x, y);
                c = RGBQUAD{p[0], p[1], p[2], alpha ? BlindAlphaGet(x, y) : (BYTE)0};
            }
            uint64_t* s = &acc[cell * 5];
            s[0] += c.rgbBlue;
            s[1] += c.rgbGreen;
            s[2] += c.rgbRed;
            s[3] += 1;
            s[4] += c.rgbReserved;
            if (ex > width && cell + 1 < (size_t)newx) {
                cell++;
                ex -= width;
            }
        }
        ey += newy;
        if (ey >= height) {
            ey -= height;
            for (long x = 0; x < newx && dy < newy; x++) {
                const uint64_t* s = &acc[(size_t)x * 5];
                if (s[3] == 0) continue;
                RGBQUAD c = {(BYTE)(s[0] / s[3]), (BYTE)(s[1] / s[3]), (BYTE)(s[2] / s[3]),
                             (BYTE)(s[4] / s[3])};
                if (indexed) {
                    newImage.SetPixelColor(x, dy, c, alpha);
                } else {
                    BYTE* q = newImage.BlindGetPixelPointer(x, dy);
                    q[0] = c.rgbBlue;
                    q[1] = c.rgbGreen;
                    q[2] = c.rgbRed;
                }
                if (alpha) newImage.AlphaSet(x, dy, c.rgbReserved);
            }
            std::fill(acc.begin(), acc.end(), 0);
            dy++;
        }
    }
    return TransferResult(newImage, iDst);
}

bool Vistel::Expand(long left, long top, long right, long bottom, RGBQUAD canvascolor,
                    Vistel* iDst)
{
    if (!pDib) return false;
    if (left < 0 || right < 0 || bottom < 0 || top < 0) return false;
    const long width = head.biWidth, height = head.biHeight;
    const long newWidth = width + left + right;
    const long newHeight = height + top + bottom;

    Vistel tmp(newWidth, newHeight, head.biBitCount, GetType());
    if (!tmp.IsValid()) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    tmp.SetPalette(GetPalette(), 256);
    tmp.info.nBkgndIndex = info.nBkgndIndex;
    tmp.info.nBkgndColor = info.nBkgndColor;

    switch (head.biBitCount) {
    case 24:
    case 8: {
        const size_t pixelBytes = head.biBitCount / 8;
        if (head.biBitCount == 24) {
            BYTE* row0 = tmp.GetBits(0);
            for (long x = 0; x < newWidth; x++) {
                row0[x * 3] = canvascolor.rgbBlue;
                row0[x * 3 + 1] = canvascolor.rgbGreen;
                row0[x * 3 + 2] = canvascolor.rgbRed;
            }
            for (long y = 1; y < newHeight; y++)
                memcpy(tmp.GetBits(y), row0, (size_t)newWidth * 3);
        } else {
            memset(tmp.GetBits(0), tmp.GetNearestIndex(canvascolor),
                   (size_t)tmp.GetEffWidth() * newHeight);
        }
        for (long y = 0; y < height; y++)
            memcpy(tmp.GetBits(y + bottom) + left * pixelBytes, GetBits(y),
                   width * pixelBytes);
        break;
    }
    default: {
        const BYTE k = tmp.GetNearestIndex(canvascolor);
        for (long y = 0; y < newHeight; y++) {
            const bool rowInside = y >= bottom && y <= bottom + height - 1;
            for (long x = 0; x < newWidth; x++) {
                const bool inside = rowInside && x >= left && x <= left + width - 1;
                tmp.SetPixelIndex(x, y, inside ? GetPixelIndex(x - left, y - bottom) : k);
            }
        }
        break;
    }
    }
    // An image with an alpha plane keeps it: the margins take the canvas
    // colour's alpha, so a thumbnail's border can be given an opacity.
    if (pAlpha) {
        tmp.AlphaCreate();
        if (!tmp.AlphaIsValid()) {
            SetLastError("not enough memory for the alpha plane");
            return false;
        }
        tmp.AlphaSet(canvascolor.rgbReserved);
        for (long y = 0; y < height; y++)
            memcpy(tmp.AlphaGetPointer(left, y + bottom), pAlpha + (size_t)y * width, width);
    }
    return TransferResult(tmp, iDst);
}

bool Vistel::Expand(long newx, long newy, RGBQUAD canvascolor, Vistel* iDst)
{
    if (!pDib) return false;
    if (newx < (long)head.biWidth || newy < (long)head.biHeight) return false;
    const long d = newx - head.biWidth;
    const long e = newy - head.biHeight;
    return Expand(d / 2, e / 2, d - d / 2, e - e / 2, canvascolor, iDst);
}

bool Vistel::Thumbnail(long newx, long newy, RGBQUAD canvascolor, Vistel* iDst)
{
    if (!pDib || newx <= 0 || newy <= 0) return false;
    Vistel copy;
    Vistel* from = TrueColour(copy);
    if (!from) return false;
    // Without an alpha plane the canvas is opaque, as the picture is.
    const uint8_t border[4] = {canvascolor.rgbRed, canvascolor.rgbGreen, canvascolor.rgbBlue,
                               pAlpha ? canvascolor.rgbReserved : (BYTE)255};
    vsresize::Rgba picture;
    return TakePicture(vsresize::Thumbnail(ViewOf(*from), SideOf(newx), SideOf(newy), border, &picture),
                       picture, iDst);
}
