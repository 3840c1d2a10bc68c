#include "BitField.h"

BitField::BitField(DWORD mask) : mask_(mask)
{
    if (!mask_) return;
    while (!((mask_ >> shift_) & 1)) shift_++;
    for (DWORD v = mask_ >> shift_; v; v >>= 1) width_++;
    if (width_ > 8) return;
    // The value's bits repeated until they fill a byte: v * 255 / max
    // within one, and exact at both ends.
    for (DWORD v = 0; v < (1u << width_); v++) {
        DWORD bits = 0;
        int filled = 0;
        for (; filled < 8; filled += width_) bits = (bits << width_) | v;
        widened_[v] = (BYTE)(bits >> (filled - 8));
    }
}
