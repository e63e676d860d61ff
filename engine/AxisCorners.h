// Where the four corners of a width x height frame go when it is turned
// about X, Y or Z through a pivot. Plain closed formulas on the corners, in
// float storage with double arithmetic, so the result is the same bits on
// every build.
#pragma once

#include <array>
#include <optional>

#include "geom/Point2.h"

// The corners in the order the quad warp takes them: where source (0, 0)
// goes, then (W, H), (0, H) and (W, 0).
using QuadCorners = std::array<Point2, 4>;

// Pivot offsets: -1, 0 or +1 (see ImageWarper for what each means per
// axis). Any other offset has no pivot and gives no corners. Angles are
// degrees; perspective is the widening factor, halved for the centre pivot.
std::optional<QuadCorners> CornersAboutX(int width, int height, int pivotOffset, float angle, float perspective);
std::optional<QuadCorners> CornersAboutY(int width, int height, int pivotOffset, float angle, float perspective);
std::optional<QuadCorners> CornersAboutZ(int width, int height, int pivotOffset, float angle);
