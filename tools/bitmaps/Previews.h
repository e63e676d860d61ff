// The setup dialog's nine preview pictures, drawn by the filter itself so
// that they always show what the filter really does: an 80 x 80 red-and-white
// checkerboard sent through the real render pass with the pair's axis and
// pivot, at an angle that shows the turn clearly.
#pragma once

#include <string>

#include "BmpFile.h"

constexpr int kPreviewSize = 80;
constexpr int kPreviewCount = 9;

struct PreviewPlan {
    int axis;         // AxisX, AxisY, AxisZ
    int pivot;        // PivotLower, PivotCenter, PivotUpper
    float angle;      // degrees
    const char* file; // name of the BMP that the resource script embeds
};

// In bitmap order 104 to 112: X lower, X centre, X upper, Y ..., Z upper.
extern const PreviewPlan kPreviewPlans[kPreviewCount];

// Throws std::runtime_error when the filter does not render.
RgbPicture RenderPreview(const PreviewPlan& plan);
