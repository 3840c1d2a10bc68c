// EXIF reader and writer: segment walk, TIFF directories in both byte
// orders, and hostile directory structures (loops, deep chains, offsets
// outside the segment).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "VsExifInfo.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// Builds an APP1 payload ("Exif\0\0" + TIFF) with directories laid out one
// after another, each followed by the values that do not fit in an entry.
class Tiff {
public:
    explicit Tiff(bool motorola) : mm_(motorola) {}

    int AddIfd() { ifds_.push_back(Ifd()); return (int)ifds_.size() - 1; }
    void Raw(int ifd, uint16_t tag, uint16_t fmt, uint32_t count, const Bytes& value)
    { ifds_[ifd].entries.push_back({tag, fmt, count, value, -1}); }
    void Short(int ifd, uint16_t tag, uint16_t v) { Raw(ifd, tag, 3, 1, U16(v)); }
    void Long(int ifd, uint16_t tag, uint32_t v) { Raw(ifd, tag, 4, 1, U32(v)); }
    void Rational(int ifd, uint16_t tag, uint32_t num, uint32_t den)
    {
        Bytes b = U32(num), d = U32(den);
        b.insert(b.end(), d.begin(), d.end());
        Raw(ifd, tag, 5, 1, b);
    }
    void Ascii(int ifd, uint16_t tag, const std::string& s)
    {
        Bytes b(s.begin(), s.end());
        b.push_back(0);
        Raw(ifd, tag, 2, (uint32_t)b.size(), b);
    }
    // An entry whose value is the offset of another directory.
    void SubIfd(int ifd, uint16_t tag, int target)
    { ifds_[ifd].entries.push_back({tag, 4, 1, Bytes(), target}); }
    void Chain(int ifd, int next) { ifds_[ifd].next = next; }

    Bytes Payload()
    {
        Layout();
        Bytes t = mm_ ? Bytes{'M', 'M', 0, 42} : Bytes{'I', 'I', 42, 0};
        Append(&t, U32(ifds_.empty() ? 0 : ifds_[0].offset));
        for (Ifd& d : ifds_) {
            t.resize(d.offset);
            Append(&t, U16((uint16_t)d.entries.size()));
            uint32_t data = d.offset + 2 + 12 * (uint32_t)d.entries.size() + 4;
            Bytes area;
            for (Entry& e : d.entries) {
                Append(&t, U16(e.tag));
                Append(&t, U16(e.fmt));
                Append(&t, U32(e.count));
                Bytes v = e.target >= 0 ? U32(ifds_[e.target].offset) : e.value;
                if (v.size() <= 4) {
                    v.resize(4);
                    Append(&t, v);
                } else {
                    Append(&t, U32(data + (uint32_t)area.size()));
                    Append(&area, v);
                }
            }
            Append(&t, U32(d.next >= 0 ? ifds_[d.next].offset : 0));
            Append(&t, area);
        }
        Bytes p = {'E', 'x', 'i', 'f', 0, 0};
        Append(&p, t);
        return p;
    }

    Bytes U16(uint16_t v) const
    {
        return mm_ ? Bytes{(uint8_t)(v >> 8), (uint8_t)v} : Bytes{(uint8_t)v, (uint8_t)(v >> 8)};
    }
    Bytes U32(uint32_t v) const
    {
        Bytes b = {(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v};
        if (!mm_) std::swap(b[0], b[3]), std::swap(b[1], b[2]);
        return b;
    }

private:
    struct Entry {
        uint16_t tag, fmt;
        uint32_t count;
        Bytes value;
        int target;
    };
    struct Ifd {
        std::vector<Entry> entries;
        int next = -1;
        uint32_t offset = 0;
    };
    static void Append(Bytes* to, const Bytes& b) { to->insert(to->end(), b.begin(), b.end()); }
    void Layout()
    {
        uint32_t off = 8;
        for (Ifd& d : ifds_) {
            d.offset = off;
            off += 2 + 12 * (uint32_t)d.entries.size() + 4;
            for (Entry& e : d.entries)
                if (e.target < 0 && e.value.size() > 4) off += (uint32_t)e.value.size();
        }
    }

    bool mm_;
    std::vector<Ifd> ifds_;
};

struct Parsed {
    tag_ExifInfo info{};
    bool ok = false;
    std::string error;
};

// Parses a payload from an exactly sized heap copy, so that any read past
// its end is caught by the sanitizers.
Parsed ParsePayload(const Bytes& payload)
{
    Parsed r;
    Bytes copy = payload;
    VsExifInfo exif(&r.info);
    r.ok = exif.process_EXIF(copy.data(), (unsigned)copy.size());
    r.error = exif.GetLastError();
    return r;
}

Bytes Segment(uint8_t marker, const Bytes& payload)
{
    size_t len = payload.size() + 2;
    Bytes s = {0xFF, marker, (uint8_t)(len >> 8), (uint8_t)len};
    s.insert(s.end(), payload.begin(), payload.end());
    return s;
}

Bytes Stream(const std::vector<Bytes>& segments, const Bytes& tail = Bytes())
{
    Bytes s = {0xFF, 0xD8};
    for (const Bytes& seg : segments) s.insert(s.end(), seg.begin(), seg.end());
    s.insert(s.end(), tail.begin(), tail.end());
    return s;
}

const Bytes kSos = Segment(0xDA, Bytes{1, 1, 0, 0, 63, 0});
const Bytes kSof = Segment(0xC0, Bytes{8, 0, 16, 0, 32, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});

}  // namespace

// ------------------------------------------------------------ directories

// IFD1 describes the thumbnail: its resolution never stands for the
// picture's, in either byte order; units become inch factors.
TEST(ExifDir, ResolutionAndWhichDirectoryWins)
{
    struct Case {
        bool mm;
        uint32_t xres;
        uint16_t unit;
        float wantRes, wantUnit;
    } cases[] = {
        {true, 300, 2, 300.0f, 1.0f},
        {true, 118, 3, 118.0f, 0.39370078f},
        {false, 300, 2, 300.0f, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.mm ? "MM " : "II ") << c.xres);
        Tiff t(c.mm);
        int ifd0 = t.AddIfd(), ifd1 = t.AddIfd();
        t.Rational(ifd0, 0x011A, c.xres, 1);
        t.Short(ifd0, 0x0128, c.unit);
        t.Rational(ifd1, 0x011A, 72, 1);
        t.Short(ifd1, 0x0128, 2);
        t.Chain(ifd0, ifd1);
        Parsed p = ParsePayload(t.Payload());
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_FLOAT_EQ(p.info.Xresolution, c.wantRes);
        EXPECT_FLOAT_EQ(p.info.ResolutionUnit, c.wantUnit);
    }
}

TEST(ExifDir, FieldsAndTagRules)
{
    for (bool mm : {false, true}) {
        Tiff t(mm);
        int ifd0 = t.AddIfd(), sub = t.AddIfd();
        t.Ascii(ifd0, 0x010F, "A camera maker whose name is far too long");
        t.Ascii(ifd0, 0x0110, "Model 9");
        t.Short(ifd0, 0x0112, 9);
        t.SubIfd(ifd0, 0x8769, sub);
        t.Ascii(sub, 0x9003, "2024:01:02 03:04:05");
        t.Short(sub, 0x8827, 2);
        t.Short(sub, 0x9209, 0x18);
        t.Rational(sub, 0x920A, 35, 2);
        t.Raw(sub, 0x9000, 7, 4, Bytes{'0', '2', '2', '0'});
        t.Raw(sub, 0x9286, 7, 16, Bytes{'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'H', 'i', '!', ' ', ' ', ' ', ' ', ' '});
        Parsed p = ParsePayload(t.Payload());
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_STREQ(p.info.CameraMake, "A camera maker whose name is fa");
        EXPECT_STREQ(p.info.CameraModel, "Model 9");
        EXPECT_EQ(p.info.Orientation, 0);
        EXPECT_EQ(p.error, "Undefined rotation value");
        EXPECT_STREQ(p.info.DateTime, "2024:01:02 03:04:05");
        EXPECT_EQ(p.info.ISOequivalent, 400);
        EXPECT_EQ(p.info.FlashUsed, 0);
        EXPECT_FLOAT_EQ(p.info.FocalLength, 17.5f);
        EXPECT_STREQ(p.info.Version, "0220");
        EXPECT_STREQ(p.info.Comments, "Hi!");
    }
    Tiff t(false);
    int ifd0 = t.AddIfd();
    t.Short(ifd0, 0x8827, 100);
    t.Short(ifd0, 0x0112, 6);
    Parsed p = ParsePayload(t.Payload());
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.info.ISOequivalent, 100);
    EXPECT_EQ(p.info.Orientation, 6);
}

TEST(ExifDir, ThumbnailInsideTheBlock)
{
    Tiff t(false);
    int ifd0 = t.AddIfd(), ifd1 = t.AddIfd();
    t.Chain(ifd0, ifd1);
    t.Long(ifd1, 0x0201, 8);
    t.Long(ifd1, 0x0202, 6);
    Bytes payload = t.Payload();
    tag_ExifInfo info{};
    VsExifInfo exif(&info);
    ASSERT_TRUE(exif.process_EXIF(payload.data(), (unsigned)payload.size()));
    EXPECT_EQ(info.ThumbnailSize, 6u);
    EXPECT_EQ(info.ThumbnailPointer, payload.data() + 6 + 8);

    // A thumbnail claimed past the block's end is not reported.
    Tiff u(false);
    ifd0 = u.AddIfd();
    u.Long(ifd0, 0x0201, 8);
    u.Long(ifd0, 0x0202, 100000);
    Parsed p = ParsePayload(u.Payload());
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.info.ThumbnailSize, 0u);
}

TEST(ExifDir, MalformedHeadersAndEntries)
{
    EXPECT_EQ(ParsePayload(Bytes{'E', 'x', 'i', 'x', 0, 0, 'I', 'I'}).error, "Incorrect Exif header");
    EXPECT_EQ(ParsePayload(Bytes{'E', 'x', 'i', 'f', 0, 0, 'I', 'M', 42, 0, 8, 0, 0, 0}).error,
              "Invalid Exif alignment marker.");
    EXPECT_EQ(ParsePayload(Bytes{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 43, 0, 8, 0, 0, 0}).error,
              "Invalid Exif start (1)");

    Tiff t(false);
    t.Raw(t.AddIfd(), 0x010F, 13, 1, Bytes{1});
    EXPECT_EQ(ParsePayload(t.Payload()).error, "Illegal format code in EXIF dir");

    // A value offset past the end, and a component count whose byte count
    // overflows 32 bits.
    Tiff u(true);
    int d = u.AddIfd();
    u.Raw(d, 0x011A, 5, 1, Bytes());
    Bytes payload = u.Payload();
    payload[6 + 8 + 2 + 8 + 3] = 0xF0;  // offset field of the entry
    EXPECT_EQ(ParsePayload(payload).error, "Illegal pointer offset value in EXIF.");
    Tiff v(false);
    v.Raw(v.AddIfd(), 0x011A, 5, 0x20000001u, Bytes{8, 0, 0, 0});
    EXPECT_EQ(ParsePayload(v.Payload()).error, "Illegal pointer offset value in EXIF.");

    // A directory claiming more entries than the block holds.
    Bytes big = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF, 0, 0};
    EXPECT_EQ(ParsePayload(big).error, "Illegally sized directory");

    // Sub-directory and next links past the end.
    Tiff w(false);
    w.Long(w.AddIfd(), 0x8769, 0x7FFF0000u);
    EXPECT_EQ(ParsePayload(w.Payload()).error, "Illegal subdirectory link");
    Tiff x(false);
    x.Short(x.AddIfd(), 0x0112, 1);
    payload = x.Payload();
    payload[6 + 8 + 2 + 12] = 0xF0;  // next link, low byte
    payload[6 + 8 + 2 + 13] = 0x7F;
    EXPECT_EQ(ParsePayload(payload).error, "Illegal subdirectory link");
}

TEST(ExifDir, EveryTruncationStaysInsideTheBlock)
{
    for (bool mm : {false, true}) {
        Tiff t(mm);
        int ifd0 = t.AddIfd(), sub = t.AddIfd(), ifd1 = t.AddIfd();
        t.Ascii(ifd0, 0x010F, "Maker");
        t.Rational(ifd0, 0x011A, 300, 1);
        t.SubIfd(ifd0, 0x8769, sub);
        t.Chain(ifd0, ifd1);
        t.Rational(sub, 0x829A, 1, 250);
        t.Raw(sub, 0x9286, 7, 12, Bytes{'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'a', 'b', ' ', ' '});
        t.Long(ifd1, 0x0201, 8);
        t.Long(ifd1, 0x0202, 4);
        Bytes payload = t.Payload();
        for (size_t n = 0; n <= payload.size(); n++)
            ParsePayload(Bytes(payload.begin(), payload.begin() + (long)n));
        EXPECT_TRUE(ParsePayload(payload).ok);
    }
}

TEST(ExifDir, LoopsAndDeepChainsEnd)
{
    // IFD0 links to itself, and its EXIF pointer points back to it too.
    Tiff t(false);
    int ifd0 = t.AddIfd();
    t.Rational(ifd0, 0x011A, 200, 1);
    t.SubIfd(ifd0, 0x8769, ifd0);
    t.Chain(ifd0, ifd0);
    Parsed p = ParsePayload(t.Payload());
    EXPECT_TRUE(p.ok);
    EXPECT_FLOAT_EQ(p.info.Xresolution, 200.0f);

    // Two directories pointing at each other, each with many sub-pointers
    // to both: a naive walk multiplies its work at every level.
    Tiff u(false);
    int a = u.AddIfd(), b = u.AddIfd();
    for (int i = 0; i < 40; i++) {
        u.SubIfd(a, 0x8769, b);
        u.SubIfd(b, 0xA005, a);
    }
    u.Chain(a, b);
    u.Chain(b, a);
    EXPECT_TRUE(ParsePayload(u.Payload()).ok);

    // A chain of 2000 directories, each linking to the next: bounded depth.
    Tiff v(false);
    const int n = 2000;
    for (int i = 0; i < n; i++) v.AddIfd();
    for (int i = 0; i + 1 < n; i++) v.SubIfd(i, 0x8769, i + 1);
    v.Short(n - 1, 0x8827, 800);
    p = ParsePayload(v.Payload());
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.info.ISOequivalent, 0);  // beyond the nesting limit
}

// ------------------------------------------------------------ segments

TEST(ExifSegments, KeepsExifAndFirstCommentOnly)
{
    Tiff t(false);
    t.Rational(t.AddIfd(), 0x011A, 240, 1);
    Bytes xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.'};
    Bytes com1 = {'H', 'e', 'l', 'l', 'o', '\r', '\n', 'W', 'o', 'r', 'l', 'd', 0x01};
    Bytes data = Stream({Segment(0xE0, Bytes(14, 0)), Segment(0xE1, xmp), Segment(0xE1, t.Payload()),
                         Segment(0xFE, com1), Segment(0xFE, Bytes{'x'}), Segment(0xDB, Bytes(65, 0)), kSof,
                         kSos},
                        Bytes{1, 2, 3, 0xFF, 0xD9});
    VsMemFile f(data.data(), (DWORD)data.size());
    tag_ExifInfo info{};
    VsExifInfo exif(&info);
    ASSERT_TRUE(exif.DecodeExif(&f));
    EXPECT_TRUE(info.IsExif);
    EXPECT_FLOAT_EQ(info.Xresolution, 240.0f);
    EXPECT_STREQ(info.Comments, "Hello\nWorld?");
    EXPECT_EQ(info.Width, 32);
    EXPECT_EQ(info.Height, 16);
    EXPECT_EQ(info.IsColor, 1);
    EXPECT_EQ(info.Process, 0xC0);
    ASSERT_EQ(exif.GetSectionsRead(), 2);
    EXPECT_EQ(exif.GetSection(0)->Type, 0xE1);
    EXPECT_EQ(exif.GetSection(1)->Type, 0xFE);

    // An XMP-only stream is not EXIF.
    Bytes onlyXmp = Stream({Segment(0xE1, xmp), kSos});
    VsMemFile g(onlyXmp.data(), (DWORD)onlyXmp.size());
    tag_ExifInfo info2{};
    VsExifInfo exif2(&info2);
    EXPECT_TRUE(exif2.DecodeExif(&g));
    EXPECT_FALSE(info2.IsExif);
    EXPECT_EQ(exif2.GetSectionsRead(), 0);
}

TEST(ExifSegments, FailuresOfTheWalk)
{
    struct Case {
        Bytes data;
        const char* error;
    };
    std::vector<Bytes> many(MAX_SECTIONS + 1, Segment(0xE1, Bytes{'E', 'x', 'i', 'f', 0, 0}));
    Bytes padded = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xDB, 0, 2};
    Case cases[] = {
        {Bytes{0x00, 0xD8, 0xFF, 0xD9}, ""},  // no SOI: not a JPEG, nothing to say
        {Stream(many), "Too many sections in jpg file"},
        {Stream({Bytes{0xFF, 0xDB, 0, 1}}), "invalid marker"},
        {Stream({Bytes{0xFF, 0xDB, 0, 20, 1, 2}}), "Premature end of file?"},
        {Stream({Bytes{0xFF, 0xD9, 0, 2}}), "No image in jpeg!"},
        {padded, "too many padding bytes"},
        {Stream({Bytes{0xFF}}), "Premature end of file?"},
    };
    for (const Case& c : cases) {
        Bytes copy = c.data;
        VsMemFile f(copy.data(), (DWORD)copy.size());
        VsExifInfo exif(nullptr);
        EXPECT_FALSE(exif.DecodeExif(&f));
        EXPECT_STREQ(exif.GetLastError(), c.error);
    }
}
