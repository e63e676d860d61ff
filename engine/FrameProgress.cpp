#include <algorithm>
#include <cstdint>

#include "engine/PixelProcessor.h"

int PixelProcessor::ProgressPercent() const
{
    const FrameRange& range = filterInfo->filterRange;
    const std::int64_t lastStep = static_cast<std::int64_t>(range.Count()) - 1;
    const std::int64_t divisor = lastStep > 1 ? lastStep : 1;
    const std::int64_t offset = static_cast<std::int64_t>(filterInfo->queueRange.Current()) - range.First();
    const std::int64_t percent = offset * 100 / divisor;
    return static_cast<int>(std::clamp<std::int64_t>(percent, INT32_MIN, INT32_MAX));
}
