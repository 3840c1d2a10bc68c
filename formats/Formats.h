// The file types the library reads and writes, in one table: each type's
// name, file-name extensions, signature check and codec, in the order in
// which data of unknown type is probed; and the dispatch that decodes and
// encodes through it.
#ifndef VISTEL_FORMATS_H
#define VISTEL_FORMATS_H

#include <cstddef>
#include <memory>

#include "PictureFacts.h"
#include "Vistel.h"

namespace formats {

struct Format {
    DWORD type;                 // ENUM_VISTEL_FORMATS
    const char* name;           // as messages name it: "PNG", "GIF", ...
    const char* extensions[3];  // lower case, without the dot; null-ended
    // The bytes every file of the type starts with; null for none (TGA).
    const char* signature;
    size_t signatureLength;
    // Recognises the type from the data's first bytes and reports the
    // picture's size as the decoder makes it.
    bool (*check)(BYTE* data, DWORD size, basic_image_information* info);
    // A codec object for the type.
    std::unique_ptr<Vistel> (*make)();
    // What the headers and metadata say, without decoding pixels.
    bool (*describe)(const BYTE* data, size_t size, PictureFacts* facts);
    // The most of a file's first bytes its header check can need to decide
    // (what a photo match reads at most).
    size_t headerReach;
};

// Every type, in probe order; `count` receives their number.
const Format* All(size_t* count);
// The type of a number, or null.
const Format* ByType(DWORD type);
// The type a file name's extension names, or null.
const Format* ByFileName(const char* fileName);
// The first type whose header check the data passes, with the picture's
// size in *info; null when none does. `data` may be the first bytes of
// data `dataLength` long (a file's first bytes); data too short for the
// picture its header claims is no TGA, and any other type then reports 0 x 0
// (its decoder refuses it and says why).
const Format* Probe(const BYTE* data, size_t size, basic_image_information* info,
                    uint64_t dataLength = 0);
// The type whose signature the data starts with, whether or not the rest
// of its header holds; null when none does.
const Format* BySignature(const BYTE* data, size_t size);

// The facts the headers and metadata of data of a type we read give (the
// type found as Decode finds it); false when no type's reader takes them.
bool Describe(const BYTE* data, size_t size, PictureFacts* facts);

// Decodes data of the given type, or with VISTEL_FORMAT_UNKNOWN of the type
// its header names (Probe), else of the type its signature names, whose
// decoder then says what is wrong. The picture comes at 1/GetJpegScale()
// of its size: JPEG through libjpeg's DCT scaling, the other types shrunk
// by area averaging (ShrinkByArea). On failure the image keeps its pixels and its last
// error names the decoder and the cause ("unknown image format" when no
// signature matched, "empty file" for no data).
bool Decode(Vistel& image, const BYTE* data, size_t size, DWORD type);
bool Decode(Vistel& image, VsFile* file, DWORD type);
// As Decode, from a file ("is a directory" for a directory).
bool Load(Vistel& image, const char* fileName, DWORD type);

// The type a write produces: the one a format name asked for (`named`, or
// VISTEL_FORMAT_UNKNOWN), else the one the file name's extension names,
// else GIF.
DWORD OutputType(DWORD named, const char* fileName);

// Changes the image into one the type's encoder takes, keeping what the
// type can hold (formats/Conversion.cpp): JPEG gets 24-bit colour unless
// the picture is the 8-bit grey ramp, GIF palette indices, TGA 8 bits or
// more; alpha, which neither JPEG nor BMP holds, is composed onto the
// background there, and a TGA keeps a palette's transparency as 32-bit
// colour. False with the reason as the image's last error.
bool PrepareForType(Vistel& image, DWORD type, RGBQUAD background = {255, 255, 255, 0});

// Encodes the image as `type`; on failure the reason is the image's last
// error. The buffer form hands over a block to release with free().
bool Encode(Vistel& image, VsFile* file, DWORD type);
bool Encode(Vistel& image, BYTE*& buffer, long& size, DWORD type);
bool Save(Vistel& image, const char* fileName, DWORD type);

}  // namespace formats

#endif
