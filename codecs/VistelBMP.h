// BMP codec: reads Windows and OS/2 bitmaps (1, 4, 8, 16, 24 and 32 bits per
// pixel; uncompressed, bit fields, RLE8 and RLE4; 12-, 40-, 52-, 56-, 64-,
// 108- and 124-byte info headers; top-down files; bare DIBs without a file
// header) and writes uncompressed bottom-up files with a 40-byte header.
#ifndef VISTEL_VISTELBMP_H
#define VISTEL_VISTELBMP_H

#include "PictureFacts.h"
#include "Vistel.h"

class VistelBMP : public Vistel {
public:
    VistelBMP() : Vistel(VISTEL_FORMAT_BMP) {}
    ~VistelBMP() override {}

    // Reads a BMP from the stream's current position. With nEscape = -1 only
    // the header is read: width and height land in the image header and the
    // call returns true with "output dimensions returned".
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
    // Recognises BMP data from its first bytes (at least 54, starting "BM")
    // and reports the info header's width and height as stored.
    static bool CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info);
    // Fills *facts from the data's headers and metadata, without decoding
    // pixels; false when the data is no file of this type.
    static bool Describe(const BYTE* data, size_t size, PictureFacts* facts);

protected:
    // Reads an info header of any accepted kind into pdib (host order,
    // normalised to the 40-byte layout) and leaves the stream behind it.
    // Headers of 52 bytes and more carry the red, green and blue bit-field
    // masks; they are stored in masks[0..2] when masks is given.
    bool DibReadBitmapInfo(VsFile* fh, BITMAPINFOHEADER* pdib, DWORD* masks = nullptr);
};

#endif
