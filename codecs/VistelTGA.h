// TGA codec: reads Truevision TGA files, colour-mapped, true-colour and grey
// (image types 1, 2, 3 and their run-length encoded forms 9, 10, 11) at 8,
// 15, 16, 24 and 32 bits per pixel, from any of the four origin corners;
// writes bottom-up files, uncompressed or run-length encoded: 8-bit
// colour-mapped, 24-bit, or 32-bit when the image has an alpha plane.
//
// Decoded images are 8-bit (colour-mapped and 8-bit grey, with the grey
// palette for grey) or 24-bit; 32-bit files and 16-bit grey-with-alpha
// files also get an alpha plane.
#ifndef VISTEL_VISTELTGA_H
#define VISTEL_VISTELTGA_H

#include "PictureFacts.h"
#include "Vistel.h"

// The TGA codec option word (GetCodecOption(VISTEL_FORMAT_TGA)).
enum TGA_CODEC_OPTIONS : DWORD {
    TGA_OPT_RLE = 1  // encode: run-length packets (image types 9 and 10)
};

class VistelTGA : public Vistel {
public:
    VistelTGA() : Vistel(VISTEL_FORMAT_TGA) {}

    // False with the reason in GetLastError() when the data is not a TGA
    // file this codec reads, or ends before all pixels; the image is then
    // left as it was.
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
    // Recognises TGA data from its header and reports its size, and as
    // leastBytes the bytes that hold the pixels the header announces. TGA has
    // no signature: data shorter than that is no TGA (formats::Probe).
    static bool CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info);
    // Whether data starts with a header this codec reads, the pixels not
    // counted: TGA has no signature, and a file's first bytes alone pass
    // CheckFormat only when they hold the whole picture.
    static bool HeaderIsReadable(const BYTE* data, size_t size);
    // Fills *facts from the data's headers and metadata, without decoding
    // pixels; false when the data is no file of this type.
    static bool Describe(const BYTE* data, size_t size, PictureFacts* facts);

protected:
    struct ReadState;

    // Reads the whole file into this (empty) image; null or the error text.
    const char* DecodeImage(VsFile* hFile);
    const char* ReadPixels(ReadState& st);
    // Fill pDest with one row of pixels in the file's own layout; false when
    // the data ends first.
    bool ExpandUncompressedLine(ReadState& st, BYTE* pDest);
    bool ExpandCompressedLine(ReadState& st, BYTE* pDest);
};

#endif
