// The JPEG codec against the shared JPEG corpus: pixels against the
// reference hashes (exact for everything libjpeg-turbo converts to RGB; CMYK
// within 1 per channel of the reference's own conversion), the policy for
// truncated and unsupported files, and EXIF fields checked by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "VistelJPG.h"
#include "corpus.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// The reference's CMYK conversion, rebuilt from libjpeg's raw samples:
// Adobe files hold inverted CMYK; channel = (255 - K) - (255 - K) * C / 255
// with the reference library's rounded division.
bool PillowCmyk(const Bytes& file, Bytes* rgba)
{
    jpeg_decompress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, file.data(), file.size());
    jpeg_read_header(&c, TRUE);
    if (c.num_components != 4) {
        jpeg_destroy_decompress(&c);
        return false;
    }
    c.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&c);
    const bool inverted = c.saw_Adobe_marker;
    std::vector<JSAMPLE> row(c.output_width * 4);
    auto muldiv255 = [](int a, int b) {
        int t = a * b + 128;
        return ((t >> 8) + t) >> 8;
    };
    rgba->clear();
    while (c.output_scanline < c.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&c, &r, 1);
        for (JDIMENSION x = 0; x < c.output_width; x++) {
            int v[4];
            for (int i = 0; i < 4; i++) v[i] = inverted ? 255 - row[4 * x + i] : row[4 * x + i];
            int nk = 255 - v[3];
            for (int i = 0; i < 3; i++) rgba->push_back((uint8_t)(nk - muldiv255(v[i], nk)));
            rgba->push_back(255);
        }
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return true;
}

int MaxDiff(const Bytes& a, const Bytes& b)
{
    if (a.size() != b.size()) return 256;
    int m = 0;
    for (size_t i = 0; i < a.size(); i++) m = std::max(m, std::abs(a[i] - b[i]));
    return m;
}

bool DecodeFile(const Bytes& data, VistelJPG* img)
{
    Bytes copy = data;
    VsMemFile in(copy.data(), (DWORD)copy.size());
    return img->Decode(&in);
}

std::string SuitePath(const std::string& rel)
{
    return corpus::Root() + "/jpeg/" + rel;
}

}  // namespace

TEST(JpegCorpus, PixelsMatchReferences)
{
    if (corpus::Root().empty()) GTEST_SKIP() << "test corpus absent";
    std::vector<std::string> files = corpus::Files("jpeg", {".jpg", ".jpeg"});
    int exact = 0, cmyk = 0, checked = 0;
    for (const std::string& rel : files) {
        if (corpus::Status("jpeg", rel) != "ok") continue;
        std::vector<corpus::RefFrame> ref;
        if (!corpus::ReadRef("jpeg", rel, &ref) || ref.size() != 1) continue;
        Bytes data;
        ASSERT_TRUE(corpus::ReadFile(SuitePath(rel), &data));
        checked++;

        VistelJPG img;
        ASSERT_TRUE(DecodeFile(data, &img)) << rel << ": " << img.GetLastError();
        ASSERT_EQ((int)img.GetWidth(), ref[0].width) << rel;
        ASSERT_EQ((int)img.GetHeight(), ref[0].height) << rel;
        basic_image_information bi = {};
        EXPECT_TRUE(VistelJPG::CheckFormat(data.data(), (DWORD)data.size(), &bi)) << rel;
        EXPECT_EQ(bi.width, ref[0].width) << rel;

        Bytes rgba = corpus::OpaqueRgba(img);
        if (corpus::Sha256Hex(rgba.data(), rgba.size()) == ref[0].sha256) {
            exact++;
            continue;
        }
        Bytes expect;
        ASSERT_TRUE(PillowCmyk(data, &expect)) << rel << ": differs and is not CMYK";
        ASSERT_EQ(corpus::Sha256Hex(expect.data(), expect.size()), ref[0].sha256) << rel;
        EXPECT_LE(MaxDiff(rgba, expect), 1) << rel;
        cmyk++;
    }
    EXPECT_GT(checked, 100);
    printf("[ corpus ] %d JPEGs: %d exact, %d CMYK within 1\n", checked, exact, cmyk);
}

// Files the reference rejects: cut entropy data decodes in full size (libjpeg
// fills the rest after its "Premature end of JPEG file" warning) unless it is
// too short to code every block (ultrahdr.jpg ends where its scan starts),
// 12-bit data fails with libjpeg's message, a broken EXIF block does not stop
// the pixels.
TEST(JpegCorpus, RejectedByReference)
{
    if (corpus::Root().empty()) GTEST_SKIP() << "test corpus absent";
    struct Case {
        const char* rel;
        bool decodes;
    } cases[] = {{"pillow/truncated_jpeg.jpg", true},
                 {"pillow/ultrahdr.jpg", false},
                 {"pillow/truncated_exif_dpi.jpg", true},
                 {"libjpeg-turbo/monkey12.jpg", false}};
    for (const Case& c : cases) {
        Bytes data;
        if (!corpus::ReadFile(SuitePath(c.rel), &data)) continue;
        VistelJPG img;
        EXPECT_EQ(DecodeFile(data, &img), c.decodes) << c.rel << ": " << img.GetLastError();
        if (!c.decodes) {
            EXPECT_NE(std::string(img.GetLastError()), "") << c.rel;
        }
    }
}

TEST(JpegCorpus, CutFilesNeverOverrun)
{
    if (corpus::Root().empty()) GTEST_SKIP() << "test corpus absent";
    const char* files[] = {"exif-samples/Canon_40D.jpg", "pillow/pil_sample_cmyk.jpg",
                           "image-rs/progressive/3.jpg", "pillow/hopper_gray.jpg"};
    for (const char* rel : files) {
        Bytes data;
        if (!corpus::ReadFile(SuitePath(rel), &data)) continue;
        for (int part = 1; part < 8; part++) {
            Bytes cut(data.begin(), data.begin() + (long)(data.size() * part / 8));
            VistelJPG img;
            if (DecodeFile(cut, &img)) {
                EXPECT_TRUE(img.IsValid()) << rel << " cut " << part;
            } else {
                EXPECT_NE(std::string(img.GetLastError()), "") << rel << " cut " << part;
            }
        }
    }
}

// Expected values read from the files' bytes by hand; the picture's are
// IFD0's, whatever the thumbnail's directory (IFD1) says.
TEST(JpegCorpus, CameraExifFields)
{
    if (corpus::Root().empty()) GTEST_SKIP() << "test corpus absent";
    struct Case {
        const char* rel;
        const char* make;
        const char* model;
        const char* date;
        float exposure, fnumber, focal;
        int iso, orientation;
        long dpi;
        DWORD thumb;
    } cases[] = {
        {"exif-samples/Canon_40D.jpg", "Canon", "Canon EOS 40D", "2008:05:30 15:56:01", 0.00625f,
         7.1f, 135, 100, 1, 72, 1378},
        {"exif-samples/Nikon_D70.jpg", "NIKON CORPORATION", "NIKON D70", "2008:03:15 09:52:01",
         0.005f, 9, 100, 200, 1, 240, 1700},  // IFD1 says 72 dpi
        {"exif-samples/Fujifilm_FinePix_E500.jpg", "FUJIFILM", "FinePix E500   ",
         "2006:08:17 09:24:48", 0.0125f, 2.9f, 4.7f, 100, 1, 96, 0},  // big-endian
        {"exif-samples/Panasonic_DMC-FZ30.jpg", "Panasonic", "DMC-FZ30", "2008:07:16 11:33:20",
         1 / 30.0f, 3.2f, 14.1f, 100, 1, 72, 1607},  // IFD1 orientation 8
    };
    for (const Case& c : cases) {
        Bytes data;
        if (!corpus::ReadFile(SuitePath(c.rel), &data)) continue;
        VistelJPG img;
        ASSERT_TRUE(DecodeFile(data, &img)) << c.rel;
        const tag_ExifInfo& e = img.GetExifInfo();
        EXPECT_TRUE(e.IsExif) << c.rel;
        EXPECT_STREQ(e.CameraMake, c.make) << c.rel;
        EXPECT_STREQ(e.CameraModel, c.model) << c.rel;
        EXPECT_STREQ(e.DateTime, c.date) << c.rel;
        EXPECT_FLOAT_EQ(e.ExposureTime, c.exposure) << c.rel;
        EXPECT_FLOAT_EQ(e.ApertureFNumber, c.fnumber) << c.rel;
        EXPECT_FLOAT_EQ(e.FocalLength, c.focal) << c.rel;
        EXPECT_EQ(e.ISOequivalent, c.iso) << c.rel;
        EXPECT_EQ(e.Orientation, c.orientation) << c.rel;
        EXPECT_EQ(img.GetXDPI(), c.dpi) << c.rel;
        EXPECT_EQ(e.ThumbnailSize, c.thumb) << c.rel;
        if (c.thumb) {
            ASSERT_NE(e.ThumbnailPointer, nullptr);
            EXPECT_EQ(e.ThumbnailPointer[0], 0xFF);  // an embedded JPEG
            EXPECT_EQ(e.ThumbnailPointer[1], 0xD8);
        }
    }
    Bytes data;
    if (corpus::ReadFile(SuitePath("exif-samples/Nikon_D70.jpg"), &data)) {
        VistelJPG img;
        ASSERT_TRUE(DecodeFile(data, &img));
        EXPECT_STREQ(img.GetExifInfo().Comments, "comment in GIMP 2.4.5");
    }
}
