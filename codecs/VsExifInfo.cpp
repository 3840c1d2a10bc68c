#include "VsExifInfo.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// JPEG marker codes the section walk handles.
enum : int {
    M_SOF0 = 0xC0,
    M_SOF15 = 0xCF,
    M_DHT = 0xC4,
    M_JPG = 0xC8,
    M_DAC = 0xCC,
    M_SOS = 0xDA,
    M_EOI = 0xD9,
    M_EXIF = 0xE1,
    M_COM = 0xFE
};

// TIFF tags the reader stores.
enum : int {
    TAG_MAKE = 0x010F,
    TAG_MODEL = 0x0110,
    TAG_ORIENTATION = 0x0112,
    TAG_XRESOLUTION = 0x011A,
    TAG_YRESOLUTION = 0x011B,
    TAG_RESOLUTIONUNIT = 0x0128,
    TAG_THUMBNAIL_OFFSET = 0x0201,
    TAG_THUMBNAIL_LENGTH = 0x0202,
    TAG_EXPOSURETIME = 0x829A,
    TAG_FNUMBER = 0x829D,
    TAG_EXPOSURE_PROGRAM = 0x8822,
    TAG_EXIF_OFFSET = 0x8769,
    TAG_GPS_OFFSET = 0x8825,
    TAG_ISO_EQUIVALENT = 0x8827,
    TAG_EXIF_VERSION = 0x9000,
    TAG_DATETIME_ORIGINAL = 0x9003,
    TAG_COMPRESSION_LEVEL = 0x9102,
    TAG_SHUTTERSPEED = 0x9201,
    TAG_APERTURE = 0x9202,
    TAG_BRIGHTNESS = 0x9203,
    TAG_EXPOSURE_BIAS = 0x9204,
    TAG_MAXAPERTURE = 0x9205,
    TAG_SUBJECT_DISTANCE = 0x9206,
    TAG_METERING_MODE = 0x9207,
    TAG_WHITEBALANCE = 0x9208,
    TAG_FLASH = 0x9209,
    TAG_FOCALLENGTH = 0x920A,
    TAG_USERCOMMENT = 0x9286,
    TAG_EXIF_IMAGEWIDTH = 0xA002,
    TAG_EXIF_IMAGELENGTH = 0xA003,
    TAG_INTEROP_OFFSET = 0xA005,
    TAG_FOCALPLANEXRES = 0xA20E,
    TAG_FOCALPLANEYRES = 0xA20F,
    TAG_FOCALPLANEUNITS = 0xA210
};

// Tags of the GPS directory.
enum : int {
    GPS_LATITUDE_REF = 1,
    GPS_LATITUDE = 2,
    GPS_LONGITUDE_REF = 3,
    GPS_LONGITUDE = 4,
    GPS_ALTITUDE_REF = 5,
    GPS_ALTITUDE = 6
};

enum : int {
    FMT_BYTE = 1,
    FMT_STRING,
    FMT_USHORT,
    FMT_ULONG,
    FMT_URATIONAL,
    FMT_SBYTE,
    FMT_UNDEFINED,
    FMT_SSHORT,
    FMT_SLONG,
    FMT_SRATIONAL,
    FMT_SINGLE,
    FMT_DOUBLE
};
const int kBytesPerFormat[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
constexpr int kNumFormats = 12;

constexpr int kMaxPaddingBytes = 7;
constexpr DWORD kCommentMax = 1000;
constexpr DWORD kUserCommentMax = 199;

// double to int truncating toward zero; values an int cannot hold (and NaN)
// give 0 instead of undefined behaviour.
int ToInt(double v)
{
    if (!(v > -2147483648.0 && v < 2147483648.0)) return 0;
    return (int)v;
}

// A tag value as an offset or length; 0 when negative or too large.
DWORD ToDword(double v)
{
    if (!(v >= 0 && v < 4294967296.0)) return 0;
    return (DWORD)v;
}

// Unit tag value to the unit's length in inches; false leaves the field.
bool UnitInInches(int value, float* out)
{
    switch (value) {
    case 1:
    case 2: *out = 1.0f; return true;
    case 3: *out = 0.39370078f; return true;
    case 4: *out = 0.03937008f; return true;
    case 5: *out = 0.00003937008f; return true;
    default: return false;
    }
}

// Copies at most min(count, size - 1) bytes of a TIFF text value, stopping
// at a NUL, and terminates the destination.
void CopyText(char* dst, size_t size, const unsigned char* src, DWORD count)
{
    size_t n = 0;
    while (n + 1 < size && n < count && src[n]) {
        dst[n] = (char)src[n];
        n++;
    }
    dst[n] = '\0';
}

}  // namespace

VsExifInfo::VsExifInfo(tag_ExifInfo* info)
{
    if (info) {
        m_exifinfo = info;
        freeinfo = false;
    } else {
        m_exifinfo = (tag_ExifInfo*)calloc(1, sizeof(tag_ExifInfo));
        freeinfo = true;
    }
    m_szLastError[0] = '\0';
    ExifImageWidth = 0;
    MotorolaOrder = 0;
    SectionsRead = 0;
    memset(Sections, 0, sizeof(Sections));
    m_nVisited = 0;
}

VsExifInfo::~VsExifInfo()
{
    for (int i = 0; i < MAX_SECTIONS; i++) free(Sections[i].Data);
    if (freeinfo) free(m_exifinfo);
}

void VsExifInfo::SetError(const char* text)
{
    strncpy(m_szLastError, text, sizeof(m_szLastError) - 1);
    m_szLastError[sizeof(m_szLastError) - 1] = '\0';
}

void VsExifInfo::ReleaseSection(tag_Section_t* section)
{
    free(section->Data);
    section->Data = nullptr;
    section->Type = 0;
    section->Size = 0;
}

const tag_Section_t* VsExifInfo::GetSection(int index) const
{
    if (index < 0 || index >= SectionsRead) return nullptr;
    return &Sections[index];
}

// ------------------------------------------------------------------ numbers

int VsExifInfo::Get16m(const void* Short) const
{
    const BYTE* p = (const BYTE*)Short;
    return (p[0] << 8) | p[1];
}

int VsExifInfo::Get16u(const void* Short) const
{
    const BYTE* p = (const BYTE*)Short;
    if (MotorolaOrder) return (p[0] << 8) | p[1];
    return (p[1] << 8) | p[0];
}

DWORD VsExifInfo::Get32u(const void* Long) const
{
    const BYTE* p = (const BYTE*)Long;
    if (MotorolaOrder)
        return ((DWORD)p[0] << 24) | ((DWORD)p[1] << 16) | ((DWORD)p[2] << 8) | p[3];
    return ((DWORD)p[3] << 24) | ((DWORD)p[2] << 16) | ((DWORD)p[1] << 8) | p[0];
}

long VsExifInfo::Get32s(const void* Long) const
{
    return (long)(int32_t)Get32u(Long);
}

double VsExifInfo::ConvertAnyFormat(const void* ValuePtr, int Format) const
{
    const BYTE* p = (const BYTE*)ValuePtr;
    switch (Format) {
    case FMT_SBYTE: return (double)(signed char)p[0];
    case FMT_BYTE: return (double)p[0];
    case FMT_USHORT: return (double)Get16u(p);
    case FMT_ULONG: return (double)Get32u(p);
    case FMT_URATIONAL:
    case FMT_SRATIONAL: {
        long num = Get32s(p);
        long den = Get32s(p + 4);
        return den == 0 ? 0.0 : (double)num / (double)den;
    }
    case FMT_SSHORT: return (double)(int16_t)Get16u(p);
    case FMT_SLONG: return (double)Get32s(p);
    case FMT_SINGLE: {
        float f;
        memcpy(&f, p, sizeof(f));
        return (double)f;
    }
    case FMT_DOUBLE: {
        double d;
        memcpy(&d, p, sizeof(d));
        return d;
    }
    default: return 0.0;
    }
}

// ------------------------------------------------------------ segment walk

bool VsExifInfo::ReadSection(VsFile* hFile, int marker, tag_Section_t* section)
{
    long hi = hFile->GetC();
    long lo = hFile->GetC();
    if (hi < 0 || lo < 0) {
        SetError("Premature end of file?");
        return false;
    }
    DWORD length = ((DWORD)hi << 8) | (DWORD)lo;
    if (length < 2) {
        SetError("invalid marker");
        return false;
    }
    BYTE* data = (BYTE*)malloc(length);
    if (!data) {
        SetError("Could not allocate memory");
        return false;
    }
    data[0] = (BYTE)hi;
    data[1] = (BYTE)lo;
    if (hFile->Read(data + 2, 1, length - 2) != length - 2) {
        free(data);
        SetError("Premature end of file?");
        return false;
    }
    section->Data = data;
    section->Type = marker;
    section->Size = length;
    return true;
}

bool VsExifInfo::DecodeExif(VsFile* hFile)
{
    if (!hFile || !m_exifinfo) return false;
    if (hFile->GetC() != 0xFF || hFile->GetC() != 0xD8) return false;

    bool haveComment = false;
    for (;;) {
        long marker = 0;
        int prev;
        for (prev = 0; prev < kMaxPaddingBytes; prev++) {
            marker = hFile->GetC();
            if (marker != 0xFF) break;
        }
        if (prev >= kMaxPaddingBytes) {
            SetError("too many padding bytes");
            return false;
        }
        if (marker < 0) {
            SetError("Premature end of file?");
            return false;
        }

        tag_Section_t section = {};
        if (!ReadSection(hFile, (int)marker, &section)) return false;
        bool keep = false;
        switch (marker) {
        case M_SOS:
            ReleaseSection(&section);
            return true;
        case M_EOI:
            ReleaseSection(&section);
            SetError("No image in jpeg!");
            return false;
        case M_EXIF:
            keep = section.Size >= 8 && memcmp(section.Data + 2, "Exif", 4) == 0;
            if (keep) m_exifinfo->IsExif = process_EXIF(section.Data + 2, section.Size - 2);
            break;
        case M_COM:
            keep = !haveComment;
            if (keep) {
                process_COM(section.Data, (int)section.Size);
                haveComment = true;
            }
            break;
        default:
            if (marker >= M_SOF0 && marker <= M_SOF15 && marker != M_DHT && marker != M_JPG &&
                marker != M_DAC)
                process_SOFn(section.Data, (int)marker);
            break;
        }
        if (!keep) {
            ReleaseSection(&section);
            continue;
        }
        if (SectionsRead >= MAX_SECTIONS) {
            ReleaseSection(&section);
            SetError("Too many sections in jpg file");
            return false;
        }
        Sections[SectionsRead++] = section;
    }
}

void VsExifInfo::process_SOFn(const unsigned char* Data, int marker)
{
    // Precision, height, width and component count follow the length.
    unsigned size = (unsigned)Get16m(Data);
    if (size < 8) return;
    m_exifinfo->Height = Get16m(Data + 3);
    m_exifinfo->Width = Get16m(Data + 5);
    m_exifinfo->IsColor = Data[7] == 3 ? 1 : 0;
    m_exifinfo->Process = marker;
}

void VsExifInfo::process_COM(const unsigned char* Data, int length)
{
    if (length > (int)kCommentMax) length = (int)kCommentMax;
    char* out = m_exifinfo->Comments;
    int n = 0;
    for (int a = 2; a < length; a++) {
        int ch = Data[a];
        if (ch == '\r' && a + 1 < length && Data[a + 1] == '\n') continue;
        out[n++] = (isprint(ch) || ch == '\n' || ch == '\t') ? (char)ch : '?';
    }
    out[n] = '\0';
}

// ------------------------------------------------------------ EXIF block

bool VsExifInfo::process_EXIF(unsigned char* CharBuf, unsigned int length)
{
    m_exifinfo->FlashUsed = 0;
    m_exifinfo->Comments[0] = '\0';
    ExifImageWidth = 0;

    static const unsigned char kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (length < 6 || memcmp(CharBuf, kExifHeader, 6) != 0) {
        SetError("Incorrect Exif header");
        return false;
    }
    if (length < 14) {
        SetError("Invalid Exif alignment marker.");
        return false;
    }
    if (memcmp(CharBuf + 6, "II", 2) == 0) {
        MotorolaOrder = 0;
    } else if (memcmp(CharBuf + 6, "MM", 2) == 0) {
        MotorolaOrder = 1;
    } else {
        SetError("Invalid Exif alignment marker.");
        return false;
    }
    if (Get16u(CharBuf + 8) != 0x2A) {
        SetError("Invalid Exif start (1)");
        return false;
    }
    DWORD FirstOffset = Get32u(CharBuf + 10);
    unsigned char* OffsetBase = CharBuf + 6;
    unsigned ExifLength = length - 6;

    m_nVisited = 0;
    m_gpsLatitudeRef = m_gpsLongitudeRef = 0;
    m_gpsAltitudeRef = m_gpsParts = 0;
    const bool parsed = ProcessExifDir(CharBuf + 14, OffsetBase, ExifLength, m_exifinfo);
    SignGps(m_exifinfo);
    if (!parsed) return false;
    if (FirstOffset > 8) {
        if (FirstOffset >= ExifLength) {
            SetError("Illegal subdirectory link");
            return false;
        }
        if (!ProcessExifDir(OffsetBase + FirstOffset, OffsetBase, ExifLength, m_exifinfo))
            return false;
    }

    if (m_exifinfo->FocalplaneXRes != 0)
        m_exifinfo->CCDWidth = (float)ExifImageWidth * m_exifinfo->FocalplaneUnits /
                               m_exifinfo->FocalplaneXRes;
    return true;
}

bool VsExifInfo::ProcessExifDir(unsigned char* DirStart, unsigned char* OffsetBase,
                                unsigned ExifLength, tag_ExifInfo* pInfo)
{
    return WalkDir(DirStart, OffsetBase, ExifLength, pInfo, 0, true);
}

// Records a directory as visited; false when it was seen before or the
// block holds more directories than any real file does.
bool VsExifInfo::MarkVisited(unsigned char* DirStart)
{
    for (int i = 0; i < m_nVisited; i++)
        if (m_visited[i] == DirStart) return false;
    if (m_nVisited >= kMaxDirs) return false;
    m_visited[m_nVisited++] = DirStart;
    return true;
}

bool VsExifInfo::WalkDir(unsigned char* DirStart, unsigned char* OffsetBase,
                         unsigned ExifLength, tag_ExifInfo* pInfo, int depth, bool ofPicture,
                         bool gps)
{
    unsigned char* end = OffsetBase + ExifLength;
    if (DirStart < OffsetBase || DirStart > end || end - DirStart < 2) {
        SetError("Illegally sized directory");
        return false;
    }
    // A directory already parsed (a loop), or nesting beyond any real file,
    // is passed over rather than walked again.
    if (depth > kMaxDirDepth || !MarkVisited(DirStart)) return true;

    int NumDirEntries = Get16u(DirStart);
    size_t dirBytes = 2 + 12 * (size_t)NumDirEntries;
    if ((size_t)(end - DirStart) < dirBytes) {
        SetError("Illegally sized directory");
        return false;
    }

    DWORD thumbOffset = 0, thumbSize = 0;
    for (int de = 0; de < NumDirEntries; de++) {
        unsigned char* DirEntry = DirStart + 2 + 12 * de;
        int Tag = Get16u(DirEntry);
        int Format = Get16u(DirEntry + 2);
        DWORD Components = Get32u(DirEntry + 4);

        if (Format < 1 || Format > kNumFormats) {
            SetError("Illegal format code in EXIF dir");
            return false;
        }
        uint64_t ByteCount = (uint64_t)Components * (uint64_t)kBytesPerFormat[Format];
        unsigned char* ValuePtr = DirEntry + 8;
        if (ByteCount > 4) {
            uint64_t OffsetVal = Get32u(DirEntry + 8);
            if (OffsetVal + ByteCount > ExifLength) {
                SetError("Illegal pointer offset value in EXIF.");
                return false;
            }
            ValuePtr = OffsetBase + OffsetVal;
        }
        // An entry without components has no value to read.
        if (Components == 0) continue;

        if (gps) {
            StoreGpsTag(Tag, Format, ValuePtr, Components, pInfo);
        } else if (Tag == TAG_THUMBNAIL_OFFSET) {
            thumbOffset = ToDword(ConvertAnyFormat(ValuePtr, Format));
        } else if (Tag == TAG_THUMBNAIL_LENGTH) {
            thumbSize = ToDword(ConvertAnyFormat(ValuePtr, Format));
        } else if (Tag == TAG_EXIF_OFFSET || Tag == TAG_INTEROP_OFFSET || Tag == TAG_GPS_OFFSET) {
            DWORD sub = Get32u(ValuePtr);
            if (sub <= 8) continue;
            if (sub > ExifLength) {
                SetError("Illegal subdirectory link");
                return false;
            }
            WalkDir(OffsetBase + sub, OffsetBase, ExifLength, pInfo, depth + 1, ofPicture,
                    Tag == TAG_GPS_OFFSET);
        } else if (ofPicture) {
            StoreTag(Tag, Format, ValuePtr, (DWORD)ByteCount, pInfo);
        }
    }

    // Only the first two bytes of the link are read: the whole link in
    // little-endian data, its (normally zero) high half in big-endian data.
    unsigned char* link = DirStart + dirBytes;
    if (end - link >= 2) {
        unsigned next = (unsigned)Get16u(link);
        if (next) {
            if (next > ExifLength) {
                SetError("Illegal subdirectory link");
                return false;
            }
            WalkDir(OffsetBase + next, OffsetBase, ExifLength, pInfo, depth + 1, false, gps);
        }
    }

    if (thumbOffset && thumbSize && (uint64_t)thumbOffset + thumbSize <= ExifLength) {
        pInfo->ThumbnailSize = thumbSize;
        pInfo->ThumbnailPointer = OffsetBase + thumbOffset;
    }
    return true;
}

void VsExifInfo::StoreTag(int Tag, int Format, unsigned char* ValuePtr, DWORD ByteCount,
                          tag_ExifInfo* pInfo)
{
    switch (Tag) {
    case TAG_MAKE: CopyText(pInfo->CameraMake, sizeof(pInfo->CameraMake), ValuePtr, ByteCount); return;
    case TAG_MODEL: CopyText(pInfo->CameraModel, sizeof(pInfo->CameraModel), ValuePtr, ByteCount); return;
    case TAG_DATETIME_ORIGINAL: CopyText(pInfo->DateTime, sizeof(pInfo->DateTime), ValuePtr, ByteCount); return;
    case TAG_EXIF_VERSION: CopyText(pInfo->Version, sizeof(pInfo->Version), ValuePtr, ByteCount < 4 ? ByteCount : 4); return;
    case TAG_USERCOMMENT: StoreUserComment(ValuePtr, ByteCount, pInfo); return;
    default: break;
    }

    double value = ConvertAnyFormat(ValuePtr, Format);
    switch (Tag) {
    case TAG_ORIENTATION:
        pInfo->Orientation = ToInt(value);
        if (pInfo->Orientation < 1 || pInfo->Orientation > 8) {
            pInfo->Orientation = 0;
            SetError("Undefined rotation value");
        }
        break;
    case TAG_XRESOLUTION: pInfo->Xresolution = (float)value; break;
    case TAG_YRESOLUTION: pInfo->Yresolution = (float)value; break;
    case TAG_RESOLUTIONUNIT: UnitInInches(ToInt(value), &pInfo->ResolutionUnit); break;
    case TAG_FOCALPLANEUNITS: UnitInInches(ToInt(value), &pInfo->FocalplaneUnits); break;
    case TAG_FOCALPLANEXRES: pInfo->FocalplaneXRes = (float)value; break;
    case TAG_FOCALPLANEYRES: pInfo->FocalplaneYRes = (float)value; break;
    case TAG_FOCALLENGTH: pInfo->FocalLength = (float)value; break;
    case TAG_SUBJECT_DISTANCE: pInfo->Distance = (float)value; break;
    case TAG_EXPOSURETIME: pInfo->ExposureTime = (float)value; break;
    case TAG_SHUTTERSPEED:
        if (pInfo->ExposureTime == 0) pInfo->ExposureTime = (float)(1.0 / pow(2.0, value));
        break;
    case TAG_FNUMBER: pInfo->ApertureFNumber = (float)value; break;
    case TAG_APERTURE:
    case TAG_MAXAPERTURE:
        if (pInfo->ApertureFNumber == 0) pInfo->ApertureFNumber = (float)pow(2.0, value / 2);
        break;
    case TAG_BRIGHTNESS: pInfo->Brightness = (float)value; break;
    case TAG_EXPOSURE_BIAS: pInfo->ExposureBias = (float)value; break;
    case TAG_FLASH: pInfo->FlashUsed = (ToInt(value) & 7) ? 1 : 0; break;
    case TAG_WHITEBALANCE: pInfo->Whitebalance = ToInt(value); break;
    case TAG_METERING_MODE: pInfo->MeteringMode = ToInt(value); break;
    case TAG_EXPOSURE_PROGRAM: pInfo->ExposureProgram = ToInt(value); break;
    case TAG_ISO_EQUIVALENT:
        pInfo->ISOequivalent = ToInt(value);
        if (pInfo->ISOequivalent > 0 && pInfo->ISOequivalent < 50) pInfo->ISOequivalent *= 200;
        break;
    case TAG_COMPRESSION_LEVEL: pInfo->CompressionLevel = ToInt(value); break;
    case TAG_EXIF_IMAGEWIDTH:
    case TAG_EXIF_IMAGELENGTH:
        if (ExifImageWidth < ToInt(value)) ExifImageWidth = ToInt(value);
        break;
    default: break;
    }
}

void VsExifInfo::StoreUserComment(const unsigned char* ValuePtr, DWORD ByteCount,
                                  tag_ExifInfo* pInfo)
{
    // Trailing blanks are not part of the comment. The segment itself stays
    // as the file has it: a JPEG written from the picture carries it.
    DWORD end = ByteCount;
    while (end > 0 && ValuePtr[end - 1] == ' ') end--;

    DWORD start = 0;
    if (end >= 5 && memcmp(ValuePtr, "ASCII", 5) == 0) {
        for (start = 5; start < 10 && start < end; start++)
            if (ValuePtr[start] != '\0' && ValuePtr[start] != ' ') break;
        if (start >= 10 || start >= end) return;
    }
    DWORD avail = end - start;
    CopyText(pInfo->Comments, kUserCommentMax + 1, ValuePtr + start, avail);
}

void VsExifInfo::StoreGpsTag(int Tag, int Format, unsigned char* ValuePtr, DWORD Components,
                             tag_ExifInfo* pInfo)
{
    switch (Tag) {
    case GPS_LATITUDE_REF: m_gpsLatitudeRef = (char)ValuePtr[0]; return;
    case GPS_LONGITUDE_REF: m_gpsLongitudeRef = (char)ValuePtr[0]; return;
    case GPS_ALTITUDE_REF: m_gpsAltitudeRef = ToInt(ConvertAnyFormat(ValuePtr, Format)); return;
    case GPS_ALTITUDE:
        if (Format != FMT_URATIONAL) return;
        pInfo->GpsAltitude = ConvertAnyFormat(ValuePtr, Format);
        pInfo->HasGpsAltitude = true;
        return;
    case GPS_LATITUDE:
    case GPS_LONGITUDE: {
        // Degrees, minutes and seconds, three rationals.
        if (Format != FMT_URATIONAL || Components < 3) return;
        const double degrees = ConvertAnyFormat(ValuePtr, Format) +
                               ConvertAnyFormat(ValuePtr + 8, Format) / 60 +
                               ConvertAnyFormat(ValuePtr + 16, Format) / 3600;
        if (Tag == GPS_LATITUDE) pInfo->GpsLatitude = degrees;
        else pInfo->GpsLongitude = degrees;
        m_gpsParts |= Tag == GPS_LATITUDE ? 1 : 2;
        return;
    }
    default: return;
    }
}

void VsExifInfo::SignGps(tag_ExifInfo* pInfo)
{
    pInfo->HasGpsPosition = m_gpsParts == 3;
    if (m_gpsLatitudeRef == 'S') pInfo->GpsLatitude = -pInfo->GpsLatitude;
    if (m_gpsLongitudeRef == 'W') pInfo->GpsLongitude = -pInfo->GpsLongitude;
    if (m_gpsAltitudeRef == 1) pInfo->GpsAltitude = -pInfo->GpsAltitude;
}
