#include "filter/RenderPass.h"

#include <cstdint>

#include "engine/ImageWarper.h"
#include "filter/FrameAngle.h"
#include "filter/RotationFilter.h"

namespace {

// The engine's pivot offset, the code's distance from PivotCenter. Taken
// modulo 2^32 so that any stored code gives a defined value; codes other
// than the three pivots give offsets the engine has no pivot for.
int PivotOffset(std::int32_t pivot)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(pivot) - static_cast<std::uint32_t>(PivotCenter));
}

}  // namespace

std::optional<QuadCorners> FrameCorners(const RotationParams& params, int width, int height, float angle)
{
    const int pivotOffset = PivotOffset(params.pivot);
    switch (params.axis) {
    case AxisX: return CornersAboutX(width, height, pivotOffset, angle, kRenderPerspective);
    case AxisY: return CornersAboutY(width, height, pivotOffset, angle, kRenderPerspective);
    case AxisZ: return CornersAboutZ(width, height, pivotOffset, angle);
    default: return std::nullopt;
    }
}

// The captured frame is the starting picture of the working buffer: with no
// corners (an unknown axis or pivot) it goes back unchanged; a warp first
// clears it, because the turned picture may not cover the whole frame.
int RotationFilter::ProcessFrame(HWND window)
{
    if (!srcmap)
        return 0;
    ImageWarper engine(window, ifi, srcmap);
    if (!engine.HasBuffer())
        return 0;  // the frame does not fit in memory; the bitmap is left as it was
    const float angle = FrameAngle(params.startAngle, params.endAngle, engine.ProgressPercent());
    if (const std::optional<QuadCorners> corners = FrameCorners(params, engine.Width(), engine.Height(), angle))
        engine.WarpToQuad((*corners)[0], (*corners)[1], (*corners)[2], (*corners)[3]);
    engine.WriteBack();
    return 1;
}
