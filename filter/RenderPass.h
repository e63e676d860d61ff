// What the render pass hands the engine's turns besides the angle (which is
// FrameAngle, filter/FrameAngle.h). ProcessFrame (RenderPass.cpp) turns with
// these; the benchmark sets a comparison warp onto the same corners.
#pragma once

#include <cstdint>

#include "filter/RotationParams.h"

// The perspective handed to the X and Y turns.
constexpr float kRenderPerspective = 0.25f;

// The engine's pivot offset, the code's distance from PivotCenter. Taken
// modulo 2^32 so that any stored code gives a defined value; codes other
// than the three pivots give offsets the engine has no pivot for.
inline int PivotOffset(std::int32_t pivot)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(pivot) - static_cast<std::uint32_t>(PivotCenter));
}
