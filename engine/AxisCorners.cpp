#include "engine/AxisCorners.h"

#include <cmath>

namespace {

// Degrees to radians with the float value of pi, formed in double and
// stored as float.
float Radians(float degrees)
{
    constexpr float kPi = 3.1415927f;
    return static_cast<float>(static_cast<double>(degrees) * kPi / 180.0);
}

// The pivot for offsets -1, 0, +1; none for any other offset.
std::optional<Point2> PickPivot(int pivotOffset, Point2 lower, Point2 centre, Point2 upper)
{
    switch (pivotOffset) {
    case -1: return lower;
    case 0: return centre;
    case 1: return upper;
    default: return std::nullopt;
    }
}

float CentreAdjusted(int pivotOffset, float perspective)
{
    return pivotOffset == 0 ? static_cast<float>(perspective / 2.0) : perspective;
}

// The sine and cosine of an angle in degrees.
struct SineCosine {
    double sin, cos;
};

SineCosine SineCosineOf(float degrees)
{
    const double a = Radians(degrees);
    return {std::sin(a), std::cos(a)};
}

// Moves the frame's corners to be relative to the pivot, replaces each by
// turn(corner), and moves them back; none without a pivot. The shifts are
// the host's in-place float operations.
template <typename Turn>
std::optional<QuadCorners> TurnedCorners(float w, float h, std::optional<Point2> pivot, Turn turn)
{
    if (!pivot)
        return std::nullopt;
    QuadCorners corners = {Point2(0.0f, 0.0f), Point2(w, h), Point2(0.0f, h), Point2(w, 0.0f)};
    for (Point2& corner : corners) {
        corner -= *pivot;
        corner = turn(static_cast<double>(corner.x), static_cast<double>(corner.y));
        corner += *pivot;
    }
    return corners;
}

}  // namespace

std::optional<QuadCorners> CornersAboutX(int width, int height, int pivotOffset, float angle, float perspective)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const double f = CentreAdjusted(pivotOffset, perspective);
    const SineCosine t = SineCosineOf(angle);
    // Rows foreshortened toward the pivot row; each row's width scaled about
    // the pivot column by its distance from the pivot row.
    return TurnedCorners(
        w, h, PickPivot(pivotOffset, Point2(w / 2.0f, h), Point2(w / 2.0f, h / 2.0f), Point2(w / 2.0f, 0.0f)),
        [&](double x, double y) { return Point2(x - ((t.sin * y * 2) / h) * x * f, t.cos * y); });
}

std::optional<QuadCorners> CornersAboutY(int width, int height, int pivotOffset, float angle, float perspective)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const double f = CentreAdjusted(pivotOffset, perspective);
    const SineCosine t = SineCosineOf(angle);
    return TurnedCorners(
        w, h, PickPivot(pivotOffset, Point2(0.0f, h / 2.0f), Point2(w / 2.0f, h / 2.0f), Point2(w, h / 2.0f)),
        [&](double x, double y) { return Point2(t.cos * x, y - ((t.sin * x * 2) / w) * y * f); });
}

std::optional<QuadCorners> CornersAboutZ(int width, int height, int pivotOffset, float angle)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    // Negated because row 0 is at the top: a positive angle then turns the
    // picture counter-clockwise as displayed.
    const SineCosine t = SineCosineOf(-angle);
    return TurnedCorners(w, h, PickPivot(pivotOffset, Point2(0.0f, h), Point2(w / 2.0f, h / 2.0f), Point2(w, 0.0f)),
                         [&](double x, double y) { return Point2(t.cos * x - t.sin * y, t.sin * x + t.cos * y); });
}
