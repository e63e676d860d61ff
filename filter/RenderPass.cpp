#include "filter/RenderPass.h"

#include "engine/ImageWarper.h"
#include "filter/FrameAngle.h"
#include "filter/RotationFilter.h"

// The captured frame is the starting picture of the working buffer: with an
// unknown axis (or a pivot the turn has none for) it goes back unchanged; a
// turn first clears it, because the turned picture may not cover the frame.
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
    case AxisX: engine.TurnAboutX(pivotOffset, angle, kRenderPerspective); break;
    case AxisY: engine.TurnAboutY(pivotOffset, angle, kRenderPerspective); break;
    case AxisZ: engine.TurnAboutZ(pivotOffset, angle); break;
    default: break;
    }
    engine.WriteBack();
    return 1;
}
