#include "farm/ChunkAttempts.h"

ChunkAttempts::ChunkAttempts(std::vector<int> frames, int maxAttempts, const std::map<int, int>& earlier)
    : maxAttempts_(maxAttempts)
{
    for (const int frame : frames) {
        const auto found = earlier.find(frame);
        const int before = found == earlier.end() ? 0 : found->second;
        frames_.push_back(Frame{frame, before, before + maxAttempts});
    }
}

void ChunkAttempts::Heard(const ProgressEvent& event)
{
    for (Frame& frame : frames_) {
        if (frame.frame != event.frame)
            continue;
        heard_ = true;
        if (event.finished)
            frame.finished = true;
        else if (event.attempt > frame.attempts)
            frame.attempts = event.attempt;
    }
}

std::optional<ChunkAttempts::Run> ChunkAttempts::Next()
{
    const bool stuck = started_ && !heard_;
    started_ = true;
    heard_ = false;
    Run together;
    for (Frame& frame : frames_) {
        if (frame.finished || frame.givenUp)
            continue;
        if (stuck || frame.attempts >= frame.lastAttempt) {
            frame.givenUp = true;
            continue;
        }
        // Started and not finished: its process ended under it.
        if (frame.attempts > 0)
            return Run{{frame.frame}, frame.attempts + 1, frame.lastAttempt};
        together.frames.push_back(frame.frame);
    }
    together.lastAttempt = maxAttempts_;
    if (together.frames.empty())
        return std::nullopt;
    return together;
}

std::vector<std::pair<int, int>> ChunkAttempts::TakeGivenUp()
{
    std::vector<std::pair<int, int>> givenUp;
    for (Frame& frame : frames_) {
        if (frame.givenUp && !frame.reported) {
            frame.reported = true;
            givenUp.emplace_back(frame.frame, frame.attempts);
        }
    }
    return givenUp;
}
