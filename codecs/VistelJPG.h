// JPEG codec driving libjpeg(-turbo): decodes baseline, progressive,
// greyscale and CMYK streams into the DIB, encodes 24-bit and grey-ramp
// images as baseline or progressive JPEG. A decoded picture keeps its file's
// EXIF and comment segments (GetJpegSegments), which a JPEG written from it
// carries again.
#ifndef VISTEL_VISTELJPG_H
#define VISTEL_VISTELJPG_H

#include <cstdio>

#include <jpeglib.h>

#include "PictureFacts.h"
#include "Vistel.h"
#include "VsExifInfo.h"

// Bits of the JPEG codec option word (GetCodecOption(VISTEL_FORMAT_JPG)).
enum JPG_CODEC_OPTIONS : DWORD {
    JPG_OPT_BASELINE = 0x001,              // encode: force baseline quantisation tables
    JPG_OPT_ARITHMETIC = 0x002,            // encode: arithmetic coding
    JPG_OPT_GREY_OUTPUT = 0x004,           // encode: one grey component
    JPG_OPT_OPTIMIZE = 0x008,              // encode: optimised Huffman tables
    JPG_OPT_PROGRESSIVE = 0x010,           // encode: progressive scans
    JPG_OPT_SMOOTHING = 0x040,             // encode: smoothing by m_nSmoothing
    JPG_OPT_GREY_DECODE = 0x080,           // decode: grey output
    JPG_OPT_QUANTIZE = 0x100,              // decode: palette of nQuality colours
    JPG_OPT_DITHER = 0x200,                // decode: dither mode m_nDither
    JPG_OPT_ONE_PASS = 0x400,              // decode: one-pass quantisation
    JPG_OPT_NO_SMOOTH_UPSAMPLING = 0x800,  // decode: plain chroma upsampling
    JPG_OPT_UPRIGHT = 0x1000               // decode: turned as the EXIF orientation says
};

class VistelJPG : public Vistel {
public:
    typedef ::VsExifInfo VsExifInfo;
    // Stream adapter: libjpeg destination and source manager over a VsFile.
    class VsFileJpg;

    VistelJPG();
    ~VistelJPG() override;
    VistelJPG(const VistelJPG&) = delete;
    VistelJPG& operator=(const VistelJPG&) = delete;

    // Replaces the image with the JPEG at the stream's position. With
    // nEscape = -1 only the header is read: the size (after scaling, and
    // turning with JPG_OPT_UPRIGHT) lands in the header, 0 x 0 when a decode
    // would refuse it, and no pixels are made.
    bool Decode(VsFile* hFile) override;
    bool Encode(VsFile* hFile) override;
    // Header-only decode of a buffer; fills basic_info on success with the
    // size the decoder gives the picture (0 x 0: it refuses the size), and
    // as leastBytes the bytes a file needs to code every block of it.
    static bool CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info);
    // Fills *facts from the data's headers and metadata, without decoding
    // pixels; false when the data is no file of this type.
    static bool Describe(const BYTE* data, size_t size, PictureFacts* facts);
    // Reads the stream's EXIF and comment segments into m_exifinfo, leaving
    // the stream where it was; true when the file carries parsed EXIF data.
    bool DecodeExif(VsFile* hFile);

    const tag_ExifInfo& GetExifInfo() const { return m_exifinfo; }

protected:
    VsExifInfo* m_exif;
    tag_ExifInfo m_exifinfo;
    long m_nPredictor;
    long m_nPointTransform;
    long m_nSmoothing;
    long m_nQuantize;
    J_DITHER_MODE m_nDither;
    // Receives what a header read learns, when set (Describe).
    PictureFacts* m_facts = nullptr;

private:
    // Set by a decode: the fewest bytes the data has when its scans can
    // code every block.
    uint64_t leastBytes_ = 0;
    bool RunDecompress(VsFileJpg* src, VistelJPG* work, bool bHasExif);
    bool RunCompress(VsFileJpg* dst, bool bGrey);
    void ApplyDecodeOptions(j_decompress_ptr cinfo);
    void ApplyEncodeOptions(j_compress_ptr cinfo);
    // The resolution the file states, from EXIF (0 where unusable) or else
    // JFIF (the bare densities for unit 0); false for none.
    bool StoredDpi(j_decompress_ptr cinfo, bool bHasExif, long* x, long* y) const;
    void SetDecodedPalette(j_decompress_ptr cinfo, VistelJPG* work);
};

#endif
