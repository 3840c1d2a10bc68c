// PNG codec: reads every PNG colour type and bit depth into the image (with
// palette, transparency, alpha plane, resolution and interlacing) and writes
// palette, RGB or RGBA files, driving libpng over a VsFile.
//
// Decoding maps the file onto the bitmap as follows:
//   palette 1/2/4/8 bits      -> indexed 1/4/4/8 bits (2-bit rows widened),
//                                tRNS as per-entry alpha or transparent index 0
//   grey 1/2/4/8/16 bits      -> indexed 1/4/4/8/8 bits with a grey palette
//   RGB 8/16 bits             -> 24 bits
//   RGBA 8/16, grey+alpha 8/16, grey and RGB with a tRNS colour
//                             -> 24 bits with an alpha plane (tRNS: alpha 0
//                                where the sample equals it at full depth)
// Pixels are what the file stores: nothing is composited onto bKGD (which
// is kept as the image's background colour) and gamma is not applied.
// 16-bit samples keep their high byte. A failed decode leaves the image as
// it was and the reason in GetLastError(); with nEscape -1 only the chunks
// before the image data are read, and the size lands in the image header.
#ifndef VISTEL_VISTELPNG_H
#define VISTEL_VISTELPNG_H

#include <png.h>

#include "PictureFacts.h"
#include "Vistel.h"

class VistelPNG : public Vistel {
public:
    VistelPNG() : Vistel(VISTEL_FORMAT_PNG) {}

    bool Decode(VsFile* hFile) override;
    // Writes a palette file for indexed images, RGB for 24-bit images and
    // RGBA when the image has an alpha plane or a 24-bit transparent colour;
    // Adam7 when the PNG codec option is 1. Always writes bKGD and pHYs.
    bool Encode(VsFile* hFile) override;
    // Recognises PNG data by its signature and reports the size the decoder
    // gives it, read by the decoder's own header reading. Headers the decoder
    // refuses report 0 x 0, so that a photo read asks the decoder, which says
    // why. False for other data, and for data that ends before the first
    // image data chunk (more of it may tell). leastBytes: the bytes the data
    // has when its image data can inflate to the rows; image data that ends
    // too soon in the data at hand is refused as a header is.
    static bool CheckFormat(BYTE* buffer, DWORD size, basic_image_information* basic_info);
    // Fills *facts from the data's headers and metadata, without decoding
    // pixels; false when the data is no file of this type.
    static bool Describe(const BYTE* data, size_t size, PictureFacts* facts);

protected:
    // libpng callbacks; the VsFile is the structure's I/O pointer and the
    // error pointer is a 256-byte message buffer.
    static void user_read_data(png_structp png, png_bytep data, size_t length);
    static void user_write_data(png_structp png, png_bytep data, size_t length);
    static void user_flush_data(png_structp png);
    static void user_error_fn(png_structp png, png_const_charp error_msg);
    static void user_warning_fn(png_structp png, png_const_charp warning_msg);

private:
    struct ReadState;
    // Set by a header read: the fewest bytes the data has if its image data
    // can inflate to the rows.
    uint64_t leastBytes_ = 0;
    struct WriteState;
    bool ReadGuarded(ReadState* st, VsFile* hFile);
    bool ReadHeader(ReadState* st);
    bool ReadRows(ReadState* st);
    bool WriteGuarded(WriteState* st, VsFile* hFile);
    void WritePaletteChunks(WriteState* st);
    bool MarkTransparentColour(WriteState* st);
    static void ChooseTrueColourCompression(png_structp png);
    void WriteRows(WriteState* st);
};

#endif
