// What a farm task and the render process it starts (`veldra-images farm
// chunk`) say to each other. The task hands its order on the process's
// command line:
//
//   farm chunk RUN --attempt A --retries R --frames LIST --range F-L
//              --params BLOCK --jobs N -- RENDER-WORDS...
//
// the render words (INPUT, OUTPUT and the options the run was submitted
// with) last and as submitted. The process answers a line a step on its
// standard output:
//
//   frame 7, attempt 2: rendering       as it starts an attempt
//   frame 7: done                       once the frame is recorded done
//   frame 7: failed: MESSAGE            once it is recorded failed
//
// MESSAGE starts "cannot record it: " when the frame's record could not be
// written. Its errors go to standard error as every veldra's do,
// "veldra: PROBLEM", and its warnings as "veldra: warning: TEXT".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sequence/FrameList.h"

// A render process's order.
struct ChunkOrder {
    std::string run;                       // the run folder
    int firstAttempt = 1;                  // the number of its first attempt at each frame
    int retries = 0;                       // further attempts at a failing frame
    std::vector<int> frames;               // in order
    FrameSpan range;                       // the filter's active range
    std::string params;                    // the parameter block's file
    int jobs = 1;                          // frames rendered at once
    std::vector<std::string> renderWords;  // INPUT, OUTPUT and the run's render options
};

// The words after "farm chunk".
std::vector<std::string> EncodeChunkOrder(const ChunkOrder& order);
// The order `words` (after "farm chunk") give; throws Failure (a usage
// error) naming what is missing or malformed.
ChunkOrder DecodeChunkOrder(const std::vector<std::string>& words);

// The lines a render process says of a frame.
std::string StartLine(int frame, int attempt);
std::string FinishLine(int frame, bool ok, const std::string& message);
// The message of a frame whose record could not be written, and why.
std::string UnrecordedMessage(const std::string& why);

struct ProgressEvent {
    int frame = 0;
    int attempt = 0;  // 0 for a finished frame
    bool finished = false;
    bool ok = false;         // finished: recorded done
    std::string message;     // finished and failed: why
    std::string unrecorded;  // finished and failed for want of its record: why that could not be written
};
// The event a line of a render process's output tells, or nothing for
// anything else it prints.
std::optional<ProgressEvent> ReadProgressLine(const std::string& line);

// The problem an error line of a render process's standard error names,
// or nothing for a warning or any other line.
std::optional<std::string> ReadErrorLine(const std::string& line);
