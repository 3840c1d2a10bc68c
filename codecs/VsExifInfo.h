// EXIF reader for JPEG streams: walks the marker segments of a JPEG stream
// up to the first scan, keeps the EXIF APP1 segments and the first comment
// as sections, and parses them (TIFF directories in either byte order) into
// a tag_ExifInfo record.
//
// Every offset and count inside a segment is checked against the segment;
// directory chains are followed at most once per directory and to a bounded
// depth, so hostile data can neither loop nor exhaust the stack.
#ifndef VISTEL_VSEXIFINFO_H
#define VISTEL_VSEXIFINFO_H

#include "VsFile.h"
#include "VsTypes.h"

constexpr int MAX_SECTIONS = 20;

struct tag_ExifInfo {
    char Version[5];
    char CameraMake[32];
    char CameraModel[40];
    char DateTime[20];
    int Height, Width;
    int Orientation;
    int IsColor;
    int Process;
    int FlashUsed;
    float FocalLength;
    float ExposureTime;
    float ApertureFNumber;
    float Distance;
    float CCDWidth;
    float ExposureBias;
    int Whitebalance;
    int MeteringMode;
    int ExposureProgram;
    int ISOequivalent;
    int CompressionLevel;
    float FocalplaneXRes;
    float FocalplaneYRes;
    float FocalplaneUnits;
    float Xresolution;
    float Yresolution;
    float ResolutionUnit;
    float Brightness;
    char Comments[1000];
    unsigned char* ThumbnailPointer;  // inside the kept EXIF section's data
    DWORD ThumbnailSize;
    bool IsExif;
    // GPS position in degrees (south and west negative) and altitude in
    // metres (below sea level negative), each when the file gives it.
    bool HasGpsPosition;
    double GpsLatitude, GpsLongitude;
    bool HasGpsAltitude;
    double GpsAltitude;
};

// One kept marker segment; Data (malloc'ed) starts with the two length bytes.
struct tag_Section_t {
    BYTE* Data;
    int Type;
    DWORD Size;
};

class VsExifInfo {
public:
    // A null info makes the reader own a zero-filled record of its own.
    explicit VsExifInfo(tag_ExifInfo* info = nullptr);
    ~VsExifInfo();
    VsExifInfo(const VsExifInfo&) = delete;
    VsExifInfo& operator=(const VsExifInfo&) = delete;

    // Reads the marker segments from the stream's position (a JPEG's start)
    // to the first scan, keeping and parsing the EXIF segments and the first
    // comment; true when it reached the scan.
    bool DecodeExif(VsFile* hFile);

    // Parses one APP1 payload (starting with "Exif") of `length` bytes.
    bool process_EXIF(unsigned char* CharBuf, unsigned int length);
    // Parses the TIFF directory at DirStart; offsets count from OffsetBase,
    // whose data is ExifLength bytes long.
    bool ProcessExifDir(unsigned char* DirStart, unsigned char* OffsetBase,
                        unsigned ExifLength, tag_ExifInfo* pInfo);
    void process_COM(const unsigned char* Data, int length);
    void process_SOFn(const unsigned char* Data, int marker);

    // The kept sections, in file order.
    const tag_Section_t* GetSection(int index) const;
    int GetSectionsRead() const { return SectionsRead; }
    const char* GetLastError() const { return m_szLastError; }
    tag_ExifInfo* GetInfo() const { return m_exifinfo; }

    int Get16m(const void* Short) const;
    int Get16u(const void* Short) const;
    long Get32s(const void* Long) const;
    DWORD Get32u(const void* Long) const;
    double ConvertAnyFormat(const void* ValuePtr, int Format) const;

private:
    // Limits on directory walking: nesting depth, and distinct directories
    // per EXIF block (each is parsed at most once).
    static constexpr int kMaxDirDepth = 16;
    static constexpr int kMaxDirs = 64;

    bool ReadSection(VsFile* hFile, int marker, tag_Section_t* section);
    void ReleaseSection(tag_Section_t* section);
    void SetError(const char* text);
    // `ofPicture`: the directory describes the picture, not the thumbnail
    // that the directories linked after the first describe.
    bool WalkDir(unsigned char* DirStart, unsigned char* OffsetBase, unsigned ExifLength,
                 tag_ExifInfo* pInfo, int depth, bool ofPicture, bool gps = false);
    bool MarkVisited(unsigned char* DirStart);
    void StoreTag(int Tag, int Format, unsigned char* ValuePtr, DWORD ByteCount,
                  tag_ExifInfo* pInfo);
    void StoreUserComment(const unsigned char* ValuePtr, DWORD ByteCount, tag_ExifInfo* pInfo);
    // A tag of the GPS directory, whose numbers mean other things elsewhere.
    void StoreGpsTag(int Tag, int Format, unsigned char* ValuePtr, DWORD Components,
                     tag_ExifInfo* pInfo);
    // Gives the GPS values the signs their reference tags name.
    void SignGps(tag_ExifInfo* pInfo);

    tag_ExifInfo* m_exifinfo;
    char m_szLastError[256];
    int ExifImageWidth;
    int MotorolaOrder;
    tag_Section_t Sections[MAX_SECTIONS];
    int SectionsRead;
    bool freeinfo;

    // Directory walk state of the EXIF block being parsed.
    unsigned char* m_visited[kMaxDirs];
    int m_nVisited;
    // GPS reference letters (N/S, E/W) and altitude reference (1: below sea
    // level), read in any order with the values they qualify.
    char m_gpsLatitudeRef, m_gpsLongitudeRef;
    int m_gpsAltitudeRef;
    int m_gpsParts;  // bit 0 latitude, bit 1 longitude read
};

#endif
