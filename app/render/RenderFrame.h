// One frame through a filter, as the host's queue runs it.
#pragma once

#include <string>

#include "flt/ImageFilter.h"
#include "image/Frame.h"

// Hands `frame` and the two ranges to `filter` and has it render in place.
// `queue` is the frames being run, with Current() the frame number;
// `filterRange` is the filter's active range. Throws Failure naming `what`
// (the frame's file) when the filter renders nothing.
void RenderFrame(ImageFilter& filter, Frame& frame, const FrameRange& queue, const FrameRange& filterRange,
                 const std::string& what);
