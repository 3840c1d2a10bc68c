// BMP codec: reads Windows and OS/2 bitmaps (1, 4, 8, 16, 24 and 32 bits per
// pixel; uncompressed, bit fields with or without alpha, RLE8 and RLE4; OS/2
// 1.x 12-byte, OS/2 2.x 16- to 39- and 64-byte and Windows 40-, 52-, 56-,
// 108- and 124-byte info headers; top-down files; bare DIBs without a file
// header)
// and writes uncompressed bottom-up files with a 40-byte header.
//
// Bit-field channels narrower than 8 bits are widened by bit replication
// (5-bit 31 is 255). 32-bit bit-field files with an alpha mask keep their
// alpha in the image's alpha plane.
#ifndef VISTEL_VISTELBMP_H
#define VISTEL_VISTELBMP_H

#include "PictureFacts.h"
#include "Vistel.h"

class VistelBMP : public Vistel {
public:
    VistelBMP() : Vistel(VISTEL_FORMAT_BMP) {}
    ~VistelBMP() override {}

    // Reads a BMP from the stream's current position; false with the reason
    // in GetLastError() when it cannot. With nEscape = -1 only the headers
    // are read and checked: width and height land in the image header and
    // the call returns true with "output dimensions returned".
    bool Decode(VsFile* hFile) override;
    bool Decode(FILE* hFile)
    {
        VsIOFile file(hFile);
        return Decode(&file);
    }
    bool Encode(VsFile* hFile) override;
    bool Encode(FILE* hFile)
    {
        VsIOFile file(hFile);
        return Encode(&file);
    }
    // Recognises BMP data by its "BM" signature and reports the size the
    // decoder gives the picture, read by the decoder's own header reading:
    // positive whatever the row order. Headers the decoder refuses report
    // 0 x 0, so that a photo read asks the decoder, which says why, and
    // nothing is allocated for them. False for other data, and for data
    // that ends inside the headers (more of it may tell). leastBytes: the
    // bytes that hold the uncompressed rows the headers announce, which
    // the decoder refuses a file without.
    static bool CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info);
    // Fills *facts from the data's headers and metadata, without decoding
    // pixels; false when the data is no file of this type.
    static bool Describe(const BYTE* data, size_t size, PictureFacts* facts);

private:
    struct Header;
    bool Fail(const char* reason);
    bool ReadPalette(VsFile* hFile, const Header& h);
    bool ReadBitFields(VsFile* hFile, const Header& h, uint64_t fileRowBytes);
};

#endif
