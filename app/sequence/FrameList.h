// Frame numbers as compositing tools write them: "12", "1-100", "1-100x2"
// (every second frame), and lists of these joined by commas
// ("1-100x2,150"). The one grammar for every set of frames veldra reads or
// writes: --frames, --range (a single span, "A-B"), the farm's manifests
// and submissions, and the task lists Slurm answers with ("0-4", "5,7-9").
//
// The limits are the same wherever a list comes from: frame numbers are
// ints, pieces increase, and a list spans fewer than INT_MAX numbers, as the
// filter counts the frames of a range in an int. A list is kept as its
// pieces and walked by index, so a range a billion frames wide costs no
// more memory than a single frame.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

// An inclusive span of frame numbers.
struct FrameSpan {
    int first = 0;
    int last = 0;

    // Spans read or made here hold first <= last, with a count that fits
    // an int.
    int Count() const { return last - first + 1; }
};

// True when frames `first` to `last` may make one range: their count fits
// an int.
constexpr bool CountableSpan(long long first, long long last) { return last - first < INT_MAX; }

class FrameList {
public:
    // Parses `text`; throws Failure naming `subject` (the option or file it
    // came from) when it is malformed, a piece is empty or runs backwards,
    // pieces do not increase, or the frames span too many numbers.
    static FrameList Parse(const std::string& subject, const std::string& text);
    // "A-B" alone, a span without steps or other pieces; throws Failure
    // naming `subject` otherwise or when it is empty or too long.
    static FrameSpan ParseSpan(const std::string& subject, const std::string& text);
    // The given frames, which must be in increasing order; consecutive ones
    // make one piece. May be empty.
    static FrameList Of(const std::vector<int>& frames);
    // Every frame of `span`.
    static FrameList Covering(FrameSpan span);

    // Number of frames.
    std::int64_t Count() const { return pieceStarts_.back(); }
    // The frame at `index` (0 <= index < Count()).
    int At(std::int64_t index) const;
    // The first and last frame; the list must not be empty.
    int First() const { return pieces_.front().first; }
    int Last() const { return pieces_.back().last; }
    // Every frame, in order. Check Count() first: a list may hold billions.
    std::vector<int> Frames() const;

    // The first frame of the list not in `present` (sorted), or nothing.
    // Walks the list only as far as `present` has frames for.
    bool FirstMissing(const std::vector<int>& present, int& missing) const;

    // The list as Parse reads it, "1-3,5,10-20x2"; "" when empty.
    std::string Text() const;

private:
    struct Piece {
        int first;
        int last;  // reached from first by whole steps
        int step;
        std::int64_t Count() const { return (static_cast<std::int64_t>(last) - first) / step + 1; }
    };
    void Add(Piece piece);

    std::vector<Piece> pieces_;
    // pieceStarts_[i] is the index of pieces_[i]'s first frame; the last
    // entry is the total count.
    std::vector<std::int64_t> pieceStarts_{0};
};
