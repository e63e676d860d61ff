// How far a frame lies into the filter's active range, in whole percent
// truncated toward zero: 0 at the range's first frame, 100 at its last,
// unclamped (negative before the range, above 100 after it). Ranges of up
// to two frames divide by 1. Computed in 64 bits and saturated to the int
// range, so frame numbers far from the range cannot overflow. Shared by the
// engine and the host programs that tell the user which angle a frame gets.
#pragma once

#include <algorithm>
#include <cstdint>

inline int ProgressPercentOf(int current, int first, int count)
{
    const std::int64_t lastStep = static_cast<std::int64_t>(count) - 1;
    const std::int64_t divisor = lastStep > 1 ? lastStep : 1;
    const std::int64_t percent = (static_cast<std::int64_t>(current) - first) * 100 / divisor;
    return static_cast<int>(std::clamp<std::int64_t>(percent, INT32_MIN, INT32_MAX));
}
