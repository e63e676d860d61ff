// Where the render pass puts a frame's corners (the angle for the frame's
// place in the range is FrameAngle, filter/FrameAngle.h). ProcessFrame
// (RenderPass.cpp) draws with these; the benchmark uses them to set a
// comparison warp onto the same corners.
#pragma once

#include <optional>

#include "engine/AxisCorners.h"
#include "filter/RotationParams.h"

// The perspective handed to the X and Y turns.
constexpr float kRenderPerspective = 0.25f;

// Where a width x height frame's corners go for `angle` with the block's
// axis and pivot; none for an axis or pivot code the filter does not know
// (the frame is then written back as it was captured).
std::optional<QuadCorners> FrameCorners(const RotationParams& params, int width, int height, float angle);
