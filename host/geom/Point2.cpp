#include "geom/Point2.h"

Point2& Point2::operator+=(const Point2& other)
{
    x += other.x;
    y += other.y;
    return *this;
}

Point2& Point2::operator-=(const Point2& other)
{
    x -= other.x;
    y -= other.y;
    return *this;
}
