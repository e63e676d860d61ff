#include <cstdint>

#include "engine/ImageWarper.h"
#include "filter/FrameAngle.h"
#include "filter/RotationFilter.h"

namespace {

// Perspective handed to the X and Y turns.
constexpr float kPerspective = 0.25f;

// The engine's pivot offset, the code's distance from PivotCenter. Taken
// modulo 2^32 so that any stored code gives a defined value; codes other
// than the three pivots give offsets the engine has no pivot for.
int PivotOffset(std::int32_t pivot)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(pivot) - static_cast<std::uint32_t>(PivotCenter));
}

}  // namespace

int RotationFilter::ProcessFrame(HWND window)
{
    if (!srcmap)
        return 0;
    ImageWarper engine(window, ifi, srcmap);
    if (!engine.HasBuffer())
        return 0;  // the frame does not fit in memory; the bitmap is left as it was
    const float angle = FrameAngle(params.startAngle, params.endAngle, engine.ProgressPercent());
    const int pivotOffset = PivotOffset(params.pivot);
    switch (params.axis) {
    case AxisX: engine.TurnAboutX(pivotOffset, angle, kPerspective); break;
    case AxisY: engine.TurnAboutY(pivotOffset, angle, kPerspective); break;
    case AxisZ: engine.TurnAboutZ(pivotOffset, angle); break;
    default: break;  // an unknown axis writes the captured frame back unchanged
    }
    engine.WriteBack();
    return 1;
}
