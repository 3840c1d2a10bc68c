#include "BitField.h"

BitField::BitField(DWORD mask) : mask_(mask)
{
    if (!mask_) return;
    while (!((mask_ >> shift_) & 1)) shift_++;
    int width = 0;
    for (DWORD v = mask_ >> shift_; v; v >>= 1) width++;
    value_ = mask_ >> shift_;
    // The value's bits repeated until they fill a byte: v * 255 / max
    // within one, and exact at both ends. A wide value has a byte already.
    int filled = 0;
    for (; filled < 8; filled += width) repeat_ = (repeat_ << width) | 1;
    drop_ = filled - 8;
}
