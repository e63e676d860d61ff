// Sequence patterns: a file name in which the frame number is written as
// compositing tools write it:
//   - a run of '#' or '@', one digit each, zero-padded: shot.####.png is
//     shot.0012.png for frame 12 (a single '#' is one digit, not four);
//   - a printf conversion, with printf's meaning: %04d zero-pads to four
//     places, %4d pads with spaces, %d does not pad; %% is a percent sign.
// Negative frames keep their sign, before the padding for '#' runs and as
// printf writes them for conversions.
#pragma once

#include <optional>
#include <string>
#include <vector>

class FramePattern {
public:
    // The pattern in `path`, or nothing when `path` holds no frame number.
    // Only the last path component may hold it. Throws Failure for a name
    // with two frame numbers.
    static std::optional<FramePattern> Parse(const std::string& path);

    // The file of frame `frame`.
    std::string PathOf(int frame) const;
    // The frames whose files exist in the pattern's folder, in order, from
    // one listing of the folder. A file counts only when this pattern
    // would write its name: with shot.####.png, shot.12.png is not frame 12.
    std::vector<int> FramesOnDisk() const;

private:
    enum class Padding { Zeros, Spaces };
    FramePattern(std::string text, std::string folder, std::string prefix, std::string suffix, int width,
                 Padding padding, bool printfSign)
        : text_(std::move(text)), folder_(std::move(folder)), prefix_(std::move(prefix)), suffix_(std::move(suffix)),
          width_(width), padding_(padding), printfSign_(printfSign)
    {}

    // The frame number that file name `name` stands for, if it matches.
    std::optional<int> FrameOf(const std::string& name) const;

    std::string text_;
    std::string folder_;  // "" or ending in '/'
    std::string prefix_;  // name before the number
    std::string suffix_;  // name after the number
    int width_;           // least width of the number
    Padding padding_;
    bool printfSign_;  // the sign counts toward the width, as in printf
};
