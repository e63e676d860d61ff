// The angle, in degrees, for a frame `percent` of the way through the
// filter's range: the difference of the two angles times the percent, over
// 100, plus the starting angle, in double and rounded to float once. Shared
// by the render pass and the host programs that list each frame's angle.
#pragma once

inline float FrameAngle(float startAngle, float endAngle, int percent)
{
    const double span = static_cast<double>(endAngle) - startAngle;
    return static_cast<float>(span * percent / 100.0 + startAngle);
}
