// The frames of a task's chunk and the attempts each has had, and what the
// task runs next. A render process (`veldra farm chunk`) renders the frames
// it is given in order, tries a failing frame again itself, records each
// frame, and says on its standard output when it starts an attempt and
// when it has finished a frame (the lines below). When a process ends
// without finishing its frames (it crashed, or was killed), each frame it
// was rendering is tried alone in a process of its own, so that a frame
// that brings the renderer down costs only its own attempts; the frames it
// never reached go on together in a new process.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// What a render process says of a frame: "frame 7, attempt 2: rendering"
// as it starts an attempt, "frame 7: done" or "frame 7: failed" (and the
// message) once the frame is recorded.
std::string StartLine(int frame, int attempt);
std::string FinishLine(int frame, bool ok, const std::string& message);
// How the message of a frame whose record could not be written starts.
constexpr const char* kUnrecorded = "cannot record it: ";

struct ProgressEvent {
    int frame = 0;
    int attempt = 0;  // 0 for a finished frame
    bool finished = false;
};
// The event a line of a render process's output tells, or nothing for
// anything else it prints.
std::optional<ProgressEvent> ReadProgressLine(const std::string& line);

class ChunkAttempts {
public:
    // `frames` in order; each frame has at most `maxAttempts` attempts.
    ChunkAttempts(std::vector<int> frames, int maxAttempts);

    void Heard(const ProgressEvent& event);

    // A render process to start: its frames, in order, and the number of
    // its first attempt at them.
    struct Run {
        std::vector<int> frames;
        int firstAttempt = 1;
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
        bool finished = false;
        bool givenUp = false;
        bool reported = false;
    };
    std::vector<Frame> frames_;
    int maxAttempts_;
    bool started_ = false;  // a process has been run
    bool heard_ = false;    // the last process said anything
};
