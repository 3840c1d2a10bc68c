// PNG decoding against the public corpora (pngsuite, png-extra).
//
// The reference for each valid file is built twice: Pillow's RGBA hash from
// the corpus, and a plain libpng decode to 8-bit RGBA made here (expand,
// tRNS to alpha, high byte of 16-bit samples, grey to RGB) that must hash
// the same. Our decode must give the plain decode's pixels exactly: alpha,
// tRNS and bKGD as the file has them, nothing composited.
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
    png_get_IHDR(png, info, &out->width, &out->height, nullptr, nullptr, nullptr, nullptr,
                 nullptr);
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

    int matched = 0, rejected = 0, unreferenced = 0;
    std::vector<std::string> disputed;
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
        ASSERT_EQ(img.GetWidth(), plain.width);
        ASSERT_EQ(img.GetHeight(), plain.height);
        std::vector<BYTE> shown = corpus::OpaqueRgba(img);
        EXPECT_TRUE(shown == plain.rgba) << FirstDifference(shown, plain.rgba);
        matched++;
    }
    std::cout << "[ " << suite << " ] same pixels as the reference: " << matched
              << ", rejected: " << rejected << ", without Pillow reference: " << unreferenced
              << "\n  libpng differs from Pillow:";
    for (const std::string& n : disputed) std::cout << " " << n;
    std::cout << "\n";
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
