#include "farm/ChunkAttempts.h"

#include <climits>

#include "sequence/ParseInteger.h"

std::string StartLine(int frame, int attempt)
{
    return "frame " + std::to_string(frame) + ", attempt " + std::to_string(attempt) + ": rendering";
}

std::string FinishLine(int frame, bool ok, const std::string& message)
{
    return "frame " + std::to_string(frame) + (ok ? ": done" : ": failed: " + message);
}

std::optional<ProgressEvent> ReadProgressLine(const std::string& line)
{
    if (line.compare(0, 6, "frame ") != 0)
        return std::nullopt;
    const std::size_t end = line.find_first_of(",:", 6);
    if (end == std::string::npos)
        return std::nullopt;
    const auto frame = ParseInteger(line.substr(6, end - 6), INT_MIN, INT_MAX);
    if (!frame)
        return std::nullopt;
    const std::string rest = line.substr(end);
    if (rest == ": done" || rest.compare(0, 10, ": failed: ") == 0)
        return ProgressEvent{static_cast<int>(*frame), 0, true};
    const std::string tail = ": rendering";
    if (rest.compare(0, 10, ", attempt ") != 0 || rest.size() <= 10 + tail.size() ||
        rest.compare(rest.size() - tail.size(), tail.size(), tail) != 0)
        return std::nullopt;
    const auto attempt = ParseInteger(rest.substr(10, rest.size() - 10 - tail.size()), 1, INT_MAX);
    if (!attempt)
        return std::nullopt;
    return ProgressEvent{static_cast<int>(*frame), static_cast<int>(*attempt), false};
}

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
