#include "render/RenderFrame.h"

#include "messages/Failure.h"

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
    // With a source bitmap set, the filter refuses a frame only when it
    // cannot get its work buffer.
    if (rendered != 1)
        throw Failure(what,
                      "not enough memory for the filter's work buffer for frame " + std::to_string(queue.Current()) +
                          " (" + std::to_string(frame.Width()) + " x " + std::to_string(frame.Height()) + ")",
                      FailureKind::Memory);
}
