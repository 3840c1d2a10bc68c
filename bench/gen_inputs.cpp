// Writes the benchmark inputs into a scratch directory: raw pixel files
// (the source of every other input and of the resampling benchmarks), and
// each encoded file made with this library's own encoder where it can make
// it. What it cannot make is listed in pending.txt, one line per file:
//   <file> <kind> <raw file> <width> <height> <channels> [<frames> <delay>]
// for bench/pillow_inputs.py to write from the same raw pixels.
//
//   bench_inputs DIR BIG_W BIG_H SMALL_W SMALL_H ANIM_W ANIM_H ANIM_FRAMES
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Vistel.h"
#include "Formats.h"
#include "VistelGIF.h"
#include "picture.h"

namespace {

constexpr DWORD kJpegProgressive = 0x10;  // JPEG codec option: progressive scans
constexpr DWORD kAnimDelay = 4;           // hundredths of a second: 25 frames/s
constexpr int kPhotoSide = 512;           // the GIF writer's smallest photo-like picture

std::string dir;
FILE* pending = nullptr;

bool WriteFile(const std::string& name, const void* data, size_t size)
{
    FILE* f = fopen((dir + "/" + name).c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

std::unique_ptr<Vistel> ToImage(const bench::Picture& pic)
{
    std::vector<uint8_t> bgr = bench::ToBGR(pic);
    auto img = std::make_unique<Vistel>();
    if (!img->CreateFromArray(bgr.data(), pic.width, pic.height, pic.channels * 8,
                              pic.width * pic.channels, true))
        return nullptr;
    return img;
}

// The byte at `offset` of an encoded file, or -1: lets the generator check
// that an encoder wrote the depth that was asked for.
int ByteAt(const BYTE* data, long size, long offset)
{
    return offset < size ? data[offset] : -1;
}

bool Expected(const std::string& kind, const BYTE* data, long size)
{
    if (kind == "bmp24") return ByteAt(data, size, 28) == 24;
    if (kind == "bmp32") return ByteAt(data, size, 28) == 32;
    if (kind == "tga24") return ByteAt(data, size, 2) == 2 && ByteAt(data, size, 16) == 24;
    if (kind == "tga24rle") return ByteAt(data, size, 2) == 10 && ByteAt(data, size, 16) == 24;
    return size > 0;
}

// Encodes `img` as `type`; true when the file was written and is what
// `kind` asks for.
bool EncodeOurs(Vistel& img, DWORD type, const std::string& kind, const std::string& name)
{
    BYTE* data = nullptr;
    long size = 0;
    if (!formats::Encode(img, data, size, type)) return false;
    bool ok = Expected(kind, data, size) && WriteFile(name, data, (size_t)size);
    Vistel::FreeMemory(data);
    return ok;
}

void Pending(const std::string& name, const std::string& kind, const std::string& raw,
             int w, int h, int ch, const std::string& extra = "")
{
    fprintf(pending, "%s %s %s %d %d %d%s\n", name.c_str(), kind.c_str(), raw.c_str(), w, h,
            ch, extra.c_str());
}

struct Target {
    const char* suffix;
    const char* kind;
    DWORD type;
    int channels;
};

// One picture size: raw RGB and RGBA files and every still input.
void MakeStills(const std::string& prefix, int w, int h)
{
    bench::Picture rgb = bench::MakePicture(w, h, 3, 1);
    bench::Picture rgba = bench::MakePicture(w, h, 4, 1);
    WriteFile(prefix + ".rgb", rgb.pixels.data(), rgb.pixels.size());
    WriteFile(prefix + ".rgba", rgba.pixels.data(), rgba.pixels.size());
    std::unique_ptr<Vistel> imgRGB = ToImage(rgb), imgRGBA = ToImage(rgba);

    const Target targets[] = {
        {"_rgb.png", "png", VISTEL_FORMAT_PNG, 3},
        {"_rgba.png", "png", VISTEL_FORMAT_PNG, 4},
        {"_base.jpg", "jpeg90", VISTEL_FORMAT_JPG, 3},
        {"_prog.jpg", "jpeg90prog", VISTEL_FORMAT_JPG, 3},
        {"_24.bmp", "bmp24", VISTEL_FORMAT_BMP, 3},
        {"_32.bmp", "bmp32", VISTEL_FORMAT_BMP, 4},
        {"_raw.tga", "tga24", VISTEL_FORMAT_TGA, 3},
        {"_rle.tga", "tga24rle", VISTEL_FORMAT_TGA, 3},
    };
    for (const Target& t : targets) {
        std::string name = prefix + t.suffix;
        Vistel* src = t.channels == 4 ? imgRGBA.get() : imgRGB.get();
        bool made = false;
        if (src) {
            Vistel img(*src);
            img.SetJpegQuality(90);
            if (std::string(t.kind) == "jpeg90prog")
                img.SetCodecOption(kJpegProgressive, VISTEL_FORMAT_JPG);
            made = EncodeOurs(img, t.type, t.kind, name);
        }
        if (!made) Pending(name, t.kind, prefix + (t.channels == 4 ? ".rgba" : ".rgb"), w, h, t.channels);
    }

    bool gifMade = false;
    if (imgRGB) {
        Vistel img(*imgRGB);
        gifMade = img.DecreaseBpp(8, true) && EncodeOurs(img, VISTEL_FORMAT_GIF, "gif256", prefix + "_256.gif");
    }
    if (!gifMade) Pending(prefix + "_256.gif", "gif256", prefix + ".rgb", w, h, 3);
}

// Writes the frames as one GIF: with a local table per frame, or sharing
// the first frame's table.
bool WriteAnimation(std::vector<std::unique_ptr<Vistel>>& images, bool localTables,
                    const std::string& name)
{
    std::vector<Vistel*> pages;
    for (auto& img : images) pages.push_back(img.get());
    VsMemFile out;
    out.Open();
    VistelGIF gif;
    if (!gif.Encode(&out, pages.data(), (int)pages.size(), localTables) || out.Size() <= 0)
        return false;
    long size = out.Size();
    BYTE* data = out.GetBuffer(true);
    const bool made = WriteFile(name, data, (size_t)size);
    free(data);
    return made;
}

// Two animations of the same frames: "anim.gif" with a table of its own in
// every frame, and "anim_td.gif" with one table, a transparent index and
// disposal 2 (each frame's rectangle cleared after it was shown), a band of
// every frame left transparent.
void MakeAnimation(int w, int h, int frames)
{
    std::vector<uint8_t> all;
    std::vector<std::unique_ptr<Vistel>> images, shared;
    bool convertible = true;
    for (int i = 0; i < frames; ++i) {
        bench::Picture pic = bench::MakeFrame(w, h, i);
        all.insert(all.end(), pic.pixels.begin(), pic.pixels.end());
        std::unique_ptr<Vistel> img = ToImage(pic);
        std::unique_ptr<Vistel> fixed = ToImage(pic);
        convertible = convertible && img && img->DecreaseBpp(8, true) && fixed &&
                      fixed->DecreaseBpp(8, false, nullptr, 0);
        if (!convertible) break;
        img->SetFrameDelay(kAnimDelay);
        fixed->SetFrameDelay(kAnimDelay);
        fixed->SetDisposalMethod(2);
        fixed->SetTransIndex(0);
        const long band = (long)(i * 7) % std::max(1, h - 40);
        for (long y = band; y < band + 40 && y < h; ++y)
            for (long x = 16; x < w; ++x) fixed->SetPixelIndex(x, h - 1 - y, 0);
        images.push_back(std::move(img));
        shared.push_back(std::move(fixed));
    }
    WriteFile("anim.rgb", all.data(), all.size());
    if (!convertible || !WriteAnimation(images, true, "anim.gif"))
        Pending("anim.gif", "animgif", "anim.rgb", w, h, 3,
                " " + std::to_string(frames) + " " + std::to_string(kAnimDelay));
    if (convertible) WriteAnimation(shared, false, "anim_td.gif");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 9) {
        fprintf(stderr, "usage: bench_inputs DIR BIG_W BIG_H SMALL_W SMALL_H ANIM_W ANIM_H ANIM_FRAMES\n");
        return 2;
    }
    dir = argv[1];
    int v[7];
    for (int i = 0; i < 7; ++i) v[i] = atoi(argv[i + 2]);
    pending = fopen((dir + "/pending.txt").c_str(), "w");
    if (!pending) {
        perror("pending.txt");
        return 1;
    }
    FILE* sizes = fopen((dir + "/sizes.txt").c_str(), "w");
    if (!sizes) {
        perror("sizes.txt");
        return 1;
    }
    // Resampling shrinks the big picture to a fifth: 4000 x 3000 to 800 x 600.
    // The GIF writer also reduces a photo-like picture of the size the
    // comparison with Pillow names.
    fprintf(sizes, "big %d %d\nsmall %d %d\nanim %d %d\nshrink %d %d\nphoto %d %d\n", v[0],
            v[1], v[2], v[3], v[4], v[5], v[0] / 5, v[1] / 5, kPhotoSide, kPhotoSide);
    fclose(sizes);
    bench::Picture photo = bench::MakePicture(kPhotoSide, kPhotoSide, 3, 2);
    WriteFile("photo.rgb", photo.pixels.data(), photo.pixels.size());
    MakeStills("big", v[0], v[1]);
    MakeStills("small", v[2], v[3]);
    MakeAnimation(v[4], v[5], v[6]);
    return fclose(pending) == 0 ? 0 : 1;
}
