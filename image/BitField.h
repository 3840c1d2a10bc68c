// A colour channel of a packed pixel (BMP bit fields, 16-bit pixels): the
// bits a mask selects, brought to 8 bits.
#ifndef VISTEL_BITFIELD_H
#define VISTEL_BITFIELD_H

#include "VsTypes.h"

class BitField {
public:
    explicit BitField(DWORD mask);

    DWORD Mask() const { return mask_; }

    // The channel's value in `pixel` as 8 bits. A channel narrower than 8
    // bits is widened by bit replication, so that its largest value becomes
    // 255 (a 5-bit 31, a 1-bit 1); a wider one keeps its top 8 bits; an
    // empty mask gives 0.
    BYTE Extract(DWORD pixel) const
    {
        return (BYTE)((((pixel >> shift_) & value_) * repeat_) >> drop_);
    }

private:
    DWORD mask_;
    int shift_ = 0;     // of the mask's lowest bit
    DWORD value_ = 0;   // the mask's span, shifted down
    DWORD repeat_ = 0;  // copies of the value side by side: 1 + 2^w + 2^2w ...
    int drop_ = 0;      // low bits past the top 8 of those copies
};

#endif
