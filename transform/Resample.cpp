// Resampling (nearest, bilinear with an area-averaging shrink, cubic
// B-spline), the integer box shrink, borders and thumbnails.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "Vistel.h"

namespace {

long Clamp(long v, long lo, long hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// Destination bytes of the area shrink: rounding of the weights can push a
// quotient past 255, which must saturate rather than wrap.
BYTE ClampByte(int64_t v)
{
    return (BYTE)(v < 0 ? 0 : (v > 255 ? 255 : v));
}

struct Sum3 {
    int64_t b, g, r;
};

}  // namespace

float Vistel::KernelBSpline(float x)
{
    if (x > 2.0f) return 0.0f;
    auto p = [](float t) { return t > 0.0f ? t * t * t : 0.0f; };
    return (p(x + 2.0f) - 4.0f * p(x + 1.0f) + 6.0f * p(x) - 4.0f * p(x - 1.0f)) * 0.16666667f;
}

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

    const float xScale = (float)width / (float)newx;
    const float yScale = (float)height / (float)newy;

    Vistel newImage;
    if (!MakeWorkImage(newImage, (DWORD)newx, (DWORD)newy, pAlpha != nullptr)) return false;

    const bool indexed = head.biClrUsed != 0;
    switch (mode) {
    case 1:
        for (long y = 0; y < newy; y++) {
            info.nProgress = y * 100 / newy;
            if (info.nEscape) break;
            for (long x = 0; x < newx; x++) {
                RGBQUAD c = GetPixelColor((long)(x * xScale), (long)(y * yScale), true);
                newImage.SetPixelColor(x, y, c, false);
            }
        }
        break;
    case 2: {
        for (long y = 0; y < newy; y++) {
            info.nProgress = y * 100 / newy;
            if (info.nEscape) break;
            const float f_y = (float)y * yScale - 0.5f;
            const long i_y = (long)floorf(f_y);
            const float b = f_y - (float)i_y;
            for (long x = 0; x < newx; x++) {
                const float f_x = (float)x * xScale - 0.5f;
                const long i_x = (long)floorf(f_x);
                const float a = f_x - (float)i_x;
                float rr = 0.0f, gg = 0.0f, bb = 0.0f;
                for (int m = -1; m < 3; m++) {
                    const float r1 = KernelBSpline((float)m - b);
                    const long yy = Clamp(i_y + m, 0, height - 1);
                    for (int n = -1; n < 3; n++) {
                        const float r2 = r1 * KernelBSpline(a - (float)n);
                        const long xx = Clamp(i_x + n, 0, width - 1);
                        RGBQUAD c;
                        if (indexed) {
                            c = GetPixelColor(xx, yy, true);
                        } else {
                            const BYTE* p = BlindGetPixelPointer(xx, yy);
                            c.rgbBlue = p[0];
                            c.rgbGreen = p[1];
                            c.rgbRed = p[2];
                        }
                        rr += c.rgbRed * r2;
                        gg += c.rgbGreen * r2;
                        bb += c.rgbBlue * r2;
                    }
                }
                if (indexed) {
                    newImage.SetPixelColor(x, y, RGB((BYTE)(int)rr, (BYTE)(int)gg, (BYTE)(int)bb));
                } else {
                    BYTE* q = newImage.BlindGetPixelPointer(x, y);
                    q[0] = (BYTE)(int)bb;
                    q[1] = (BYTE)(int)gg;
                    q[2] = (BYTE)(int)rr;
                }
            }
        }
        break;
    }
    default:
        if (head.biBitCount == 24 && newx < width && newy < height) {
            ShrinkByAreaAveraging(newImage, xScale, yScale);
        } else {
            ResampleBilinear(newImage, xScale, yScale);
        }
        break;
    }

    if (pAlpha) {
        for (long y = 0; y < newy; y++)
            for (long x = 0; x < newx; x++)
                newImage.AlphaSet(x, y, AlphaGet((long)(x * xScale), (long)(y * yScale)));
    }

    return TransferResult(newImage, iDst);
}

void Vistel::ResampleBilinear(Vistel& newImage, float xScale, float yScale)
{
    const long width = head.biWidth, height = head.biHeight;
    const long newx = newImage.head.biWidth, newy = newImage.head.biHeight;
    const bool indexed = head.biClrUsed != 0;
    auto colorAt = [&](long x, long y) {
        if (indexed) return GetPaletteColor(GetPixelIndex(x, y));
        const BYTE* p = BlindGetPixelPointer(x, y);
        return RGBQUAD{p[0], p[1], p[2], 0};
    };
    for (long y = 0; y < newy; y++) {
        info.nProgress = y * 100 / newy;
        if (info.nEscape) break;
        const float fY = (float)y * yScale;
        const long ifY = (long)fY;
        const long ifY1 = ifY + 1 < height - 1 ? ifY + 1 : height - 1;
        const float b = fY - (float)ifY;
        for (long x = 0; x < newx; x++) {
            const float fX = (float)x * xScale;
            const long ifX = (long)fX;
            const long ifX1 = ifX + 1 < width - 1 ? ifX + 1 : width - 1;
            const float a = fX - (float)ifX;
            const RGBQUAD c00 = colorAt(ifX, ifY), c10 = colorAt(ifX1, ifY);
            const RGBQUAD c01 = colorAt(ifX, ifY1), c11 = colorAt(ifX1, ifY1);
            auto mix = [&](BYTE v00, BYTE v10, BYTE v01, BYTE v11) {
                return (BYTE)(int)((1 - a) * ((1 - b) * v00 + b * v01) +
                                   a * ((1 - b) * v10 + b * v11));
            };
            BYTE r = mix(c00.rgbRed, c10.rgbRed, c01.rgbRed, c11.rgbRed);
            BYTE g = mix(c00.rgbGreen, c10.rgbGreen, c01.rgbGreen, c11.rgbGreen);
            BYTE bl = mix(c00.rgbBlue, c10.rgbBlue, c01.rgbBlue, c11.rgbBlue);
            newImage.SetPixelColor(x, y, RGB(r, g, bl));
        }
    }
}

void Vistel::ShrinkByAreaAveraging(Vistel& newImage, float xScale, float yScale)
{
    const long width = head.biWidth, height = head.biHeight;
    const long newx = newImage.head.biWidth, newy = newImage.head.biHeight;
    const int64_t area = (int64_t)(1000 * xScale * yScale);
    // newx + 1 cells as the arithmetic needs, plus slack: float rounding of
    // the column thresholds can add one crossing at the end of a row.
    std::vector<Sum3> rowA(newx + 3, Sum3{0, 0, 0}), rowB(newx + 3, Sum3{0, 0, 0});
    const long lastCell = newx + 1;
    Sum3* A = rowA.data();
    Sum3* B = rowB.data();
    long dy = 0;
    float ey = yScale - 1;

    auto store = [&](BYTE* dst, const Sum3& s) {
        dst[0] = ClampByte(s.b / area);
        dst[1] = ClampByte(s.g / area);
        dst[2] = ClampByte(s.r / area);
    };

    for (long sy = 0; sy < height; sy++) {
        info.nProgress = sy * 100 / height;
        if (info.nEscape) break;
        const BYTE* src = GetBits(sy);
        float t = xScale - 1;
        long k = 0;
        if (ey > sy) {
            for (long sx = 0; sx < width; sx++, src += 3) {
                if (t > sx) {
                    A[k].b += 1000 * src[0];
                    A[k].g += 1000 * src[1];
                    A[k].r += 1000 * src[2];
                } else {
                    const int64_t f = (int64_t)((sx - t) * 1000);
                    const int64_t w = 1000 - f;
                    A[k].b += w * src[0];
                    A[k].g += w * src[1];
                    A[k].r += w * src[2];
                    A[k + 1].b += f * src[0];
                    A[k + 1].g += f * src[1];
                    A[k + 1].r += f * src[2];
                    t += xScale;
                    if (k < lastCell) k++;
                }
            }
            continue;
        }

        // The source row straddles two destination rows.
        BYTE* dst = newImage.GetBits(dy);
        const int64_t g = (int64_t)((sy - ey) * 1000);
        const int64_t h = 1000 - g;
        for (long sx = 0; sx < width; sx++, src += 3) {
            if (t > sx) {
                A[k].b += h * src[0];
                A[k].g += h * src[1];
                A[k].r += h * src[2];
                B[k].b += g * src[0];
                B[k].g += g * src[1];
                B[k].r += g * src[2];
            } else {
                const int64_t f = (int64_t)((sx - t) * 1000);
                const int64_t w = 1000 - f;
                const int64_t wh = w * h, wg = w * g, fh = f * h, fg = f * g;
                A[k].b += src[0] * wh / 1000;
                A[k].g += src[1] * wh / 1000;
                A[k].r += src[2] * wh / 1000;
                if (k < newx) store(dst + k * 3, A[k]);
                B[k].b += src[0] * wg / 1000;
                B[k].g += src[1] * wg / 1000;
                B[k].r += src[2] * wg / 1000;
                A[k + 1].b += src[0] * fh / 1000;
                A[k + 1].g += src[1] * fh / 1000;
                A[k + 1].r += src[2] * fh / 1000;
                B[k + 1].b = src[0] * fg / 1000;
                B[k + 1].g = src[1] * fg / 1000;
                B[k + 1].r = src[2] * fg / 1000;
                t += xScale;
                if (k < lastCell) k++;
            }
        }
        if (k < newx) store(dst + k * 3, A[k]);
        dy++;
        A[0] = Sum3{0, 0, 0};
        ey += yScale;
        Sum3* swap = A;
        A = B;
        B = swap;
        if (dy >= newy) break;
    }

    if (dy < newy) {
        BYTE* dst = newImage.GetBits(dy);
        for (long k = 0; k < newx; k++) store(dst + k * 3, A[k]);
    }
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
    Vistel tmp(*this, true, true, true);
    if (!tmp.IsValid()) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    const long width = head.biWidth, height = head.biHeight;
    if (newx < width || newy < height) {
        float fScale;
        float aspect = (float)newx / (float)newy;
        if (aspect * height > width) fScale = (float)newy / height;
        else fScale = (float)newx / width;
        // A side never shrinks to nothing.
        const long w = std::max(1L, (long)(fScale * width));
        const long h = std::max(1L, (long)(fScale * height));
        if (!tmp.Resample(w, h, 0, nullptr)) {
            SetLastError(tmp.GetLastError());
            return false;
        }
    }
    if (!tmp.Expand(newx, newy, canvascolor, nullptr)) {
        SetLastError(tmp.GetLastError());
        return false;
    }
    return TransferResult(tmp, iDst);
}
