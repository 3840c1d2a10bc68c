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
        const DWORD v = (pixel & mask_) >> shift_;
        return width_ > 8 ? (BYTE)(v >> (width_ - 8)) : widened_[v];
    }

private:
    DWORD mask_;
    int shift_ = 0;
    int width_ = 0;  // from the lowest to the highest bit of the mask
    BYTE widened_[256] = {0};
};

#endif
