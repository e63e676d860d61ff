#include "render/RenderFrame.h"

#include "Failure.h"

void RenderFrame(ImageFilter& filter, Frame& frame, const FrameRange& queue, const FrameRange& filterRange,
                 const std::string& what)
{
    ImageFilterInfo info;
    info.queueRange = queue;
    info.filterRange = filterRange;
    filter.SetSource(frame.bitmap.get());
    filter.SetFilterInfo(&info);
    const int rendered = filter.ProcessFrame(nullptr);
    // The filter keeps no pointers to what outlives this call.
    filter.SetSource(nullptr);
    filter.SetFilterInfo(nullptr);
    if (rendered != 1)
        throw Failure(what + ": the filter did not render frame " + std::to_string(queue.Current()) +
                      " (ProcessFrame returned " + std::to_string(rendered) + ")");
}
