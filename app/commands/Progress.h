// Progress of a run of frames: a bar on the terminal (frames done, frames
// per second, time left), redrawn at most a few times a second, and the
// figures for the summary line.
#pragma once

#include <chrono>
#include <cstddef>

class Progress {
public:
    // Draws on standard error only when `visible` and it is a terminal.
    Progress(std::size_t total, bool visible);

    // One more frame done; not thread-safe (RunFrames serialises it).
    void FrameDone();
    // Clears the bar.
    void Finish();

    std::size_t Done() const { return done_; }
    double Seconds() const;
    double FramesPerSecond() const;

private:
    void Draw();

    using Clock = std::chrono::steady_clock;
    std::size_t total_;
    std::size_t done_ = 0;
    bool visible_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastDraw_{};
};
