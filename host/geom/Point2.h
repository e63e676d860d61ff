// A point in the plane: two 32-bit floats, x then y. The filter uses it for
// corner points in destination pixel units (x along columns, y along rows,
// row 0 at the top).
#pragma once

#include "HostApi.h"

class GEOM_API Point2 {
public:
    float x, y;

    Point2() {}  // leaves x and y unset, as the host's class does
    Point2(float px, float py) : x(px), y(py) {}
    Point2(double px, double py) : x(static_cast<float>(px)), y(static_cast<float>(py)) {}
    Point2(const Point2&) = default;
    Point2& operator=(const Point2&) = default;

    // Component-wise, in float arithmetic, in place.
    Point2& operator+=(const Point2& other);
    Point2& operator-=(const Point2& other);
};
