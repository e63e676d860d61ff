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
    int axis;     // AxisX, AxisY, AxisZ
    int pivot;    // PivotLower, PivotCenter, PivotUpper
    float angle;  // degrees
};

// In bitmap order 104 to 112: X lower, X centre, X upper, Y ..., Z upper.
extern const PreviewPlan kPreviewPlans[kPreviewCount];

// The BMP file the resource script embeds, preview-<axis>-<pivot>.bmp, and
// its resource id's name, IDB_PREVIEW_<AXIS>_<PIVOT> (resources/resource.h).
std::string PreviewFile(const PreviewPlan& plan);
std::string PreviewResourceId(const PreviewPlan& plan);

// Throws std::runtime_error when the filter does not render.
RgbPicture RenderPreview(const PreviewPlan& plan);
