#include "DataBytes.h"

#include <cstring>

#include "Formats.h"

namespace {

// The value of a base64 digit; -1 for white space, -2 for anything else.
int DigitValue(BYTE c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' ? -1 : -2;
}

bool IsPicture(const BYTE* bytes, size_t length)
{
    return formats::Probe(bytes, length, nullptr) || formats::BySignature(bytes, length);
}

}  // namespace

bool DecodeBase64(const BYTE* text, size_t length, std::vector<BYTE>* out)
{
    out->clear();
    out->reserve(length / 4 * 3 + 3);
    uint32_t bits = 0;
    int digits = 0;
    size_t padding = 0;
    for (size_t i = 0; i < length; i++) {
        const BYTE c = text[i];
        if (c == '=') {
            padding++;
            continue;
        }
        const int v = DigitValue(c);
        if (v == -1) continue;
        // Digits after padding, or a character of no alphabet: no base64.
        if (v == -2 || padding) return false;
        bits = (bits << 6) | (uint32_t)v;
        if (++digits % 4 == 0) {
            out->push_back((BYTE)(bits >> 16));
            out->push_back((BYTE)(bits >> 8));
            out->push_back((BYTE)bits);
        }
    }
    switch (digits % 4) {
    case 1: return false;  // six bits make no byte
    case 2: out->push_back((BYTE)(bits >> 4)); break;
    case 3:
        out->push_back((BYTE)(bits >> 10));
        out->push_back((BYTE)(bits >> 2));
        break;
    default: break;
    }
    return padding <= 2 && !out->empty();
}

DataBytes::DataBytes(Tcl_Obj* data)
{
    int length = 0;
    bytes_ = Tcl_GetByteArrayFromObj(data, &length);
    length_ = length > 0 ? (size_t)length : 0;
    if (!bytes_ || IsPicture(bytes_, length_)) return;
    if (DecodeBase64(bytes_, length_, &decoded_) && IsPicture(decoded_.data(), decoded_.size())) {
        bytes_ = decoded_.data();
        length_ = decoded_.size();
    } else {
        decoded_.clear();
    }
}
