#include "BitField.h"

BitField::BitField(DWORD mask) : mask_(mask)
{
    if (!mask_) return;
    while (!((mask_ >> shift_) & 1)) shift_++;
    value_ = mask_ >> shift_;
    int width = 0;
    for (DWORD v = value_; v; v >>= 1) width++;
    // The value's bits repeated until they fill a byte: v * 255 / max
    // within one, and exact at both ends. A wider value has its byte.
    repeat_ = 1;
    int filled = width;
    for (; filled < 8; filled += width) repeat_ = (repeat_ << width) | 1;
    drop_ = filled - 8;
}
