#include "engine/FrameProgress.h"

#include "engine/PixelProcessor.h"

int PixelProcessor::ProgressPercent() const
{
    return ProgressPercentOf(filterInfo->queueRange.Current(), filterInfo->filterRange.First(),
                             filterInfo->filterRange.Count());
}
