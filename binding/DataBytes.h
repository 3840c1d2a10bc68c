// The picture a -data value holds, as Tk's own formats take it: the raw
// bytes of a file, or base64 text of them (the usual way to embed an icon
// in a script).
#ifndef VISTEL_DATABYTES_H
#define VISTEL_DATABYTES_H

#include <cstddef>
#include <vector>

#include "TkVistel.h"
#include "VsTypes.h"

class DataBytes {
public:
    // The value's bytes when they start like a picture of ours; otherwise,
    // when the value is base64 text of such a picture, the decoded bytes;
    // otherwise the raw bytes again, for the decoder to refuse.
    explicit DataBytes(Tcl_Obj* data);
    DataBytes(const DataBytes&) = delete;
    DataBytes& operator=(const DataBytes&) = delete;

    const BYTE* bytes() const { return bytes_; }
    size_t length() const { return length_; }

private:
    const BYTE* bytes_ = nullptr;
    size_t length_ = 0;
    std::vector<BYTE> decoded_;
};

// Decodes base64 text (white space anywhere, padding optional) into *out.
// False for any other character, or for a length no encoding gives.
bool DecodeBase64(const BYTE* text, size_t length, std::vector<BYTE>* out);

#endif
