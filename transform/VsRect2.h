// Points and axis-aligned rectangles in floating-point pixel coordinates,
// used by the samplers and the arbitrary-angle turns.
#ifndef VISTEL_VSRECT2_H
#define VISTEL_VSRECT2_H

class VsPoint2 {
public:
    VsPoint2() : x(0.0f), y(0.0f) {}
    VsPoint2(float const x_, float const y_) : x(x_), y(y_) {}

    // Euclidean distance to another point.
    float Distance(VsPoint2 p) const;
    float Distance(float x_, float y_) const;

    float x;
    float y;
};

// botLeft holds the smaller x and y, topRight the larger ones.
class VsRect2 {
public:
    VsRect2() {}
    VsRect2(float x1, float y1, float x2, float y2) : botLeft(x1, y1), topRight(x2, y2) {}
    VsRect2(const VsRect2& p) = default;
    VsRect2& operator=(const VsRect2& p) = default;

    float Width() const { return topRight.x - botLeft.x; }
    float Height() const { return topRight.y - botLeft.y; }
    float Surface() const { return Width() * Height(); }
    VsPoint2 Center() const;
    // The overlap of the two rectangles; all zero when they do not meet
    // (touching edges give a zero-width or zero-height overlap).
    VsRect2 CrossSection(const VsRect2& r) const;

    VsPoint2 botLeft;
    VsPoint2 topRight;
};

#endif
