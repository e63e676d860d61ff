// How many frames a farm run takes: the limit on the frames of its shot,
// of the frame lists in its files and of the task lists Slurm answers with
// for its job array (one task a frame at most).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "messages/Failure.h"
#include "sequence/FrameList.h"

// The most frames a run takes. Each gets a manifest entry and a status
// record, so a shot far beyond what a cluster renders is a typing slip, and
// a list of more in a run's files is damage: either is refused before
// anything is allocated for it.
constexpr std::int64_t kMostFramesInRun = 1000000;

// The frames of `list`; throws Failure naming `subject` when there are more
// than kMostFramesInRun.
inline std::vector<int> FramesOfRun(const FrameList& list, const std::string& subject)
{
    if (list.Count() > kMostFramesInRun)
        throw Failure(subject, std::to_string(list.Count()) + " frames is more than a farm run takes (" +
                                   std::to_string(kMostFramesInRun) + ")");
    return list.Frames();
}
