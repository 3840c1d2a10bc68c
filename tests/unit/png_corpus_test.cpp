// PNG decoding against the public corpora (pngsuite, png-extra).
//
// The reference for each valid file is built twice: Pillow's RGBA hash from
// the corpus, and a plain libpng decode to 8-bit RGBA made here (expand,
// high byte of 16-bit samples, grey to RGB) that must hash the same. Our
// image keeps alpha only for RGBA, 16-bit grey+alpha and palette files; other
// transparency (grey+alpha at 8 bits, tRNS of grey and RGB files) is
// composited onto bKGD or grey 192, so for those the plain decode is
// composited the same way before comparing pixel for pixel.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "VistelPNG.h"
#include "Formats.h"
#include "corpus.h"

namespace {

struct PlainDecode {
    bool ok = false;
    png_uint_32 width = 0, height = 0;
    int colorType = 0, depth = 0;
    bool hasBackground = false;
    bool gammaTagged = false;  // gAMA or sRGB: libpng composites through gamma tables
    BYTE bg[3] = {192, 192, 192};  // bKGD as 8-bit RGB, or the default
    std::vector<BYTE> rgba;
};

struct MemReader {
    const std::vector<BYTE>* bytes;
    size_t pos;
};

void ReadMem(png_structp png, png_bytep out, size_t n)
{
    MemReader* r = (MemReader*)png_get_io_ptr(png);
    if (r->pos + n > r->bytes->size()) png_error(png, "eof");
    memcpy(out, r->bytes->data() + r->pos, n);
    r->pos += n;
}

void Quiet(png_structp, png_const_charp) {}

// The whole decode lives in this frame, with nothing that needs a destructor
// between setjmp and libpng.
void DecodePlainGuarded(png_structp png, png_infop info, PlainDecode* out)
{
    if (setjmp(png_jmpbuf(png))) return;
    png_read_info(png, info);
    png_get_IHDR(png, info, &out->width, &out->height, &out->depth, &out->colorType, nullptr,
                 nullptr, nullptr);
    if (out->colorType == PNG_COLOR_TYPE_GRAY && out->depth < 8) {
        // The nearest level to grey 192 that the file's samples can hold.
        int top = (1 << out->depth) - 1;
        out->bg[0] = out->bg[1] = out->bg[2] = (BYTE)((192 * top + 127) / 255 * (255 / top));
    }
    png_color_16p bk = nullptr;
    if (png_get_bKGD(png, info, &bk) && bk && out->colorType != PNG_COLOR_TYPE_PALETTE) {
        out->hasBackground = true;
        png_uint_16 v[3] = {bk->red, bk->green, bk->blue};
        if (!(out->colorType & PNG_COLOR_MASK_COLOR)) v[0] = v[1] = v[2] = bk->gray;
        for (int c = 0; c < 3; c++)
            out->bg[c] = out->depth == 16 ? (BYTE)(v[c] >> 8)
                                          : (BYTE)(v[c] * (255 / ((1 << out->depth) - 1)));
    }
    out->gammaTagged = png_get_valid(png, info, PNG_INFO_gAMA | PNG_INFO_sRGB) != 0;
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != (size_t)out->width * 4) return;
    out->rgba.assign((size_t)out->width * out->height * 4, 0);
    std::vector<png_bytep> rows(out->height);
    for (png_uint_32 y = 0; y < out->height; y++) rows[y] = &out->rgba[(size_t)y * out->width * 4];
    png_read_image(png, rows.data());
    png_read_end(png, info);
    out->ok = true;
}

PlainDecode DecodePlain(const std::vector<BYTE>& bytes)
{
    PlainDecode out;
    MemReader reader{&bytes, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Quiet, Quiet);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &reader, ReadMem);
    DecodePlainGuarded(png, info, &out);
    png_destroy_read_struct(&png, &info, nullptr);
    return out;
}

// Transparency our decoder flattens: everything except palette files, RGBA
// and 16-bit grey+alpha, which keep alpha.
bool Flattened(const PlainDecode& p)
{
    return p.colorType != PNG_COLOR_TYPE_PALETTE && p.colorType != PNG_COLOR_TYPE_RGB_ALPHA &&
           !(p.colorType == PNG_COLOR_TYPE_GRAY_ALPHA && p.depth == 16);
}

std::vector<BYTE> Flatten(const PlainDecode& p, bool* changed)
{
    std::vector<BYTE> out = p.rgba;
    *changed = false;
    for (size_t i = 0; i < out.size(); i += 4) {
        BYTE a = out[i + 3];
        if (a == 255) continue;
        *changed = true;
        for (int c = 0; c < 3; c++) png_composite(out[i + c], out[i + c], a, p.bg[c]);
        out[i + 3] = 255;
    }
    return out;
}

std::string FirstDifference(const std::vector<BYTE>& got, const std::vector<BYTE>& want)
{
    if (got.size() != want.size()) return "sizes differ";
    size_t count = 0, first = 0;
    for (size_t i = 0; i < got.size(); i += 4)
        if (memcmp(&got[i], &want[i], 4) != 0 && count++ == 0) first = i;
    char text[160];
    snprintf(text, sizeof(text), "%zu pixels differ; pixel %zu is %d,%d,%d,%d, expected %d,%d,%d,%d",
             count, first / 4, got[first], got[first + 1], got[first + 2], got[first + 3],
             want[first], want[first + 1], want[first + 2], want[first + 3]);
    return text;
}

// Gamma-aware compositing: opaque pixels unchanged, transparent ones the
// background, partly transparent ones between the two (each within the one
// level the gamma tables may round away).
bool CompositedBetween(const std::vector<BYTE>& got, const std::vector<BYTE>& fg, const BYTE bg[3])
{
    if (got.size() != fg.size()) return false;
    for (size_t i = 0; i < got.size(); i += 4) {
        BYTE a = fg[i + 3];
        if (got[i + 3] != 255) return false;
        for (int c = 0; c < 3; c++) {
            int lo = std::min(fg[i + c], bg[c]) - 1, hi = std::max(fg[i + c], bg[c]) + 1;
            int want = a == 255 ? fg[i + c] : a == 0 ? bg[c] : -1;
            if ((want >= 0 && std::abs(got[i + c] - want) > 1) || got[i + c] < lo || got[i + c] > hi)
                return false;
        }
    }
    return true;
}

bool ExpectedRejection(const std::string& rel)
{
    std::string base = rel.substr(rel.find_last_of('/') + 1);
    static const std::set<std::string> broken = {"broken.png", "broken_data_stream.png",
                                                 "truncated_image.png", "truncated_end_chunk.png"};
    return base[0] == 'x' || broken.count(base) > 0;
}

void CheckSuite(const std::string& suite)
{
    if (corpus::Root().empty()) GTEST_SKIP() << "test corpora absent";
    std::vector<std::string> files = corpus::Files(suite, {".png"});
    if (files.empty()) GTEST_SKIP() << suite << " absent";

    int matched = 0, flattened = 0, rejected = 0, unreferenced = 0;
    std::vector<std::string> flattenedFiles, disputed, gammaRounded;
    for (const std::string& rel : files) {
        SCOPED_TRACE(suite + "/" + rel);
        std::vector<BYTE> bytes;
        ASSERT_TRUE(corpus::ReadFile(corpus::Root() + "/" + suite + "/" + rel, &bytes));
        Vistel img;
        bool ok = formats::Decode(img, bytes.data(), (DWORD)bytes.size(), VISTEL_FORMAT_PNG);
        if (ExpectedRejection(rel)) {
            EXPECT_FALSE(ok);
            EXPECT_STRNE(img.GetLastError(), "");
            rejected++;
            continue;
        }
        ASSERT_TRUE(ok) << img.GetLastError();
        EXPECT_EQ(img.GetType(), (DWORD)VISTEL_FORMAT_PNG);

        std::vector<corpus::RefFrame> ref;
        PlainDecode plain = DecodePlain(bytes);
        ASSERT_TRUE(plain.ok);
        if (!corpus::ReadRef(suite, rel, &ref) || corpus::Status(suite, rel) != "ok") {
            unreferenced++;
        } else {
            ASSERT_EQ(ref.size(), 1u);
            // libpng and Pillow part only on an out-of-range palette index and
            // on a 1-bit tRNS.
            if (corpus::Sha256Hex(plain.rgba.data(), plain.rgba.size()) != ref[0].sha256)
                disputed.push_back(rel);
        }

        std::vector<BYTE> expected = plain.rgba;
        bool changed = false;
        if (Flattened(plain)) expected = Flatten(plain, &changed);
        ASSERT_EQ(img.GetWidth(), plain.width);
        ASSERT_EQ(img.GetHeight(), plain.height);
        std::vector<BYTE> shown = corpus::OpaqueRgba(img);
        if (changed && plain.gammaTagged && shown != expected) {
            // libpng composites partly transparent pixels of a gamma-tagged
            // file in linear light.
            EXPECT_TRUE(CompositedBetween(shown, plain.rgba, plain.bg)) << rel;
            gammaRounded.push_back(rel);
        } else {
            EXPECT_TRUE(shown == expected) << FirstDifference(shown, expected);
        }
        if (changed) {
            flattened++;
            flattenedFiles.push_back(rel);
        } else {
            matched++;
        }
    }
    auto list = [](const char* title, const std::vector<std::string>& names) {
        std::cout << "  " << title << ":";
        for (const std::string& n : names) std::cout << " " << n;
        std::cout << "\n";
    };
    std::cout << "[ " << suite << " ] same pixels as the reference: " << matched
              << ", flattened onto background: " << flattened << ", rejected: " << rejected
              << ", without Pillow reference: " << unreferenced << "\n";
    list("flattened", flattenedFiles);
    list("composited in linear light (gAMA/sRGB)", gammaRounded);
    list("libpng differs from Pillow", disputed);
    EXPECT_LE(disputed.size(), 2u);
}

}  // namespace

TEST(PngCorpus, PngSuite)
{
    CheckSuite("pngsuite");
}

TEST(PngCorpus, PngExtra)
{
    CheckSuite("png-extra");
}
