// Reconstruction kernels, rules for samples outside the image, the point
// and area samplers, and resizing built on them (Resample2).
#include <cmath>
#include <vector>

#include "Vistel.h"
#include "VsRect2.h"

namespace {

const float kPi = 3.1415927f;

// Samples far outside the image lose nothing by being pulled in to this
// distance, and the conversion to an integer stays defined.
const float kCoordLimit = 1.0e9f;

long TruncToLong(float v)
{
    if (v > kCoordLimit) return (long)kCoordLimit;
    if (v < -kCoordLimit) return -(long)kCoordLimit;
    return (long)v;
}

BYTE ClampToByte(float v)
{
    if (v <= 0.0f) return 0;
    if (v >= 255.0f) return 255;
    return (BYTE)(int)v;
}

RGBQUAD DefaultReplacement(const RGBQUAD* rplColor)
{
    return rplColor ? *rplColor : RGBQUAD{255, 255, 255, 0};
}

// Rational approximation P(z)/Q(z) by Horner's rule in double precision.
template <size_t N>
float RationalHorner(const double (&p)[N], const double (&q)[N], double z)
{
    double num = p[N - 1], den = q[N - 1];
    for (size_t i = N - 1; i-- > 0;) {
        num = num * z + p[i];
        den = den * z + q[i];
    }
    return (float)(num / den);
}

float KernelLanczos6(float t)
{
    return Vistel::KernelLanczosSinc(t, 6.0f);
}

using Kernel = float (*)(float);

// The separable kernel of a 4 x 4 (or, for Lanczos, 12 x 12) method; null
// for the nearest and bilinear samplers and for unknown values.
Kernel KernelOf(Vistel::InterpolationMethod m)
{
    switch (m) {
    case Vistel::IM_BSPLINE: return Vistel::KernelBSpline;
    case Vistel::IM_BICUBIC: return Vistel::KernelCubic;
    case Vistel::IM_BICUBIC2:
        return [](float t) { return Vistel::KernelGeneralizedCubic(t, -0.5f); };
    case Vistel::IM_LANCZOS: return KernelLanczos6;
    case Vistel::IM_BOX: return Vistel::KernelBox;
    case Vistel::IM_HERMITE: return Vistel::KernelHermite;
    case Vistel::IM_HAMMING: return Vistel::KernelHamming;
    case Vistel::IM_SINC: return Vistel::KernelSinc;
    case Vistel::IM_BLACKMAN: return Vistel::KernelBlackman;
    case Vistel::IM_BESSEL: return Vistel::KernelBessel;
    case Vistel::IM_GAUSSIAN: return Vistel::KernelGaussian;
    case Vistel::IM_QUADRATIC: return Vistel::KernelQuadratic;
    case Vistel::IM_MITCHELL: return Vistel::KernelMitchell;
    case Vistel::IM_CATROM: return Vistel::KernelCatrom;
    default: return nullptr;
    }
}

// One axis of a sampling neighbourhood: the integer cell i and fraction f
// of the coordinate, and the kernel weights of the taps from i - (taps/2 - 1).
// Weights depend only on the coordinate, so a resize computes them once per
// column and once per row and still matches the per-point sampler exactly.
struct Axis {
    long i = 0;
    float f = 0.0f;
    int taps = 0;
    float k[12] = {};
};

long CellOf(float v)
{
    long i = TruncToLong(v);
    return v < 0.0f ? i - 1 : i;
}

Axis MakeAxis(float v, Kernel kernel, int taps)
{
    Axis a;
    a.i = CellOf(v);
    a.f = v - (float)a.i;
    a.taps = kernel ? taps : 0;
    const long first = a.i - (taps / 2 - 1);
    for (int n = 0; n < a.taps; n++) a.k[n] = kernel((float)(first + n) - v);
    return a;
}

int TapsOf(Vistel::InterpolationMethod m)
{
    if (m == Vistel::IM_LANCZOS) return 12;
    return KernelOf(m) ? 4 : 2;
}

// The overflow rules that keep a sample outside the image at a fixed colour.
bool OverflowIsConstant(Vistel::OverflowMethod of)
{
    return of == Vistel::OM_COLOR || of == Vistel::OM_BACKGROUND ||
           of == Vistel::OM_TRANSPARENT;
}

struct Sums {
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
};

RGBQUAD SumsToColor(const Sums& s, bool hasAlpha)
{
    return RGBQUAD{ClampToByte(s.b), ClampToByte(s.g), ClampToByte(s.r),
                   hasAlpha ? ClampToByte(s.a) : (BYTE)0};
}

RGBQUAD SampleBilinear(Vistel& img, const Axis& ax, const Axis& ay,
                       Vistel::OverflowMethod of, RGBQUAD* rplColor)
{
    const long w = (long)img.GetWidth(), h = (long)img.GetHeight();
    const long xi = ax.i, yi = ay.i;
    const bool hasAlpha = img.AlphaIsValid();
    if (xi >= 0 && xi + 1 < w && yi >= 0 && yi + 1 < h && !img.IsIndexed()) {
        const int wx = (int)(ax.f * 256.0f), wy = (int)(ay.f * 256.0f);
        const int wxy = (wx * wy) >> 8;
        const int w00 = 256 - wx - wy + wxy, w10 = wx - wxy, w01 = wy - wxy, w11 = wxy;
        const BYTE* p00 = img.BlindGetPixelPointer(xi, yi);
        const BYTE* p01 = p00 + img.GetEffWidth();
        auto mix = [&](const BYTE* q0, const BYTE* q1, int step, int c) {
            return (BYTE)((w00 * q0[c] + w10 * q0[c + step] + w01 * q1[c] + w11 * q1[c + step]) >>
                          8);
        };
        RGBQUAD c{mix(p00, p01, 3, 0), mix(p00, p01, 3, 1), mix(p00, p01, 3, 2), 0};
        if (hasAlpha) {
            const BYTE* a0 = img.AlphaGetPointer(xi, yi);
            const BYTE* a1 = img.AlphaGetPointer(xi, yi + 1);
            c.rgbReserved = (BYTE)((w00 * a0[0] + w10 * a0[1] + w01 * a1[0] + w11 * a1[1]) >> 8);
        }
        return c;
    }
    const RGBQUAD c00 = img.GetPixelColorWithOverflow(xi, yi, of, rplColor);
    const RGBQUAD c10 = img.GetPixelColorWithOverflow(xi + 1, yi, of, rplColor);
    const RGBQUAD c01 = img.GetPixelColorWithOverflow(xi, yi + 1, of, rplColor);
    const RGBQUAD c11 = img.GetPixelColorWithOverflow(xi + 1, yi + 1, of, rplColor);
    const float d = ax.f * ay.f;
    const float w00 = 1.0f - ax.f - (ay.f - d), w10 = ax.f - d, w01 = ay.f - d, w11 = d;
    auto mix = [&](BYTE v00, BYTE v10, BYTE v01, BYTE v11) {
        return ClampToByte(w00 * v00 + w10 * v10 + w01 * v01 + w11 * v11);
    };
    return RGBQUAD{mix(c00.rgbBlue, c10.rgbBlue, c01.rgbBlue, c11.rgbBlue),
                   mix(c00.rgbGreen, c10.rgbGreen, c01.rgbGreen, c11.rgbGreen),
                   mix(c00.rgbRed, c10.rgbRed, c01.rgbRed, c11.rgbRed),
                   hasAlpha ? mix(c00.rgbReserved, c10.rgbReserved, c01.rgbReserved,
                                  c11.rgbReserved)
                            : (BYTE)0};
}

// Weighted sum over a taps x taps neighbourhood, rows outer, columns inner.
RGBQUAD SampleKernel(Vistel& img, const Axis& ax, const Axis& ay, Vistel::OverflowMethod of,
                     RGBQUAD* rplColor)
{
    const long w = (long)img.GetWidth(), h = (long)img.GetHeight();
    const int taps = ax.taps;
    const long x0 = ax.i - (taps / 2 - 1), y0 = ay.i - (taps / 2 - 1);
    const bool hasAlpha = img.AlphaIsValid();
    Sums s;
    if (x0 >= 0 && x0 + taps <= w && y0 >= 0 && y0 + taps <= h && !img.IsIndexed()) {
        for (int j = 0; j < taps; j++) {
            const BYTE* p = img.BlindGetPixelPointer(x0, y0 + j);
            const BYTE* a = hasAlpha ? img.AlphaGetPointer(x0, y0 + j) : nullptr;
            for (int i = 0; i < taps; i++, p += 3) {
                const float wt = ax.k[i] * ay.k[j];
                s.b += wt * p[0];
                s.g += wt * p[1];
                s.r += wt * p[2];
                if (a) s.a += wt * a[i];
            }
        }
        return SumsToColor(s, hasAlpha);
    }
    for (int j = 0; j < taps; j++) {
        for (int i = 0; i < taps; i++) {
            const float wt = ax.k[i] * ay.k[j];
            const RGBQUAD c = img.GetPixelColorWithOverflow(x0 + i, y0 + j, of, rplColor);
            s.b += wt * c.rgbBlue;
            s.g += wt * c.rgbGreen;
            s.r += wt * c.rgbRed;
            s.a += wt * c.rgbReserved;
        }
    }
    return SumsToColor(s, hasAlpha);
}

RGBQUAD SampleAxes(Vistel& img, const Axis& ax, const Axis& ay, Vistel::OverflowMethod of,
                   RGBQUAD* rplColor)
{
    if (ax.taps == 0) return SampleBilinear(img, ax, ay, of, rplColor);
    return SampleKernel(img, ax, ay, of, rplColor);
}

// True when the neighbourhood of a sample misses the image entirely, so that
// the overflow rule alone decides its colour.
bool NeighbourhoodOutside(long xi, long yi, int taps, long w, long h)
{
    const long before = taps / 2 - 1, after = taps / 2;
    return xi + after < 0 || xi - before >= w || yi + after < 0 || yi - before >= h;
}

// Stores a sampled colour: rows of true-colour images directly, indexed
// images through the nearest palette entry; alpha when the image has a plane.
void StoreSample(Vistel& img, long x, long y, RGBQUAD c)
{
    if (img.IsIndexed()) {
        img.SetPixelColor(x, y, c, true);
    } else {
        BYTE* p = img.BlindGetPixelPointer(x, y);
        p[0] = c.rgbBlue;
        p[1] = c.rgbGreen;
        p[2] = c.rgbRed;
    }
    if (img.AlphaIsValid()) img.AlphaSet(x, y, c.rgbReserved);
}

}  // namespace

// ------------------------------------------------------------------ kernels

float Vistel::KernelLinear(float x)
{
    const float t = fabsf(x);
    return t < 1.0f ? 1.0f - t : 0.0f;
}

float Vistel::KernelBSpline(float x)
{
    if (x > 2.0f) return 0.0f;
    auto p = [](float t) { return t > 0.0f ? t * t * t : 0.0f; };
    return (p(x + 2.0f) - 4.0f * p(x + 1.0f) + 6.0f * p(x) - 4.0f * p(x - 1.0f)) * 0.16666667f;
}

float Vistel::KernelCubic(float t)
{
    const float x = fabsf(t), x2 = x * x, x3 = x2 * x;
    if (x < 1.0f) return x3 - 2.0f * x2 + 1.0f;
    if (x < 2.0f) return -x3 + 5.0f * x2 - 8.0f * x + 4.0f;
    return 0.0f;
}

float Vistel::KernelGeneralizedCubic(float t, float a)
{
    const float x = fabsf(t), x2 = x * x, x3 = x2 * x;
    if (x < 1.0f) return (a + 2.0f) * x3 - (a + 3.0f) * x2 + 1.0f;
    if (x < 2.0f) return a * x3 - 5.0f * a * x2 + 8.0f * a * x - 4.0f * a;
    return 0.0f;
}

float Vistel::KernelLanczosSinc(float t, float r)
{
    if (fabsf(t) > r) return 0.0f;
    if (t == 0.0f) return 1.0f;
    const float pit = kPi * t, pitr = pit / r;
    return (float)(sin(pit) / pit) * (float)(sin(pitr) / pitr);
}

float Vistel::KernelBox(float x)
{
    return (x >= -0.5f && x < 0.5f) ? 1.0f : 0.0f;
}

float Vistel::KernelHermite(float x)
{
    if (x < -1.0f || x >= 1.0f) return 0.0f;
    const float t = fabsf(x);
    return (2.0f * t - 3.0f) * t * t + 1.0f;
}

float Vistel::KernelHamming(float x)
{
    if (x < -1.0f || x >= 1.0f) return 0.0f;
    const float t = fabsf(x);
    return 1.0f + 0.92f * (2.0f * t * t * t - 3.0f * t * t);
}

float Vistel::KernelSinc(float x)
{
    if (x == 0.0f) return 1.0f;
    const float pix = kPi * x;
    return (float)(sin(pix) / pix);
}

float Vistel::KernelBlackman(float x)
{
    return 0.42f + 0.5f * (float)cos(kPi * x) + 0.08f * (float)cos(2.0f * kPi * x);
}

float Vistel::KernelBessel_J1(float x)
{
    static const double p[9] = {5.811993540016061e+20, -6.672106568924916e+19,
                                2.3164335806340024e+18, -3.588817569910106e+16,
                                290879526383477.56, -1322983480332.1265,
                                3413234182.3017006, -4695753.530642996,
                                2701.1227108923235};
    static const double q[9] = {1.1623987080032122e+21, 1.185770712190321e+19,
                                6.092061398917522e+16, 208166122130760.75,
                                524371026216.76495, 1013863514.358674,
                                1501793.5949985855, 1606.9315734814877, 1.0};
    return RationalHorner(p, q, (double)x * (double)x);
}

float Vistel::KernelBessel_P1(float x)
{
    static const double p[6] = {35224.66491336798, 62758.84524716128, 31353.963110915956,
                                4985.4832060594335, 211.15291828539623, 1.2571716929145342};
    static const double q[6] = {35224.66491336798, 62694.34695935605, 31240.406381904104,
                                4930.396490181089, 203.07751891347593, 1.0};
    const double y = 8.0 / (double)x;
    return RationalHorner(p, q, y * y);
}

float Vistel::KernelBessel_Q1(float x)
{
    static const double p[6] = {351.17519143035526, 721.0391804904475, 425.98730116544425,
                                83.18989576738508, 4.568171629551227, 0.03532840052740124};
    static const double q[6] = {7491.737417180912, 15414.177339265098, 9152.231701516992,
                                1811.1867005523513, 103.81875854621337, 1.0};
    const double y = 8.0 / (double)x;
    return RationalHorner(p, q, y * y);
}

float Vistel::KernelBessel_Order1(float x)
{
    if (x == 0.0f) return 0.0f;
    const float p = fabsf(x);
    if (p < 8.0f) return x * KernelBessel_J1(p);
    const float sp = (float)sin(p), cp = (float)cos(p);
    const float q = (float)sqrt(2.0f / (kPi * p)) *
                    (KernelBessel_P1(p) * (sp - cp) * 0.7071067811865475f +
                     8.0f / p * KernelBessel_Q1(p) * (sp + cp) * 0.7071067811865475f);
    return x < 0.0f ? -q : q;
}

float Vistel::KernelBessel(float x)
{
    if (x == 0.0f) return 0.78539819f;
    return KernelBessel_Order1(kPi * x) / (2.0f * x);
}

float Vistel::KernelGaussian(float x)
{
    return (float)(exp(-2.0 * (double)x * (double)x) * 0.7978845834732056);
}

float Vistel::KernelQuadratic(float x)
{
    if (x < -1.5f) return 0.0f;
    if (x < -0.5f) return 0.5f * (x + 1.5f) * (x + 1.5f);
    if (x < 0.5f) return 0.75f - x * x;
    if (x < 1.5f) return 0.5f * (x - 1.5f) * (x - 1.5f);
    return 0.0f;
}

float Vistel::KernelMitchell(float x)
{
    if (x < -2.0f || x >= 2.0f) return 0.0f;
    const float t = fabsf(x), t2 = t * t, t3 = t2 * t;
    if (t < 1.0f) return 1.1666666f * t3 - 2.0f * t2 + 0.8888889f;
    return -0.38888887f * t3 + 2.0f * t2 - 3.3333333f * t + 1.7777778f;
}

float Vistel::KernelCatrom(float x)
{
    if (x < -2.0f || x >= 2.0f) return 0.0f;
    const float t = fabsf(x), t2 = t * t, t3 = t2 * t;
    if (t < 1.0f) return 0.5f * (3.0f * t3 - 5.0f * t2 + 2.0f);
    return 0.5f * (-t3 + 5.0f * t2 - 8.0f * t + 4.0f);
}

// ------------------------------------------------------------ overflow rules

void Vistel::OverflowCoordinates(long& x, long& y, OverflowMethod ofMethod)
{
    if (!pDib || IsInside(x, y)) return;
    const long w = head.biWidth, h = head.biHeight;
    // Magnitudes of negative values are taken unsigned so that no value,
    // however far out, overflows on negation.
    auto mirror = [](long& v, long n) {
        if (v < 0) v = (long)((0UL - (unsigned long)v) % (unsigned long)n);
        else if (v >= n) v = n - (v % n) - 1;
    };
    auto wrap = [](long& v, long n) {
        v %= n;
        if (v < 0) v += n;
    };
    switch (ofMethod) {
    case OM_REPEAT:
        x = x < 0 ? 0 : (x >= w ? w - 1 : x);
        y = y < 0 ? 0 : (y >= h ? h - 1 : y);
        break;
    case OM_MIRROR:
        mirror(x, w);
        mirror(y, h);
        break;
    case OM_WRAP:
        wrap(x, w);
        wrap(y, h);
        break;
    default: break;
    }
}

void Vistel::OverflowCoordinates(float& x, float& y, OverflowMethod ofMethod)
{
    if (!pDib) return;
    const float w = (float)head.biWidth, h = (float)head.biHeight;
    if (x >= 0.0f && x < w && y >= 0.0f && y < h) return;
    auto mirror = [](float& v, float n) {
        if (v < 0.0f) v = fmodf(-v, n);
        else if (v >= n) v = n - (fmodf(v, n) + 1.0f);
    };
    auto wrap = [](float& v, float n) {
        v = fmodf(v, n);
        if (v < 0.0f) v += n;
    };
    switch (ofMethod) {
    case OM_REPEAT:
        x = x < 0.0f ? 0.0f : (x > w - 1.0f ? w - 1.0f : x);
        y = y < 0.0f ? 0.0f : (y > h - 1.0f ? h - 1.0f : y);
        break;
    case OM_MIRROR:
        mirror(x, w);
        mirror(y, h);
        break;
    case OM_WRAP:
        wrap(x, w);
        wrap(y, h);
        break;
    default: break;
    }
}

RGBQUAD Vistel::GetPixelColorWithOverflow(long x, long y, OverflowMethod ofMethod,
                                          RGBQUAD* rplColor)
{
    // The palette entry of an indexed pixel carries no alpha of its own:
    // the alpha plane, when there is one, supplies it.
    auto pixelWithAlpha = [this](long px, long py) {
        RGBQUAD c = BlindGetPixelColor(px, py);
        if (pAlpha) c.rgbReserved = BlindAlphaGet(px, py);
        return c;
    };
    if (pDib && IsInside(x, y)) return pixelWithAlpha(x, y);
    RGBQUAD color = DefaultReplacement(rplColor);
    if (!pDib) return color;
    switch (ofMethod) {
    case OM_TRANSPARENT:
        if (pAlpha) color.rgbReserved = 0;
        else if (info.nBkgndIndex >= 0) color = GetTransColor();
        break;
    case OM_WRAP:
    case OM_REPEAT:
    case OM_MIRROR:
        OverflowCoordinates(x, y, ofMethod);
        if (IsInside(x, y)) return pixelWithAlpha(x, y);
        break;
    case OM_BACKGROUND:
        if (info.nBkgndIndex != -1) {
            if (head.biBitCount < 24) color = GetPaletteColor((BYTE)(info.nBkgndIndex & 255));
            else color = info.nBkgndColor;
        }
        break;
    default: break;
    }
    return color;
}

// ------------------------------------------------------------------ samplers

RGBQUAD Vistel::GetPixelColorInterpolated(float x, float y, InterpolationMethod inMethod,
                                          OverflowMethod ofMethod, RGBQUAD* rplColor)
{
    if (!pDib || !std::isfinite(x) || !std::isfinite(y))
        return GetPixelColorWithOverflow(-999, -999, ofMethod, rplColor);
    if (inMethod == IM_NEAREST_NEIGHBOUR)
        return GetPixelColorWithOverflow(TruncToLong(x + 0.5f), TruncToLong(y + 0.5f), ofMethod,
                                         rplColor);
    const int taps = TapsOf(inMethod);
    if (NeighbourhoodOutside(CellOf(x), CellOf(y), taps, head.biWidth, head.biHeight)) {
        if (OverflowIsConstant(ofMethod))
            return GetPixelColorWithOverflow(-999, -999, ofMethod, rplColor);
        OverflowCoordinates(x, y, ofMethod);
    }
    const Kernel kernel = KernelOf(inMethod);
    return SampleAxes(*this, MakeAxis(x, kernel, taps), MakeAxis(y, kernel, taps), ofMethod,
                      rplColor);
}

void Vistel::AddAveragingCont(const RGBQUAD& color, float surf, float& rr, float& gg, float& bb,
                              float& aa)
{
    rr += surf * color.rgbRed;
    gg += surf * color.rgbGreen;
    bb += surf * color.rgbBlue;
    aa += surf * color.rgbReserved;
}

RGBQUAD Vistel::GetAreaColorInterpolated(float xc, float yc, float w, float h,
                                         InterpolationMethod inMethod, OverflowMethod ofMethod,
                                         RGBQUAD* rplColor)
{
    if (!(w > 1.0f) && !(h > 1.0f))
        return GetPixelColorInterpolated(xc, yc, inMethod, ofMethod, rplColor);
    if (!std::isfinite(xc) || !std::isfinite(yc) || !std::isfinite(w) || !std::isfinite(h))
        return GetPixelColorWithOverflow(-999, -999, ofMethod, rplColor);

    const VsRect2 area(xc - w / 2.0f, yc - h / 2.0f, xc + w / 2.0f, yc + h / 2.0f);
    const long xi1 = TruncToLong(area.botLeft.x + 0.5f), yi1 = TruncToLong(area.botLeft.y + 0.5f);
    const long xi2 = TruncToLong(area.topRight.x + 0.5f), yi2 = TruncToLong(area.topRight.y + 0.5f);
    float rr = 0.0f, gg = 0.0f, bb = 0.0f, aa = 0.0f;
    // True-colour pixels inside the image are read straight from the rows;
    // the colour is the one GetPixelColorWithOverflow would give.
    const bool direct = head.biClrUsed == 0;
    const long width = head.biWidth, height = head.biHeight;
    auto colorAt = [&](long x, long y) {
        if (direct && x >= 0 && y >= 0 && x < width && y < height) {
            const BYTE* p = info.pImage + (size_t)y * info.dwEffWidth + (size_t)x * 3;
            return RGBQUAD{p[0], p[1], p[2], pAlpha ? pAlpha[(size_t)y * width + x] : (BYTE)0};
        }
        return GetPixelColorWithOverflow(x, y, ofMethod, rplColor);
    };
    auto add = [&](long x, long y, float weight) {
        AddAveragingCont(colorAt(x, y), weight, rr, gg, bb, aa);
    };
    auto pixelSquare = [](long x, long y) {
        return VsRect2((float)x - 0.5f, (float)y - 0.5f, (float)x + 0.5f, (float)y + 0.5f);
    };

    if (w > 1.0f && h > 1.0f) {
        const VsRect2 bl = pixelSquare(xi1, yi1).CrossSection(area);
        const VsRect2 tr = pixelSquare(xi2, yi2).CrossSection(area);
        const float wBL = bl.Width(), hBL = bl.Height(), wTR = tr.Width(), hTR = tr.Height();
        add(xi1, yi1, wBL * hBL);
        add(xi2, yi1, wTR * hBL);
        add(xi1, yi2, wBL * hTR);
        add(xi2, yi2, wTR * hTR);
        for (long x = xi1 + 1; x < xi2; x++) {
            add(x, yi1, hBL);
            add(x, yi2, hTR);
        }
        for (long y = yi1 + 1; y < yi2; y++) {
            add(xi1, y, wBL);
            add(xi2, y, wTR);
        }
        for (long y = yi1 + 1; y < yi2; y++)
            for (long x = xi1 + 1; x < xi2; x++) add(x, y, 1.0f);
    } else {
        for (long y = yi1; y <= yi2; y++) {
            for (long x = xi1; x <= xi2; x++) {
                const VsRect2 part = pixelSquare(x, y).CrossSection(area);
                const VsPoint2 centre = part.Center();
                AddAveragingCont(
                    GetPixelColorInterpolated(centre.x, centre.y, inMethod, ofMethod, rplColor),
                    part.Surface(), rr, gg, bb, aa);
            }
        }
    }

    const float surface = w * h;
    Sums s;
    s.r = rr / surface;
    s.g = gg / surface;
    s.b = bb / surface;
    s.a = aa / surface;
    return SumsToColor(s, pAlpha != nullptr);
}

// ------------------------------------------------------------------ resizing

bool Vistel::Resample2(long newx, long newy, InterpolationMethod inMethod,
                       OverflowMethod ofMethod, Vistel* iDst, bool disableAveraging)
{
    if (newx <= 0 || newy <= 0 || !pDib) return false;
    if (newx == head.biWidth && newy == head.biHeight) {
        if (iDst) iDst->Copy(*this);
        return true;
    }
    const float xScale = (float)head.biWidth / (float)newx;
    const float yScale = (float)head.biHeight / (float)newy;

    Vistel newImage;
    if (!MakeWorkImage(newImage, (DWORD)newx, (DWORD)newy, pAlpha != nullptr)) return false;

    auto sourceX = [&](long x) { return xScale * ((float)x + 0.5f) - 0.5f; };
    auto sourceY = [&](long y) { return yScale * ((float)y + 0.5f) - 0.5f; };

    info.nProgress = 0;
    if ((xScale <= 1.0f && yScale <= 1.0f) || disableAveraging) {
        // Source points of a resize never leave the image by more than half
        // a pixel, so no overflow rule moves them, and the weights of every
        // column and row can be computed once.
        const Kernel kernel = KernelOf(inMethod);
        const int taps = TapsOf(inMethod);
        const bool separable = inMethod != IM_NEAREST_NEIGHBOUR;
        std::vector<Axis> columns, rows;
        if (separable) {
            columns.reserve(newx);
            for (long x = 0; x < newx; x++) columns.push_back(MakeAxis(sourceX(x), kernel, taps));
        }
        for (long y = 0; y < newy; y++) {
            if (info.nEscape) break;
            const float sy = sourceY(y);
            const Axis row = separable ? MakeAxis(sy, kernel, taps) : Axis();
            const bool rowOutside = NeighbourhoodOutside(0, row.i, taps, 1, head.biHeight);
            for (long x = 0; x < newx; x++) {
                RGBQUAD c;
                if (!separable || rowOutside ||
                    NeighbourhoodOutside(columns[x].i, 0, taps, head.biWidth, 1))
                    c = GetPixelColorInterpolated(sourceX(x), sy, inMethod, ofMethod, nullptr);
                else
                    c = SampleAxes(*this, columns[x], row, ofMethod, nullptr);
                StoreSample(newImage, x, y, c);
            }
            if (y + 1 < newy) info.nProgress = (y + 1) * 100 / newy;
        }
    } else {
        for (long y = 0; y < newy; y++) {
            if (info.nEscape) break;
            const float sy = sourceY(y);
            for (long x = 0; x < newx; x++) {
                const RGBQUAD c = GetAreaColorInterpolated(sourceX(x), sy, xScale, yScale,
                                                           inMethod, ofMethod, nullptr);
                newImage.SetPixelColor(x, y, c, true);
                if (newImage.IsIndexed()) newImage.AlphaSet(x, y, c.rgbReserved);
            }
            if (y + 1 < newy) info.nProgress = (y + 1) * 100 / newy;
        }
    }
    return TransferResult(newImage, iDst);
}
