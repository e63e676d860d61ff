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

// Moves the frame's corners to be relative to the pivot, replaces each by
// turn(corner), and moves them back. The shifts are the host's in-place
// float operations.
template <typename Turn>
QuadCorners TurnedCorners(float w, float h, Point2 pivot, Turn turn)
{
    QuadCorners corners = {Point2(0.0f, 0.0f), Point2(w, h), Point2(0.0f, h), Point2(w, 0.0f)};
    for (Point2& corner : corners) {
        corner -= pivot;
        corner = turn(static_cast<double>(corner.x), static_cast<double>(corner.y));
        corner += pivot;
    }
    return corners;
}

}  // namespace

std::optional<QuadCorners> CornersAboutX(int width, int height, int pivotOffset, float angle, float perspective)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const std::optional<Point2> pivot = PickPivot(pivotOffset, Point2(w / 2.0f, h), Point2(w / 2.0f, h / 2.0f),
                                                  Point2(w / 2.0f, 0.0f));
    if (!pivot)
        return std::nullopt;
    const double f = CentreAdjusted(pivotOffset, perspective);
    const double a = Radians(angle);
    const double sinA = std::sin(a), cosA = std::cos(a);
    // Rows foreshortened toward the pivot row; each row's width scaled about
    // the pivot column by its distance from the pivot row.
    return TurnedCorners(w, h, *pivot,
                         [&](double x, double y) { return Point2(x - ((sinA * y * 2) / h) * x * f, cosA * y); });
}

std::optional<QuadCorners> CornersAboutY(int width, int height, int pivotOffset, float angle, float perspective)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const std::optional<Point2> pivot = PickPivot(pivotOffset, Point2(0.0f, h / 2.0f), Point2(w / 2.0f, h / 2.0f),
                                                  Point2(w, h / 2.0f));
    if (!pivot)
        return std::nullopt;
    const double f = CentreAdjusted(pivotOffset, perspective);
    const double a = Radians(angle);
    const double sinA = std::sin(a), cosA = std::cos(a);
    return TurnedCorners(w, h, *pivot,
                         [&](double x, double y) { return Point2(cosA * x, y - ((sinA * x * 2) / w) * y * f); });
}

std::optional<QuadCorners> CornersAboutZ(int width, int height, int pivotOffset, float angle)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const std::optional<Point2> pivot = PickPivot(pivotOffset, Point2(0.0f, h), Point2(w / 2.0f, h / 2.0f),
                                                  Point2(w, 0.0f));
    if (!pivot)
        return std::nullopt;
    // Negated because row 0 is at the top: a positive angle then turns the
    // picture counter-clockwise as displayed.
    const double a = Radians(-angle);
    const double sinA = std::sin(a), cosA = std::cos(a);
    return TurnedCorners(w, h, *pivot,
                         [&](double x, double y) { return Point2(cosA * x - sinA * y, sinA * x + cosA * y); });
}
