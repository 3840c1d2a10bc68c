// C++ benchmarks of the image library against the floor of plain library
// calls on the same bytes: libpng and libjpeg decodes into rows, giflib's
// whole-file decode, and a single copy of the pixel bytes.
//
// Inputs come from the directory named by BENCH_INPUTS (see gen_inputs.cpp).
// A benchmark whose codec or operation is missing from this build reports
// itself skipped with a message beginning "not available".
//
// A second mode serves the comparison with Pillow, which runs in another
// process: "codec_bench --resample-once RAW W H NEWW NEWH" builds the picture
// from the raw RGB file, resamples it once with mode 0 and once with mode 2
// and prints the CPU seconds of each as "mode0 S mode2 S".
#include <benchmark/benchmark.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <malloc.h>

#include <jpeglib.h>
#include <png.h>
#ifdef VISTEL_BENCH_GIFLIB
#include <gif_lib.h>
#endif

#include "Quantize.h"
#include "Vistel.h"
#include "Formats.h"
#include "GifComposer.h"
#include "GifFile.h"

namespace {

using Bytes = std::vector<BYTE>;

std::string InputPath(const std::string& name)
{
    const char* dir = getenv("BENCH_INPUTS");
    return std::string(dir ? dir : ".") + "/" + name;
}

// Whole files, read once per process.
const Bytes* Input(const std::string& name)
{
    static std::map<std::string, Bytes> cache;
    auto it = cache.find(name);
    if (it != cache.end()) return it->second.empty() ? nullptr : &it->second;
    Bytes data;
    if (FILE* f = fopen(InputPath(name).c_str(), "rb")) {
        BYTE buf[1 << 16];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
        fclose(f);
    }
    Bytes& slot = cache[name] = std::move(data);
    return slot.empty() ? nullptr : &slot;
}

struct Size {
    long w = 0, h = 0;
};

// Picture sizes, from sizes.txt next to the inputs ("big W H", "small W H").
Size PictureSize(const std::string& which)
{
    Size s;
    if (FILE* f = fopen(InputPath("sizes.txt").c_str(), "r")) {
        char name[32];
        long w, h;
        while (fscanf(f, "%31s %ld %ld", name, &w, &h) == 3)
            if (which == name) s = {w, h};
        fclose(f);
    }
    return s;
}

// A 24-bit image (with an alpha plane for channels 4) built from a raw file,
// kept for the life of the process; null when the raw file is missing.
Vistel* RawImage(const std::string& which, int channels)
{
    static std::map<std::string, std::unique_ptr<Vistel>> cache;
    std::string key = which + (channels == 4 ? ".rgba" : ".rgb");
    auto it = cache.find(key);
    if (it != cache.end()) return it->second.get();
    std::unique_ptr<Vistel> img;
    const Bytes* raw = Input(key);
    Size s = PictureSize(which);
    if (raw && raw->size() == (size_t)(s.w * s.h * channels)) {
        Bytes bgr(*raw);
        for (size_t i = 0; i + 2 < bgr.size(); i += (size_t)channels) std::swap(bgr[i], bgr[i + 2]);
        img = std::make_unique<Vistel>();
        if (!img->CreateFromArray(bgr.data(), s.w, s.h, channels * 8, s.w * channels, true))
            img.reset();
    }
    return (cache[key] = std::move(img)).get();
}

bool NeedInput(benchmark::State& state, const Bytes* data, const std::string& name)
{
    if (data) return true;
    state.SkipWithError(("input missing: " + name).c_str());
    return false;
}

void NotAvailable(benchmark::State& state, const std::string& what)
{
    state.SkipWithError(("not available: " + what).c_str());
}

// ---------------------------------------------------------------- decoding

void BM_DecodeVistel(benchmark::State& state, std::string file, DWORD type)
{
    const Bytes* data = Input(file);
    if (!NeedInput(state, data, file)) return;
    {
        Vistel probe;
        if (!formats::Decode(probe, const_cast<BYTE*>(data->data()), (DWORD)data->size(), type))
            return NotAvailable(state, probe.GetLastError());
    }
    for (auto _ : state) {
        Vistel img;
        formats::Decode(img, const_cast<BYTE*>(data->data()), (DWORD)data->size(), type);
        benchmark::DoNotOptimize(img.GetBits());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data->size());
}

// Every frame of an animated GIF, as the animation engine makes them: the
// file read once, each frame composed in turn.
void BM_DecodeVistelAllFrames(benchmark::State& state, std::string file)
{
    const Bytes* data = Input(file);
    if (!NeedInput(state, data, file)) return;
    size_t frames = 0;
    for (auto _ : state) {
        VsMemFile in(const_cast<BYTE*>(data->data()), (DWORD)data->size());
        GifFile gif;
        std::string error;
        if (!gif.Read(&in, GifFile::kPixels, vssize::MaxPixels(), &error))
            return NotAvailable(state, error.c_str());
        GifComposer composer(gif);
        for (size_t n = 0; n < gif.frames.size(); n++) composer.ComposeTo(n);
        benchmark::DoNotOptimize(composer.Rgba());
        frames = gif.frames.size();
    }
    state.counters["frames"] = (double)frames;
}

struct PngSource {
    const Bytes* data;
    size_t pos;
};

void PngRead(png_structp png, png_bytep out, png_size_t n)
{
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > src->data->size() - src->pos) png_error(png, "read past the end");
    memcpy(out, src->data->data() + src->pos, n);
    src->pos += n;
}

// Plain libpng: the file's own rows (RGB or RGBA, 8 bits) into one buffer.
bool PlainPngDecode(const Bytes& data, Bytes& pixels)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    PngSource src{&data, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &src, PngRead);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    const size_t stride = png_get_rowbytes(png, info);
    pixels.resize(stride * h);
    rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = pixels.data() + stride * y;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return w > 0;
}

struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

void JpegFail(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

// Plain libjpeg: RGB rows, the library's default decoding settings.
bool PlainJpegDecode(const Bytes& data, Bytes& pixels)
{
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegFail;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, const_cast<BYTE*>(data.data()), (unsigned long)data.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const size_t stride = (size_t)cinfo.output_width * cinfo.output_components;
    pixels.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

template <bool (*Decode)(const Bytes&, Bytes&)>
void BM_DecodePlain(benchmark::State& state, std::string file)
{
    const Bytes* data = Input(file);
    if (!NeedInput(state, data, file)) return;
    for (auto _ : state) {
        Bytes pixels;  // a fresh buffer each time, as a decoder must allocate
        if (!Decode(*data, pixels)) return state.SkipWithError("plain decode failed");
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data->size());
}

#ifdef VISTEL_BENCH_GIFLIB
struct GifSource {
    const Bytes* data;
    size_t pos;
};

int GifRead(GifFileType* gif, GifByteType* out, int n)
{
    auto* src = static_cast<GifSource*>(gif->UserData);
    size_t take = std::min((size_t)n, src->data->size() - src->pos);
    memcpy(out, src->data->data() + src->pos, take);
    src->pos += take;
    return (int)take;
}

// giflib's full-file decode: every frame's indices, extensions included.
void BM_DecodeGiflib(benchmark::State& state, std::string file)
{
    const Bytes* data = Input(file);
    if (!NeedInput(state, data, file)) return;
    for (auto _ : state) {
        GifSource src{data, 0};
        int error = 0;
        GifFileType* gif = DGifOpen(&src, GifRead, &error);
        if (!gif) return state.SkipWithError("DGifOpen failed");
        bool ok = DGifSlurp(gif) == GIF_OK;
        benchmark::DoNotOptimize(gif->SavedImages);
        DGifCloseFile(gif, &error);
        if (!ok) return state.SkipWithError("DGifSlurp failed");
    }
}
#else
void BM_DecodeGiflib(benchmark::State& state, std::string)
{
    NotAvailable(state, "giflib was not found when the benchmarks were configured");
}
#endif

// The floor of the uncompressed formats: one copy of `bytes` bytes into a
// newly allocated buffer.
void BM_Copy(benchmark::State& state, std::string file, int channels, std::string which)
{
    const Bytes* data = Input(file);
    if (!NeedInput(state, data, file)) return;
    Size s = PictureSize(which);
    const size_t bytes = std::min(data->size(), (size_t)(s.w * s.h * channels));
    for (auto _ : state) {
        std::unique_ptr<BYTE[]> dst(new BYTE[bytes]);
        memcpy(dst.get(), data->data() + (data->size() - bytes), bytes);
        benchmark::DoNotOptimize(dst.get());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)bytes);
}

// ---------------------------------------------------------------- encoding

void BM_Encode(benchmark::State& state, std::string which, int channels, DWORD type, int variant)
{
    Vistel* src = RawImage(which, channels);
    if (!src) return state.SkipWithError("input missing");
    Vistel img(*src);
    img.SetJpegQuality(90);
    if (variant == 1) img.SetCodecOption(0x10, VISTEL_FORMAT_JPG);  // progressive
    const char* error = nullptr;
    if (variant == 2 && !vsquant::ReduceImage(img, &error)) return NotAvailable(state, error);
    {
        BYTE* data = nullptr;
        long size = 0;
        if (!formats::Encode(img, data, size, type)) return NotAvailable(state, img.GetLastError());
        Vistel::FreeMemory(data);
    }
    for (auto _ : state) {
        BYTE* data = nullptr;
        long size = 0;
        formats::Encode(img, data, size, type);
        Vistel::FreeMemory(data);
    }
}

void BM_Encode2RGBA(benchmark::State& state, std::string which, int channels)
{
    Vistel* src = RawImage(which, channels);
    if (!src) return state.SkipWithError("input missing");
    for (auto _ : state) {
        BYTE* data = nullptr;
        long size = 0;
        if (!src->Encode2RGBA(data, size)) return NotAvailable(state, src->GetLastError());
        Vistel::FreeMemory(data);
    }
}

// --------------------------------------------------------------- transforms

// Resample2 and RotateRight are reached through templates, so that this
// file builds before they exist and measures them once they do.
template <class T>
auto CallResample2(T& img, long w, long h, bool bicubic, T* dst, int)
    -> decltype(img.Resample2(w, h, T::IM_BICUBIC, T::OM_REPEAT, dst, false), std::optional<bool>())
{
    return img.Resample2(w, h, bicubic ? T::IM_BICUBIC : T::IM_BILINEAR, T::OM_REPEAT, dst, false);
}

template <class T>
std::optional<bool> CallResample2(T&, long, long, bool, T*, long)
{
    return std::nullopt;
}

template <class T>
auto CallRotateRight(T& img, T* dst, int) -> decltype(img.RotateRight(dst), std::optional<bool>())
{
    return img.RotateRight(dst);
}

template <class T>
std::optional<bool> CallRotateRight(T&, T*, long)
{
    return std::nullopt;
}

// "shrink": the size named in sizes.txt (800 x 600 for the full pictures);
// "2x": twice the picture's size.
Size TargetSize(const std::string& which, const std::string& to)
{
    if (to == "shrink") return PictureSize("shrink");
    Size s = PictureSize(which);
    return {s.w * 2, s.h * 2};
}

void BM_Resample(benchmark::State& state, std::string which, int mode, std::string to)
{
    Vistel* src = RawImage(which, 3);
    if (!src) return state.SkipWithError("input missing");
    Size t = TargetSize(which, to);
    for (auto _ : state) {
        Vistel dst;
        if (!src->Resample(t.w, t.h, mode, &dst)) return NotAvailable(state, src->GetLastError());
    }
}

void BM_Resample2(benchmark::State& state, std::string which, bool bicubic, std::string to)
{
    Vistel* src = RawImage(which, 3);
    if (!src) return state.SkipWithError("input missing");
    Size t = TargetSize(which, to);
    for (auto _ : state) {
        Vistel dst;
        std::optional<bool> ok = CallResample2(*src, t.w, t.h, bicubic, &dst, 0);
        if (!ok) return NotAvailable(state, "Resample2 is not in this build");
        if (!*ok) return NotAvailable(state, src->GetLastError());
    }
}

void BM_DecreaseBpp(benchmark::State& state, std::string which)
{
    Vistel* src = RawImage(which, 3);
    if (!src) return state.SkipWithError("input missing");
    for (auto _ : state) {
        state.PauseTiming();
        Vistel img(*src);
        state.ResumeTiming();
        if (!img.DecreaseBpp(8, true)) return NotAvailable(state, img.GetLastError());
    }
}

void BM_Reduce(benchmark::State& state, std::string which)
{
    Vistel* src = RawImage(which, 3);
    if (!src) return state.SkipWithError("input missing");
    for (auto _ : state) {
        state.PauseTiming();
        Vistel img(*src);
        state.ResumeTiming();
        const char* error = nullptr;
        if (!vsquant::ReduceImage(img, &error)) return NotAvailable(state, error);
    }
}

void BM_RotateRight(benchmark::State& state, std::string which)
{
    Vistel* src = RawImage(which, 3);
    if (!src) return state.SkipWithError("input missing");
    for (auto _ : state) {
        Vistel dst;
        std::optional<bool> ok = CallRotateRight(*src, &dst, 0);
        if (!ok) return NotAvailable(state, "RotateRight is not in this build");
        if (!*ok) return NotAvailable(state, src->GetLastError());
    }
}

// ------------------------------------------------------------- registration

void Register()
{
    using benchmark::RegisterBenchmark;
    auto reg = [](const std::string& name, auto fn, auto... args) {
        RegisterBenchmark(name.c_str(), fn, args...)->Unit(benchmark::kMillisecond);
    };

    struct Pair {
        const char* name;
        const char* file;
        DWORD type;
    };
    const Pair pngs[] = {{"png_rgb", "big_rgb.png", VISTEL_FORMAT_PNG},
                         {"png_rgba", "big_rgba.png", VISTEL_FORMAT_PNG}};
    for (const Pair& p : pngs) {
        reg(std::string("decode/") + p.name + "/vistel", BM_DecodeVistel, std::string(p.file), p.type);
        reg(std::string("decode/") + p.name + "/libpng", BM_DecodePlain<PlainPngDecode>, std::string(p.file));
    }
    const Pair jpegs[] = {{"jpeg_base", "big_base.jpg", VISTEL_FORMAT_JPG},
                          {"jpeg_prog", "big_prog.jpg", VISTEL_FORMAT_JPG}};
    for (const Pair& p : jpegs) {
        reg(std::string("decode/") + p.name + "/vistel", BM_DecodeVistel, std::string(p.file), p.type);
        reg(std::string("decode/") + p.name + "/libjpeg", BM_DecodePlain<PlainJpegDecode>, std::string(p.file));
    }
    struct Raw {
        const char* name;
        const char* file;
        DWORD type;
        int channels;
    };
    const Raw raws[] = {{"bmp24", "big_24.bmp", VISTEL_FORMAT_BMP, 3},
                        {"bmp32", "big_32.bmp", VISTEL_FORMAT_BMP, 4},
                        {"tga_raw", "big_raw.tga", VISTEL_FORMAT_TGA, 3},
                        {"tga_rle", "big_rle.tga", VISTEL_FORMAT_TGA, 3}};
    for (const Raw& r : raws) {
        reg(std::string("decode/") + r.name + "/vistel", BM_DecodeVistel, std::string(r.file), r.type);
        reg(std::string("decode/") + r.name + "/memcpy", BM_Copy, std::string(r.file), r.channels,
            std::string("big"));
    }
    reg("decode/gif256/vistel", BM_DecodeVistel, std::string("big_256.gif"), (DWORD)VISTEL_FORMAT_GIF);
    reg("decode/gif256/giflib", BM_DecodeGiflib, std::string("big_256.gif"));
    reg("decode/anim_gif/vistel", BM_DecodeVistelAllFrames, std::string("anim.gif"));
    reg("decode/anim_gif/giflib", BM_DecodeGiflib, std::string("anim.gif"));

    reg("encode/png_rgb", BM_Encode, std::string("small"), 3, (DWORD)VISTEL_FORMAT_PNG, 0);
    reg("encode/png_rgba", BM_Encode, std::string("small"), 4, (DWORD)VISTEL_FORMAT_PNG, 0);
    reg("encode/jpeg_base", BM_Encode, std::string("small"), 3, (DWORD)VISTEL_FORMAT_JPG, 0);
    reg("encode/jpeg_prog", BM_Encode, std::string("small"), 3, (DWORD)VISTEL_FORMAT_JPG, 1);
    reg("encode/bmp24", BM_Encode, std::string("small"), 3, (DWORD)VISTEL_FORMAT_BMP, 0);
    reg("encode/tga24", BM_Encode, std::string("small"), 3, (DWORD)VISTEL_FORMAT_TGA, 0);
    reg("encode/tga32", BM_Encode, std::string("small"), 4, (DWORD)VISTEL_FORMAT_TGA, 0);
    reg("encode/gif256", BM_Encode, std::string("small"), 3, (DWORD)VISTEL_FORMAT_GIF, 2);

    reg("encode2rgba/rgb", BM_Encode2RGBA, std::string("big"), 3);
    reg("encode2rgba/rgba", BM_Encode2RGBA, std::string("big"), 4);

    for (int mode = 0; mode <= 2; ++mode) {
        reg("resample/mode" + std::to_string(mode) + "/shrink", BM_Resample, std::string("big"), mode,
            std::string("shrink"));
        reg("resample/mode" + std::to_string(mode) + "/2x", BM_Resample, std::string("small"), mode,
            std::string("2x"));
    }
    for (bool bicubic : {false, true}) {
        std::string m = bicubic ? "bicubic" : "bilinear";
        reg("resample2/" + m + "/shrink", BM_Resample2, std::string("big"), bicubic, std::string("shrink"));
        reg("resample2/" + m + "/2x", BM_Resample2, std::string("small"), bicubic, std::string("2x"));
    }
    reg("decreasebpp/8_diffusion", BM_DecreaseBpp, std::string("small"));
    reg("reduce/photo", BM_Reduce, std::string("small"));
    reg("rotateright", BM_RotateRight, std::string("big"));
}

double CpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

// The Vistel half of one round of the Pillow comparison.
int ResampleOnce(int argc, char** argv)
{
    if (argc != 7) {
        fprintf(stderr, "usage: codec_bench --resample-once RAW W H NEWW NEWH\n");
        return 2;
    }
    const long w = atol(argv[3]), h = atol(argv[4]), nw = atol(argv[5]), nh = atol(argv[6]);
    Bytes raw;
    if (FILE* f = fopen(argv[2], "rb")) {
        raw.resize((size_t)(w * h * 3));
        raw.resize(fread(raw.data(), 1, raw.size(), f));
        fclose(f);
    }
    if (w <= 0 || h <= 0 || raw.size() != (size_t)(w * h * 3)) {
        fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    for (size_t i = 0; i + 2 < raw.size(); i += 3) std::swap(raw[i], raw[i + 2]);
    Vistel src;
    if (!src.CreateFromArray(raw.data(), w, h, 24, w * 3, true)) return 1;
    double seconds[2];
    const int modes[2] = {0, 2};
    for (int i = 0; i < 2; ++i) {
        Vistel dst;
        double t0 = CpuSeconds();
        bool ok = src.Resample(nw, nh, modes[i], &dst);
        seconds[i] = CpuSeconds() - t0;
        if (!ok) {
            fprintf(stderr, "Resample mode %d: %s\n", modes[i], src.GetLastError());
            return 1;
        }
    }
    printf("mode0 %.6f mode2 %.6f\n", seconds[0], seconds[1]);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && strcmp(argv[1], "--resample-once") == 0) return ResampleOnce(argc, argv);
    // Every large buffer comes from the heap and stays mapped once freed, so
    // that all cases alike are measured without the kernel's page faulting,
    // whose cost swings widely on a shared machine.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
