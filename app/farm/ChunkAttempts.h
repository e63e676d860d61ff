// The frames of a task's chunk and the attempts each has had, and what the
// task runs next. A render process (`veldra farm chunk`) renders the frames
// it is given in order, tries a failing frame again itself, records each
// frame, and says on its standard output when it starts an attempt and
// when it has finished a frame (farm/RendererProtocol.h). When a process ends
// without finishing its frames (it crashed, or was killed), each frame it
// was rendering is tried alone in a process of its own, so that a frame
// that brings the renderer down costs only its own attempts; the frames it
// never reached go on together in a new process. A frame whose attempts
// ended with an earlier start of the task (its node lost, say) is tried
// alone the same way: those attempts are counted, and it still has all of
// its own.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "farm/RendererProtocol.h"

class ChunkAttempts {
public:
    // `frames` in order; each frame has at most `maxAttempts` attempts
    // after the ones `earlier` counts for it (frame, attempts).
    ChunkAttempts(std::vector<int> frames, int maxAttempts, const std::map<int, int>& earlier = {});

    void Heard(const ProgressEvent& event);

    // A render process to start: its frames, in order, and the number of
    // its first attempt at them.
    struct Run {
        std::vector<int> frames;
        int firstAttempt = 1, lastAttempt = 1;
    };
    // The next process to run, after the last one ended (or at first);
    // nothing when no frame is left to try. A process that ended having
    // neither started nor finished a frame will not do better the next
    // time: its frames are then given up.
    std::optional<Run> Next();

    // Frames given up without a record of the process's own, with the
    // attempts each had: their every attempt ended with its process, or
    // their process could not render at all. Each is returned once.
    std::vector<std::pair<int, int>> TakeGivenUp();

private:
    struct Frame {
        int frame;
        int attempts = 0;  // attempts started
        int lastAttempt = 0;
        bool finished = false;
        bool givenUp = false;
        bool reported = false;
    };
    std::vector<Frame> frames_;
    int maxAttempts_;
    bool started_ = false;  // a process has been run
    bool heard_ = false;    // the last process said anything
};
