// The EXIF reader that every JPEG decode runs, on the small files under
// tests/data/exif listed in expect.tsv with what reading each must give:
// *.bin are APP1 payloads ("Exif\0\0" and a TIFF block) for the directory
// parser, *.jpg segment streams for the marker walk. Among them: both byte
// orders, which directory wins, fields longer than their buffers, offsets
// and counts pointing outside the block, loops and deep chains of
// directories. Every file is read from an exactly sized copy, and so is
// every prefix of it, so that the sanitizer build catches any read past the
// end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "VsExifInfo.h"
#include "corpus.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kDir = VISTEL_TESTS_DATA "/exif/";

struct Reading {
    tag_ExifInfo info{};
    VsExifInfo exif{&info};
    bool ok = false;
    long thumbnailOffset = -1;  // into the data read
};

void Read(const std::string& name, Bytes data, Reading* r)
{
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0) {
        VsMemFile f(data.data(), (DWORD)data.size());
        r->ok = r->exif.DecodeExif(&f);
    } else {
        r->ok = r->exif.process_EXIF(data.data(), (unsigned)data.size());
        if (r->info.ThumbnailSize) r->thumbnailOffset = (long)(r->info.ThumbnailPointer - data.data());
    }
}

// A field of the reading, as text.
std::string Field(const Reading& r, const std::string& name)
{
    const tag_ExifInfo& i = r.info;
    auto num = [](double v) {
        char text[32];
        snprintf(text, sizeof text, "%g", v);
        return std::string(text);
    };
    if (name == "make") return i.CameraMake;
    if (name == "model") return i.CameraModel;
    if (name == "date") return i.DateTime;
    if (name == "version") return i.Version;
    if (name == "comments") return i.Comments;
    if (name == "xres") return num(i.Xresolution) + " per " + num(i.ResolutionUnit) + " inch";
    if (name == "focal") return num(i.FocalLength);
    if (name == "iso") return num(i.ISOequivalent);
    if (name == "orientation") return num(i.Orientation);
    if (name == "flash") return num(i.FlashUsed);
    if (name == "exif") return num(i.IsExif);
    if (name == "frame") return num(i.Width) + "x" + num(i.Height) + " colour " + num(i.IsColor) + " process " + num(i.Process);
    if (name == "thumbnail") return i.ThumbnailSize ? num(i.ThumbnailSize) + " at " + num(r.thumbnailOffset) : "none";
    if (name == "sections") {  // their markers
        std::string types;
        for (int k = 0; k < r.exif.GetSectionsRead(); k++) {
            char hex[8];
            snprintf(hex, sizeof hex, k ? " %X" : "%X", r.exif.GetSection(k)->Type);
            types += hex;
        }
        return types;
    }
    ADD_FAILURE() << "no field " << name;
    return "";
}

// "\n" in a manifest value stands for a line break.
std::string Unescape(std::string s)
{
    for (size_t at; (at = s.find("\\n")) != std::string::npos;) s.replace(at, 2, "\n");
    return s;
}

}  // namespace

TEST(Exif, FilesGiveTheirExpectedReading)
{
    int files = 0;
    for (const std::vector<std::string>& column : corpus::ReadTable(kDir + "expect.tsv")) {
        ASSERT_GE(column.size(), 2u) << column[0];
        SCOPED_TRACE(column[0]);
        Bytes data;
        ASSERT_TRUE(corpus::ReadFile(kDir + column[0], &data));
        files++;
        for (size_t n = 0; n < data.size(); n++) {
            Reading prefix;
            Read(column[0], Bytes(data.begin(), data.begin() + (long)n), &prefix);
        }
        Reading r;
        Read(column[0], data, &r);
        // "ok" or "fails", then the message (empty for none).
        EXPECT_EQ(r.ok ? "ok" : "fails", column[1]);
        EXPECT_EQ(r.exif.GetLastError(), column.size() > 2 ? column[2] : "");
        for (size_t k = 3; k < column.size(); k++) {
            const size_t eq = column[k].find('=');
            EXPECT_EQ(Field(r, column[k].substr(0, eq)), Unescape(column[k].substr(eq + 1))) << column[k];
        }
    }
    EXPECT_GE(files, 31);
}
