// Quarter and half turns, turns by any angle (nearest pixel and
// interpolated), cropping a rotated rectangle, skewing and radial
// distortions.
#include <algorithm>
#include <cmath>

#include "Vistel.h"
#include "VsRect2.h"

namespace {

const long kTile = 64;

// Far-away source points convert to an integer without overflow; no image
// is this large, so they stay outside it.
long TruncToLong(double v)
{
    if (v > 1.0e9) return 1000000000L;
    if (v < -1.0e9) return -1000000000L;
    return (long)v;
}

// Maps destination pixels of a quarter turn to source pixels.
struct QuarterMap {
    bool clockwise;
    long srcW, srcH;
    long SrcX(long /*X*/, long Y) const { return clockwise ? srcW - 1 - Y : Y; }
    long SrcY(long X, long /*Y*/) const { return clockwise ? X : srcH - 1 - X; }
};

// The region an in-place operation works on: the selection box when there
// is a selection, else the whole image (half-open, clipped to the image).
struct Region {
    long xmin, ymin, xmax, ymax;
};

}  // namespace

// ------------------------------------------------------------ quarter turns

namespace {

// Fills dst, the source's size turned, with the source's pixels and alpha
// under the map. The walk goes over 64 x 64 destination tiles so that the
// column-wise reads of the source stay in cache.
void CopyQuarterTurn(Vistel& src, Vistel& dst, const QuarterMap& map)
{
    const long dstW = (long)dst.GetWidth(), dstH = (long)dst.GetHeight();
    const WORD bpp = src.GetBpp();
    // Along a destination row the source walks up a column (clockwise) or
    // down one.
    const long srcStep = map.clockwise ? (long)src.GetEffWidth() : -(long)src.GetEffWidth();

    if (bpp == 1) {
        for (long Y = 0; Y < dstH; Y++) {
            src.SetProgress(100 * Y / dstH);
            for (long X = 0; X < dstW; X++)
                if (src.BlindGetPixelIndex(map.SrcX(X, Y), map.SrcY(X, Y)))
                    dst.SetPixelIndex(X, Y, 1);
        }
    } else {
        for (long y0 = 0; y0 < dstH; y0 += kTile) {
            src.SetProgress(100 * y0 / dstH);
            for (long x0 = 0; x0 < dstW; x0 += kTile) {
                const long x1 = std::min(x0 + kTile, dstW), y1 = std::min(y0 + kTile, dstH);
                for (long Y = y0; Y < y1; Y++) {
                    if (bpp == 24) {
                        BYTE* d = dst.BlindGetPixelPointer(x0, Y);
                        const BYTE* s =
                            src.BlindGetPixelPointer(map.SrcX(x0, Y), map.SrcY(x0, Y));
                        for (long X = x0; X < x1; X++, d += 3, s += srcStep) {
                            d[0] = s[0];
                            d[1] = s[1];
                            d[2] = s[2];
                        }
                    } else {
                        for (long X = x0; X < x1; X++) {
                            const BYTE i = src.BlindGetPixelIndex(map.SrcX(X, Y), map.SrcY(X, Y));
                            dst.SetPixelIndex(X, Y, i);
                        }
                    }
                }
            }
        }
    }
    if (src.AlphaIsValid()) {
        for (long Y = 0; Y < dstH; Y++) {
            BYTE* d = dst.AlphaGetPointer(0, Y);
            for (long X = 0; X < dstW; X++)
                d[X] = src.BlindAlphaGet(map.SrcX(X, Y), map.SrcY(X, Y));
        }
    }
}

}  // namespace

bool Vistel::QuarterTurn(bool clockwise, Vistel* iDst)
{
    if (!pDib) return false;
    Vistel work;
    if (!MakeWorkImage(work, (DWORD)head.biHeight, (DWORD)head.biWidth, pAlpha != nullptr))
        return false;
    CopyQuarterTurn(*this, work, QuarterMap{clockwise, head.biWidth, head.biHeight});
    return TransferResult(work, iDst);
}

bool Vistel::RotateLeft(Vistel* iDst)
{
    return QuarterTurn(false, iDst);
}

bool Vistel::RotateRight(Vistel* iDst)
{
    return QuarterTurn(true, iDst);
}

bool Vistel::Rotate180(Vistel* iDst)
{
    if (!pDib) return false;
    Vistel work;
    if (!MakeWorkImage(work, (DWORD)head.biWidth, (DWORD)head.biHeight, pAlpha != nullptr))
        return false;
    const long w = head.biWidth, h = head.biHeight;
    for (long y = 0; y < h; y++) {
        info.nProgress = 100 * y / h;
        if (head.biClrUsed) {
            for (long x = 0; x < w; x++)
                work.SetPixelIndex(w - 1 - x, h - 1 - y, BlindGetPixelIndex(x, y));
        } else {
            const BYTE* s = BlindGetPixelPointer(0, y);
            BYTE* d = work.BlindGetPixelPointer(w - 1, h - 1 - y);
            for (long x = 0; x < w; x++, s += 3, d -= 3) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        }
        if (pAlpha) {
            const BYTE* s = AlphaGetPointer(0, y);
            BYTE* d = work.AlphaGetPointer(0, h - 1 - y);
            for (long x = 0; x < w; x++) d[w - 1 - x] = s[x];
        }
    }
    return TransferResult(work, iDst);
}

// --------------------------------------------------------------- any angle

bool Vistel::Rotate(float angle, Vistel* iDst)
{
    if (!pDib) return false;
    if (!std::isfinite(angle)) {
        SetLastError("Rotate: the angle is not a number");
        return false;
    }
    const double pi = 2.0 * acos(0.0);
    const double ang = -(double)angle * pi / 180.0;
    const double c = cos(ang), s = sin(ang);
    const long w = head.biWidth, h = head.biHeight;

    const double cornerX[4] = {0.0, (double)w, 0.0, (double)(w - 1)};
    const double cornerY[4] = {0.0, 0.0, (double)h, (double)h};
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (int i = 0; i < 4; i++) {
        const double tx = floor(c * cornerX[i] - s * cornerY[i]);
        const double ty = floor(s * cornerX[i] + c * cornerY[i]);
        if (i == 0 || tx < minX) minX = tx;
        if (i == 0 || ty < minY) minY = ty;
        if (i == 0 || tx > maxX) maxX = tx;
        if (i == 0 || ty > maxY) maxY = ty;
    }
    const long left = (long)minX, top = (long)minY;
    const long newW = (long)maxX + 2 - left, newH = (long)maxY + 2 - top;

    Vistel work;
    if (!MakeWorkImage(work, (DWORD)newW, (DWORD)newH, pAlpha != nullptr)) return false;
    work.AlphaClear();

    const bool indexed = head.biClrUsed != 0;
    for (long newY = 0; newY < newH && !info.nEscape; newY++) {
        info.nProgress = 100 * newY / newH;
        const long y = top + newY;
        for (long newX = 0; newX < newW; newX++) {
            const long x = left + newX;
            const long oldX = TruncToLong((double)x * c + (double)y * s - 0.5);
            const long oldY = TruncToLong((double)y * c - (double)x * s - 0.5);
            if (indexed) work.SetPixelIndex(newX, newY, GetPixelIndex(oldX, oldY));
            else work.SetPixelColor(newX, newY, GetPixelColor(oldX, oldY, true), false);
            if (pAlpha) work.AlphaSet(newX, newY, AlphaGet(oldX, oldY));
        }
    }
    return TransferResult(work, iDst);
}

bool Vistel::Rotate2(float angle, Vistel* iDst, InterpolationMethod inMethod,
                     OverflowMethod ofMethod, RGBQUAD* replColor, bool optimizeRightAngles,
                     bool bKeepOriginalSize)
{
    if (!pDib) return false;
    if (!std::isfinite(angle)) {
        SetLastError("Rotate2: the angle is not a number");
        return false;
    }
    const double ang = -(double)angle * 3.1415926535897932 / 180.0;
    const float c = (float)cos(ang), s = (float)sin(ang);
    const long w = head.biWidth, h = head.biHeight;

    VsPoint2 p[4] = {VsPoint2(-0.5f, -0.5f), VsPoint2((float)w - 0.5f, -0.5f),
                     VsPoint2(-0.5f, (float)h - 0.5f), VsPoint2((float)w - 0.5f, (float)h - 0.5f)};
    VsPoint2 turned[4];
    for (int i = 0; i < 4; i++)
        turned[i] = bKeepOriginalSize
                        ? p[i]
                        : VsPoint2(c * p[i].x - s * p[i].y, s * p[i].x + c * p[i].y);

    if (!bKeepOriginalSize && optimizeRightAngles) {
        const VsPoint2& q = turned[3];
        if (q.Distance((float)h - 0.5f, 0.5f - (float)w) < 0.25f) return RotateRight(iDst);
        if (q.Distance(0.5f - (float)h, (float)w - 0.5f) < 0.25f) return RotateLeft(iDst);
        if (q.Distance(0.5f - (float)w, 0.5f - (float)h) < 0.25f) return Rotate180(iDst);
        if (q.Distance(p[3]) < 0.25f) {
            if (iDst) iDst->Copy(*this, true, true, true);
            return true;
        }
    }

    float minx = turned[0].x, maxx = minx, miny = turned[0].y, maxy = miny;
    for (int i = 1; i < 4; i++) {
        minx = std::min(minx, turned[i].x);
        maxx = std::max(maxx, turned[i].x);
        miny = std::min(miny, turned[i].y);
        maxy = std::max(maxy, turned[i].y);
    }
    const long newW = (long)floor(maxx - minx + 0.5f), newH = (long)floor(maxy - miny + 0.5f);
    float ssx = ((minx + maxx) - (float)(newW - 1)) / 2.0f;
    float ssy = ((miny + maxy) - (float)(newH - 1)) / 2.0f;
    float addX = 0.0f, addY = 0.0f;
    if (bKeepOriginalSize) {
        ssx -= (float)(w / 2);
        ssy -= (float)(h / 2);
        addX = (float)(newW / 2);
        addY = (float)(newH / 2);
    }

    Vistel work;
    if (newW <= 0 || newH <= 0) return false;
    if (!MakeWorkImage(work, (DWORD)newW, (DWORD)newH, pAlpha != nullptr)) return false;
    RGBQUAD rc = replColor ? *replColor : RGBQUAD{255, 255, 255, 0};

    const bool indexed = work.IsIndexed();
    for (long y = 0; y < newH; y++) {
        info.nProgress = 100 * y / newH;
        if (info.nEscape) break;
        const float v = (float)y + ssy;
        BYTE* row = indexed ? nullptr : work.BlindGetPixelPointer(0, y);
        BYTE* alphaRow = work.AlphaGetPointer(0, y);
        for (long x = 0; x < newW; x++) {
            const float u = (float)x + ssx;
            const RGBQUAD col = GetPixelColorInterpolated(c * u + s * v + addX,
                                                          c * v - s * u + addY, inMethod,
                                                          ofMethod, &rc);
            if (indexed) {
                work.SetPixelColor(x, y, col, pAlpha != nullptr);
            } else {
                row[0] = col.rgbBlue;
                row[1] = col.rgbGreen;
                row[2] = col.rgbRed;
                row += 3;
            }
            if (alphaRow) alphaRow[x] = col.rgbReserved;
        }
    }
    return TransferResult(work, iDst);
}

bool Vistel::CropRotatedRectangle(long topx, long topy, long width, long height, float angle,
                                  Vistel* iDst)
{
    if (!pDib) return false;
    if (!std::isfinite(angle)) {
        SetLastError("CropRotatedRectangle: the angle is not a number");
        return false;
    }
    if (fabsf(angle) < 0.0002f) return Crop(topx, topy, topx + width, topy + height, iDst);
    const double c = cos((double)angle), s = sin((double)angle);
    const long startx = std::min(topx, topx - TruncToLong(s * (double)height));
    const long endx = topx + TruncToLong(c * (double)width);
    const long endy = topy + TruncToLong(c * (double)height + s * (double)width);
    if (!IsInside(startx, topy) || !IsInside(endx, endy)) return false;

    Vistel tmp(*this, false, true, true);
    tmp.Copy(*this, true, false, true);
    if (!tmp.IsValid()) return false;
    if (!tmp.Crop(startx, topy, endx, endy)) return false;
    if (!tmp.Rotate(-angle * 57.29577951308232f)) return false;
    const long tw = (long)tmp.GetWidth(), th = (long)tmp.GetHeight();
    if (!tmp.Crop((tw - width) / 2, (th + height) / 2, (tw + width) / 2, (th - height) / 2))
        return false;
    return TransferResult(tmp, iDst);
}

// ---------------------------------------------------------- in-place warps

namespace {

Region RegionOf(const Vistel& img, const RECT& box, bool hasSelection)
{
    const long w = (long)img.GetWidth(), h = (long)img.GetHeight();
    if (!hasSelection) return Region{0, 0, w, h};
    Region r{std::max(0L, (long)box.left), std::max(0L, (long)box.bottom),
             std::min(w, (long)box.right), std::min(h, (long)box.top)};
    return r;
}

}  // namespace

bool Vistel::Skew(float xgain, float ygain, long xpivot, long ypivot, bool bEnableInterpolation)
{
    if (!pDib) return false;
    if (!std::isfinite(xgain) || !std::isfinite(ygain)) {
        SetLastError("Skew: the gain is not a number");
        return false;
    }
    Vistel tmp(*this, pSelection != nullptr, true, true);
    if (!tmp.IsValid()) return false;
    if (!pSelection) tmp.Clear(0);
    const Region r = RegionOf(*this, info.rSelectionBox, pSelection != nullptr);
    const bool indexed = head.biClrUsed != 0;
    const long h = head.biHeight;

    for (long y = r.ymin; y < r.ymax; y++) {
        info.nProgress = 100 * y / h;
        if (info.nEscape) break;
        for (long x = r.xmin; x < r.xmax; x++) {
            const float nx = (float)x + xgain * (float)(y - ypivot);
            const float ny = (float)y + ygain * (float)(x - xpivot);
            if (bEnableInterpolation) {
                const RGBQUAD c = GetPixelColorInterpolated(nx, ny, IM_BILINEAR, OM_BACKGROUND);
                tmp.SetPixelColor(x, y, c, true);
                if (indexed) tmp.AlphaSet(x, y, c.rgbReserved);
            } else {
                const long sx = TruncToLong(nx), sy = TruncToLong(ny);
                if (indexed) tmp.SetPixelIndex(x, y, GetPixelIndex(sx, sy));
                else tmp.SetPixelColor(x, y, GetPixelColor(sx, sy, true), false);
                tmp.AlphaSet(x, y, AlphaGet(sx, sy));
            }
        }
    }
    return TransferResult(tmp, nullptr);
}

bool Vistel::CircleTransform(int type, long rmax, float Koeff)
{
    if (!pDib) return false;
    if (type < 0) {
        SetLastError("CircleTransform: unknown transform type");
        return false;
    }
    if (!std::isfinite(Koeff)) {
        SetLastError("CircleTransform: the coefficient is not a number");
        return false;
    }
    Vistel tmp(*this, pSelection != nullptr, true, true);
    if (!tmp.IsValid()) return false;
    if (!pSelection) tmp.Clear(0);
    const Region r = RegionOf(*this, info.rSelectionBox, pSelection != nullptr);
    const long xmid = (long)tmp.GetWidth() / 2, ymid = (long)tmp.GetHeight() / 2;
    if (rmax == 0)
        rmax = (long)sqrt((double)((xmid - r.xmin) * (xmid - r.xmin) +
                                   (ymid - r.ymin) * (ymid - r.ymin)));
    if (Koeff == 0.0f) Koeff = 1.0f;
    const bool indexed = head.biClrUsed != 0;
    const long h = head.biHeight;

    for (long y = r.ymin; y < r.ymax; y++) {
        info.nProgress = 100 * y / h;
        if (info.nEscape) break;
        for (long x = r.xmin; x < r.xmax; x++) {
            const double dx = (double)(xmid - x), dy = (double)(ymid - y);
            const double radius = sqrt(dx * dx + dy * dy);
            long sx = -1, sy = -1;
            if (radius < (double)rmax) {
                double angle = atan2(dy, dx), rnew = radius;
                switch (type) {
                case 0: rnew = radius * radius / (double)rmax; break;
                case 1: rnew = sqrt((double)rmax * radius); break;
                case 2: angle += radius / (double)Koeff; break;
                default: break;
                }
                if (type <= 2) {
                    sx = xmid + TruncToLong(cos(angle) * rnew);
                    sy = ymid - TruncToLong(sin(angle) * rnew);
                } else if (type == 3) {
                    sx = TruncToLong(fabs(angle * (double)r.xmax / 6.2831852));
                    sy = TruncToLong(fabs(radius * (double)r.ymax / (double)rmax));
                } else {
                    sx = x + (x % 32) - 16;
                    sy = y;
                }
            }
            if (indexed) tmp.SetPixelIndex(x, y, GetPixelIndex(sx, sy));
            else tmp.SetPixelColor(x, y, GetPixelColor(sx, sy, true), false);
            tmp.AlphaSet(x, y, AlphaGet(sx, sy));
        }
    }
    return TransferResult(tmp, nullptr);
}
