// Every GIF we write, for each compressor, single-frame, multi-frame and
// true-colour tiles, is read back identically by our decoder and by an
// independent one (Debian's Python Pillow, run as /usr/bin/python3):
// pixels, frame count, delays and loop count.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "GifFile.h"
#include "VistelGIF.h"
#include "Formats.h"
#include "corpus.h"

namespace {

const char kPython[] = "/usr/bin/python3";

bool PillowAvailable()
{
    std::string cmd = std::string(kPython) + " -c 'import PIL' >/dev/null 2>&1";
    return system(cmd.c_str()) == 0;
}

// One line per frame from Pillow: index, width, height, sha256 of RGB bytes,
// duration in ms; then "loop N" (-1 when the file has no loop extension).
std::vector<std::string> PillowDescribe(const std::string& path)
{
    const char* script =
        "import sys, hashlib\n"
        "from PIL import Image\n"
        "im = Image.open(sys.argv[1])\n"
        "for i in range(getattr(im, 'n_frames', 1)):\n"
        "    im.seek(i)\n"
        "    rgb = im.convert('RGB')\n"
        "    print(i, rgb.width, rgb.height, hashlib.sha256(rgb.tobytes()).hexdigest(),\n"
        "          im.info.get('duration', 0))\n"
        "print('loop', im.info.get('loop', -1))\n";
    std::string scriptPath = path + ".py";
    std::ofstream(scriptPath) << script;
    std::string cmd = std::string(kPython) + " " + scriptPath + " " + path;
    std::vector<std::string> lines;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return lines;
    char buf[512];
    while (fgets(buf, sizeof(buf), pipe)) {
        std::string line(buf);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        lines.push_back(line);
    }
    pclose(pipe);
    remove(scriptPath.c_str());
    return lines;
}

// The same description from our decoder.
std::vector<std::string> OurDescribe(const std::vector<BYTE>& gif, int loops)
{
    std::vector<std::string> lines;
    VsMemFile in(const_cast<BYTE*>(gif.data()), (DWORD)gif.size());
    GifFile file;
    if (!file.Read(&in, GifFile::kPixels, vssize::MaxPixels(), nullptr)) return lines;
    for (size_t i = 0; i < file.frames.size(); i++) {
        Vistel frame;
        if (!VistelGIF::ComposeFrame(file, i, &frame)) return lines;
        Vistel* f = &frame;
        const long w = f->GetWidth(), h = f->GetHeight();
        std::vector<BYTE> rgb;
        for (long y = h - 1; y >= 0; y--)
            for (long x = 0; x < w; x++) {
                RGBQUAD c = f->GetPixelColor(x, y, false);
                rgb.push_back(c.rgbRed);
                rgb.push_back(c.rgbGreen);
                rgb.push_back(c.rgbBlue);
            }
        std::ostringstream line;
        line << i << " " << w << " " << h << " " << corpus::Sha256Hex(rgb.data(), rgb.size())
             << " " << file.frames[i].delay * 10;
        lines.push_back(line.str());
    }
    lines.push_back("loop " + std::to_string(loops));
    return lines;
}

Vistel Pattern(long w, long h, int seed)
{
    Vistel img(w, h, 8, VISTEL_FORMAT_GIF);
    img.SetStdPalette();
    for (long y = 0; y < h; y++)
        for (long x = 0; x < w; x++)
            img.SetPixelIndex(x, y, (BYTE)(((x / 3 + seed) * (y / 2 + 1) + seed * 31) & 255));
    return img;
}

std::vector<BYTE> ToBytes(VsMemFile& f)
{
    return std::vector<BYTE>(f.GetBuffer(false), f.GetBuffer(false) + f.Size());
}

std::string TempPath(const std::string& name)
{
    const char* tmp = getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/vistel_conf_" +
           std::to_string(getpid()) + "_" + name + ".gif";
}

void ExpectSameDescription(const std::vector<BYTE>& gif, int loops, const std::string& name)
{
    std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary).write((const char*)gif.data(), gif.size());
    std::vector<std::string> theirs = PillowDescribe(path);
    remove(path.c_str());
    EXPECT_EQ(OurDescribe(gif, loops), theirs) << name;
}

}  // namespace

TEST(GifConformance, IndependentDecoderAgreesForEveryCompressor)
{
    if (!PillowAvailable()) GTEST_SKIP() << "Pillow is not installed";
    for (DWORD option : {0u, 1u, 2u}) {
        const std::string tag = "opt" + std::to_string(option);

        Vistel still = Pattern(61, 47, 3);
        still.SetCodecOption(option, VISTEL_FORMAT_GIF);
        still.SetFrameDelay(0);
        BYTE* buf = nullptr;
        long size = 0;
        ASSERT_TRUE(formats::Encode(still, buf, size, VISTEL_FORMAT_GIF));
        ExpectSameDescription(std::vector<BYTE>(buf, buf + size), -1, "still_" + tag);
        Vistel::FreeMemory(buf);

        Vistel a = Pattern(40, 30, 1), b = Pattern(40, 30, 2), c = Pattern(40, 30, 5);
        a.SetFrameDelay(10);
        b.SetFrameDelay(20);
        c.SetFrameDelay(5);
        for (Vistel* f : {&a, &b, &c}) f->SetCodecOption(option, VISTEL_FORMAT_GIF);
        Vistel* frames[3] = {&a, &b, &c};
        for (int loops : {0, 4}) {
            VistelGIF writer;
            writer.Ghost(&a);
            writer.SetLoops(loops);
            VsMemFile out;
            out.Open();
            ASSERT_TRUE(writer.Encode(&out, frames, 3, false));
            // The file holds loops - 1 repetitions; 0 stays 0 (endless).
            ExpectSameDescription(ToBytes(out), loops ? loops - 1 : 0,
                                  "anim_" + tag + "_" + std::to_string(loops));
        }
    }
}

TEST(GifConformance, IndependentDecoderAgreesOnTrueColourTiles)
{
    if (!PillowAvailable()) GTEST_SKIP() << "Pillow is not installed";
    Vistel img(53, 37, 24);
    for (long y = 0; y < 37; y++)
        for (long x = 0; x < 53; x++)
            img.SetPixelColor(x, y, RGBQUAD{(BYTE)(x * 4), (BYTE)(y * 6), (BYTE)(x ^ y), 0});
    BYTE* buf = nullptr;
    long size = 0;
    ASSERT_TRUE(formats::Encode(img, buf, size, VISTEL_FORMAT_GIF));
    std::vector<BYTE> gif(buf, buf + size);
    Vistel::FreeMemory(buf);

    // Pillow shows tiles as frames; its last frame is the whole picture.
    std::string path = TempPath("tiles");
    std::ofstream(path, std::ios::binary).write((const char*)gif.data(), gif.size());
    std::vector<std::string> theirs = PillowDescribe(path);
    remove(path.c_str());
    ASSERT_GE(theirs.size(), 2u);

    Vistel back;
    ASSERT_TRUE(formats::Decode(back, gif.data(), (DWORD)gif.size(), VISTEL_FORMAT_GIF));
    std::vector<BYTE> rgb;
    for (long y = 36; y >= 0; y--)
        for (long x = 0; x < 53; x++) {
            RGBQUAD c = img.GetPixelColor(x, y, false), d = back.GetPixelColor(x, y, false);
            ASSERT_EQ(c.rgbRed, d.rgbRed);
            ASSERT_EQ(c.rgbGreen, d.rgbGreen);
            ASSERT_EQ(c.rgbBlue, d.rgbBlue);
            rgb.push_back(c.rgbRed);
            rgb.push_back(c.rgbGreen);
            rgb.push_back(c.rgbBlue);
        }
    std::istringstream last(theirs[theirs.size() - 2]);
    std::string index, w, h, sha;
    last >> index >> w >> h >> sha;
    EXPECT_EQ(w + "x" + h, "53x37");
    EXPECT_EQ(sha, corpus::Sha256Hex(rgb.data(), rgb.size()));
}
