// Sequence patterns: a file name in which a run of '#' (shot.####.png) or a
// printf conversion (shot.%04d.png, shot.%d.png) stands for the frame number,
// zero-padded to the run's length or the given width.
#pragma once

#include <optional>
#include <string>
#include <vector>

class FramePattern {
public:
    // The pattern in `path`, or nothing when `path` names a single file.
    // Only the last path component may hold the frame number.
    static std::optional<FramePattern> Parse(const std::string& path);

    const std::string& Text() const { return text_; }
    // The file of frame `frame` (negative numbers keep their sign).
    std::string PathOf(int frame) const;
    // The frames whose files exist in the pattern's folder, in order.
    std::vector<int> FramesOnDisk() const;

private:
    FramePattern(std::string text, std::string folder, std::string prefix, std::string suffix, int width)
        : text_(std::move(text)), folder_(std::move(folder)), prefix_(std::move(prefix)),
          suffix_(std::move(suffix)), width_(width)
    {
    }

    // The frame number that file name `name` stands for, if it matches.
    std::optional<int> FrameOf(const std::string& name) const;

    std::string text_;
    std::string folder_;  // "" or ending in '/'
    std::string prefix_;  // name before the number
    std::string suffix_;  // name after the number
    int width_;           // least number of digits
};
