// The frames of a movie's video stream in presentation order, numbered from
// 0, from the time stamps of its packets: the one numbering every reader
// of the movie shares, however it seeks. Packets arrive in decoding order,
// which differs from presentation order in codecs with B-frames; each
// packet holds one frame.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class FrameIndex {
public:
    // Adds the next packet's presentation time stamp, in the stream's time
    // base; nothing when the packet has none.
    void Add(std::optional<std::int64_t> presentationTime);
    // Ends the adding: sorts the stamps into presentation order.
    void Finish();

    int Count() const { return static_cast<int>(times_.size()); }
    // Whether every packet had a distinct stamp, so that a frame can be
    // found by its stamp after a seek. Without stamps the frames are
    // numbered in the order the decoder gives them, from the start.
    bool Stamped() const { return stamped_; }
    // The stamp of frame `frame` (Stamped() only).
    std::int64_t TimeOf(int frame) const { return times_[static_cast<std::size_t>(frame)]; }
    // The frame whose stamp is `time`; nothing when none has it (a frame
    // the container leaves out of the presentation).
    std::optional<int> FrameAt(std::int64_t time) const;

    // Whether frames last different times (a variable frame rate), and
    // the shortest and longest duration, in stream time. Durations a tick
    // apart are one rate whose frames the time base cannot hold exactly
    // (23.976 fps in 1/90000 s: 3753 and 3754 ticks).
    bool VariableRate() const { return longest_ - shortest_ > 1; }
    std::int64_t ShortestDuration() const { return shortest_; }
    std::int64_t LongestDuration() const { return longest_; }

private:
    std::vector<std::int64_t> times_;
    bool stamped_ = true;
    std::int64_t shortest_ = 0, longest_ = 0;
};
