// Distances, centres and overlaps of VsPoint2 and VsRect2.
#include "VsRect2.h"

#include <algorithm>
#include <cmath>

float VsPoint2::Distance(VsPoint2 p) const
{
    return Distance(p.x, p.y);
}

float VsPoint2::Distance(float x_, float y_) const
{
    const float dx = x - x_, dy = y - y_;
    return (float)sqrt(dx * dx + dy * dy);
}

VsPoint2 VsRect2::Center() const
{
    return VsPoint2((botLeft.x + topRight.x) * 0.5f, (botLeft.y + topRight.y) * 0.5f);
}

VsRect2 VsRect2::CrossSection(const VsRect2& r) const
{
    VsRect2 cs(std::max(botLeft.x, r.botLeft.x), std::max(botLeft.y, r.botLeft.y),
               std::min(topRight.x, r.topRight.x), std::min(topRight.y, r.topRight.y));
    if (cs.botLeft.x <= cs.topRight.x && cs.botLeft.y <= cs.topRight.y) return cs;
    return VsRect2();
}
