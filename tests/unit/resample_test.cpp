// Resampling: nearest and box shrinks worked by hand, borders and
// thumbnails; the filtered resize against an exact resize computed here,
// and its fast forms against the plain ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "PixelResize.h"
#include "ResizeRows.h"
#include "Vistel.h"
#include "VistelJPG.h"
#include "corpus.h"
#include "test_images.h"

namespace {

RGBQUAD Bgr(BYTE b, BYTE g, BYTE r)
{
    return RGBQUAD{b, g, r, 0};
}

void Fill(Vistel& img, RGBQUAD c)
{
    for (long y = 0; y < (long)img.GetHeight(); y++)
        for (long x = 0; x < (long)img.GetWidth(); x++) img.SetPixelColor(x, y, c);
}

}  // namespace

TEST(Resample, RefusalSameSizeAndNearest)
{
    Vistel img(4, 4, 24);
    for (long y = 0; y < 4; y++)
        for (long x = 0; x < 4; x++) img.SetPixelColor(x, y, Bgr((BYTE)(x * 10 + y), 0, 0));
    EXPECT_FALSE(img.Resample(0, 10, 1));
    Vistel same, dst;
    EXPECT_TRUE(img.Resample(4, 4, 1, &same));
    ASSERT_TRUE(same.IsValid());
    EXPECT_EQ(same.GetPixelColor(3, 2).rgbBlue, 32);
    // Nearest takes every other pixel; the source stays as it is.
    ASSERT_TRUE(img.Resample(2, 2, 1, &dst));
    EXPECT_EQ(dst.GetPixelColor(0, 0).rgbBlue, 0);
    EXPECT_EQ(dst.GetPixelColor(1, 0).rgbBlue, 20);
    EXPECT_EQ(dst.GetPixelColor(0, 1).rgbBlue, 2);
    EXPECT_EQ(dst.GetPixelColor(1, 1).rgbBlue, 22);
    EXPECT_EQ(img.GetWidth(), 4u);
    EXPECT_TRUE(img.Resample(4, 4, 1));
    EXPECT_EQ(img.GetPixelColor(3, 2).rgbBlue, 32);
}

TEST(QIShrinkTest, BoxesAndRefusal)
{
    Vistel img(9, 9, 24);
    for (long y = 0; y < 9; y++)
        for (long x = 0; x < 9; x++) img.SetPixelColor(x, y, Bgr((BYTE)(x * 10), (BYTE)y, 0));
    Vistel big;
    EXPECT_FALSE(img.QIShrink(10, 9, &big));
    EXPECT_STREQ(img.GetLastError(), "QIShrink can't enlarge image");
    ASSERT_TRUE(img.QIShrink(3, 3));
    // Columns 0-3, 4-6 and 7-8; rows 0-2 average to 1.
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbBlue, 15);
    EXPECT_EQ(img.GetPixelColor(1, 0).rgbBlue, 50);
    EXPECT_EQ(img.GetPixelColor(2, 0).rgbBlue, 75);
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbGreen, 1);
    EXPECT_EQ(img.GetPixelColor(0, 2).rgbGreen, 7);
}

TEST(ExpandTest, MarginsAndCanvas)
{
    Vistel img(7, 8, 24);
    Fill(img, Bgr(1, 1, 1));
    img.AlphaCreate();
    RGBQUAD c = Bgr(10, 20, 30);
    img.AlphaSet(0, 0, 77);
    c.rgbReserved = 9;
    ASSERT_TRUE(img.Expand(10, 10, c));
    EXPECT_EQ(img.GetWidth(), 10u);
    EXPECT_EQ(img.GetHeight(), 10u);
    // The plane follows the picture; the margins take the canvas alpha.
    // One column left, two right, one row above and one below.
    ASSERT_TRUE(img.AlphaIsValid());
    const struct {
        long x, y;
        BYTE alpha, red;
    } spots[] = {{1, 1, 77, 1}, {2, 1, 255, 1}, {0, 5, 9, 30},  {1, 5, 255, 1}, {7, 5, 255, 1},
                 {8, 5, 9, 30}, {4, 0, 9, 30},  {4, 1, 255, 1}, {4, 8, 255, 1}, {4, 9, 9, 30}};
    for (const auto& p : spots) {
        EXPECT_EQ(img.AlphaGet(p.x, p.y), p.alpha) << p.x << "," << p.y;
        EXPECT_EQ(img.GetPixelColor(p.x, p.y).rgbRed, p.red) << p.x << "," << p.y;
    }
    EXPECT_FALSE(img.Expand(5, 5, c));
    EXPECT_FALSE(img.Expand(-1, 0, 0, 0, c));

    Vistel mono(3, 2, 1);
    mono.SetPaletteColor(0, 0, 0, 0);
    mono.SetPaletteColor(1, 255, 255, 255);
    mono.Clear(0);
    ASSERT_TRUE(mono.Expand(1, 1, 1, 1, Bgr(255, 255, 255)));
    EXPECT_EQ(mono.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(mono.GetPixelIndex(1, 1), 0);
    EXPECT_EQ(mono.GetPixelIndex(4, 3), 1);
}

TEST(ThumbnailTest, FitsAndCentres)
{
    Vistel wide(400, 200, 24);
    Fill(wide, Bgr(5, 5, 5));
    RGBQUAD c = Bgr(0, 0, 255);
    Vistel out;
    ASSERT_TRUE(wide.Thumbnail(100, 100, c, &out));
    EXPECT_EQ(out.GetWidth(), 100u);
    EXPECT_EQ(out.GetHeight(), 100u);
    EXPECT_EQ(out.GetPixelColor(50, 24).rgbRed, 255);
    EXPECT_EQ(out.GetPixelColor(50, 25).rgbRed, 5);
    EXPECT_EQ(out.GetPixelColor(50, 74).rgbRed, 5);
    EXPECT_EQ(out.GetPixelColor(50, 75).rgbRed, 255);
    EXPECT_EQ(wide.GetWidth(), 400u);

    Vistel small(50, 50, 24);
    Fill(small, Bgr(5, 5, 5));
    ASSERT_TRUE(small.Thumbnail(100, 100, c));
    EXPECT_EQ(small.GetWidth(), 100u);
    EXPECT_EQ(small.GetPixelColor(24, 50).rgbRed, 255);
    EXPECT_EQ(small.GetPixelColor(25, 50).rgbRed, 5);
    EXPECT_FALSE(small.Thumbnail(0, 10, c));
}

// ------------------------------------------------------------ PixelResize

namespace {

using Pixels = std::vector<uint8_t>;  // RGBA, top row first

vsresize::PixelView ViewOf(const Pixels& rgba, int w, int h)
{
    return vsresize::PixelView{rgba.data(), w, h, (ptrdiff_t)w * 4};
}

double Keys(double x)
{
    const double t = std::fabs(x);
    if (t < 1) return (1.5 * t - 2.5) * t * t + 1;
    return t < 2 ? ((-0.5 * t + 2.5) * t - 4) * t + 2 : 0;
}

double Lanczos3(double x)
{
    const double p = M_PI * x;
    return x == 0 ? 1 : std::fabs(x) >= 3 ? 0 : 3 * std::sin(p) * std::sin(p / 3) / (p * p);
}

// The RGB of a w x h resize in double precision, rounded once at the end.
// Output x filters around source point (x + 0.5) * W / w with the kernel
// widened by the shrink; source pixels past the edges are left out and the
// other weights renormalised.
std::vector<double> ExactResize(const Pixels& src, int W, int H, int w, int h,
                                double (*kernel)(double))
{
    using Taps = std::vector<std::vector<std::pair<int, double>>>;
    auto taps = [&](int in, int out) {
        Taps t(out);
        const double scale = (double)in / out, widen = std::max(scale, 1.0);
        for (int o = 0; o < out; o++) {
            double total = 0;
            for (int i = 0; i < in; i++) {
                const double k = kernel((i + 0.5 - (o + 0.5) * scale) / widen);
                if (k != 0) t[o].push_back({i, k});
                total += k;
            }
            for (auto& tap : t[o]) tap.second /= total;
        }
        return t;
    };
    const Taps tx = taps(W, w), ty = taps(H, h);
    std::vector<double> across((size_t)H * w * 3, 0.0), out((size_t)h * w * 3, 0.0);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < w; x++)
            for (const auto& [i, k] : tx[x])
                for (int c = 0; c < 3; c++)
                    across[((size_t)y * w + x) * 3 + c] += k * src[((size_t)y * W + i) * 4 + c];
    for (int y = 0; y < h; y++)
        for (const auto& [i, k] : ty[y])
            for (size_t j = 0; j < (size_t)w * 3; j++)
                out[(size_t)y * w * 3 + j] += k * across[(size_t)i * w * 3 + j];
    for (double& v : out) v = std::round(std::clamp(v, 0.0, 255.0));
    return out;
}

double Psnr(const std::vector<double>& ref, const std::vector<double>& got)
{
    double se = 0;
    for (size_t i = 0; i < ref.size(); i++) se += (got[i] - ref[i]) * (got[i] - ref[i]);
    return 10 * std::log10(255.0 * 255.0 * ref.size() / se);
}

std::vector<double> Rgb(const vsresize::Rgba& img)
{
    std::vector<double> out;
    for (size_t i = 0; i < (size_t)img.width * img.height * 4; i++)
        if (i % 4 != 3) out.push_back(img.pixels[i]);
    return out;
}

// Smooth shading, fine texture and a hard-edged disc, as in photos.
Pixels PhotoLike(int w, int h)
{
    Pixels p((size_t)w * h * 4, 255);
    std::mt19937 rng(7);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const bool disc = std::hypot(x - w * 0.6, y - h * 0.4) < h * 0.25;
            const double shade =
                128 + 60 * std::sin(x * 0.05) * std::cos(y * 0.03) + (double)(rng() % 41) - 20;
            for (int c = 0; c < 3; c++)
                p[((size_t)y * w + x) * 4 + c] =
                    (uint8_t)std::clamp(shade + (disc ? 60 - 40 * c : 0), 0.0, 255.0);
        }
    return p;
}

struct Picture {
    std::string name;
    int w, h;
    Pixels rgba;
};

}  // namespace

// Within 1 dB (PSNR against an exact Lanczos resize) of an exact bicubic
// resize, on a photo and a synthetic picture, shrinking (by up to 20, where
// boxes are averaged first), enlarging, and both at once. The centring and
// alpha are tested through the photo commands (commands.test).
TEST(PixelResize, FaithfulToAnExactResize)
{
    std::vector<Picture> pictures = {{"synthetic", 320, 240, PhotoLike(320, 240)}};
    if (!corpus::Root().empty()) {
        const std::string photo = corpus::Root() + "/jpeg/exif-samples/gps/DSCN0010.jpg";
        Pixels data;
        ASSERT_TRUE(corpus::ReadFile(photo, &data));
        VsMemFile in(data.data(), (DWORD)data.size());
        VistelJPG img;
        ASSERT_TRUE(img.Decode(&in));
        pictures.push_back(
            {photo, (int)img.GetWidth(), (int)img.GetHeight(), corpus::OpaqueRgba(img)});
    }
    const double ratios[][2] = {{1 / 8.0, 1 / 8.0}, {0.3, 0.45}, {0.05, 0.07},
                                {1.7, 2.3},         {0.45, 2.2}, {3.1, 0.7}};
    for (const auto& r : ratios)
        for (const Picture& p : pictures) {
            const int w = (int)std::lround(p.w * r[0]), h = (int)std::lround(p.h * r[1]);
            vsresize::Rgba out;
            ASSERT_EQ(
                vsresize::Resize(ViewOf(p.rgba, p.w, p.h), w, h, vsresize::Filter::Bicubic, &out),
                vsresize::Outcome::Ok);
            const std::vector<double> ref = ExactResize(p.rgba, p.w, p.h, w, h, Lanczos3);
            EXPECT_GE(Psnr(ref, Rgb(out)),
                      Psnr(ref, ExactResize(p.rgba, p.w, p.h, w, h, Keys)) - 1.0)
                << p.name << " to " << w << "x" << h;
        }
}

// The SSE2 loops give the plain loops' bytes, on random rows, weights and
// spans of every length; and a picture read in place (Tk's RGBA rows, the
// opaque ones not copied) resizes to the bytes of the same picture as an
// image's bottom-up rows with an alpha plane, converted row by row.
TEST(PixelResize, FastFormsAndLayoutsGiveThePlainBytes)
{
    using namespace vsresize;
    std::mt19937 rng(3);
    auto bytes = [&](size_t n) {
        Pixels v(n);
        for (auto& b : v) b = (uint8_t)rng();
        return v;
    };
    for (int round = 0; round < 300; round++) {
        const int inWidth = 1 + rng() % 40, outWidth = 1 + rng() % 40, stride = 1 + rng() % 9;
        const Pixels in = bytes((size_t)inWidth * 4);
        std::vector<int> first(outWidth), count(outWidth);
        std::vector<int16_t> weights((size_t)outWidth * stride);
        for (int x = 0; x < outWidth; x++) {
            count[x] = 1 + rng() % std::min(stride, inWidth);
            first[x] = rng() % (inWidth - count[x] + 1);
            for (int t = 0; t < count[x]; t++)
                weights[(size_t)x * stride + t] = (int16_t)(rng() % 20000) - 6000;
        }
        const RowTaps taps{first.data(), count.data(), weights.data(), stride};
        Pixels plain(outWidth * 4), fast(outWidth * 4);
        kPlainRows.resample(in.data(), taps, outWidth, plain.data());
        kFastRows.resample(in.data(), taps, outWidth, fast.data());
        ASSERT_EQ(plain, fast) << "resample, round " << round;

        const int rows = 1 + rng() % 9;
        const size_t length = 1 + rng() % 100;
        std::vector<Pixels> data;
        std::vector<const uint8_t*> pointers;
        std::vector<int16_t> rowWeights;
        for (int t = 0; t < rows; t++) {
            data.push_back(bytes(length));
            rowWeights.push_back((int16_t)(rng() % 20000) - 6000);
        }
        for (const Pixels& row : data) pointers.push_back(row.data());
        plain.assign(length, 0);
        fast.assign(length, 0);
        kPlainRows.combine(pointers.data(), rowWeights.data(), rows, length, plain.data());
        kFastRows.combine(pointers.data(), rowWeights.data(), rows, length, fast.data());
        ASSERT_EQ(plain, fast) << "combine, round " << round;

        std::vector<uint16_t> plainSums(length, 700), fastSums(length, 700);
        kPlainRows.accumulate(data[0].data(), length, plainSums.data());
        kFastRows.accumulate(data[0].data(), length, fastSums.data());
        ASSERT_EQ(plainSums, fastSums) << "accumulate, round " << round;
        Pixels opaque(length / 4 * 4, 255);
        if (!opaque.empty() && rng() % 2)
            opaque[rng() % (opaque.size() / 4) * 4 + 3] = (uint8_t)(rng() % 255);
        ASSERT_EQ(kPlainRows.opaque(opaque.data(), opaque.size() / 4),
                  kFastRows.opaque(opaque.data(), opaque.size() / 4));
    }

    // Rows 10 to 19 translucent, the rest opaque.
    const int W = 50, H = 40;
    Pixels rgba = PhotoLike(W, H);
    Vistel img(W, H, 24);
    img.AlphaCreate();
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            uint8_t* p = &rgba[((size_t)y * W + x) * 4];
            if (y >= 10 && y < 20) p[3] = (uint8_t)(x * 5);
            img.SetPixelColor(x, H - 1 - y, RGBQUAD{p[2], p[1], p[0], 0});
            img.AlphaSet(x, H - 1 - y, p[3]);
        }
    for (auto size : {std::make_pair(17, 23), std::make_pair(120, 9), std::make_pair(3, 2)}) {
        Rgba inPlace;
        ASSERT_EQ(Resize(ViewOf(rgba, W, H), size.first, size.second, Filter::Bicubic, &inPlace),
                  Outcome::Ok);
        Vistel resized;
        ASSERT_TRUE(img.Resample(size.first, size.second, 2, &resized));
        for (int y = 0; y < size.second; y++)
            for (int x = 0; x < size.first; x++) {
                const uint8_t* p = &inPlace.pixels[((size_t)y * size.first + x) * 4];
                const RGBQUAD c = resized.GetPixelColor(x, size.second - 1 - y);
                ASSERT_TRUE(testimages::Same(RGBQUAD{p[2], p[1], p[0], p[3]}, c)) << x << "," << y;
            }
    }
}
