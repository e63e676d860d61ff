// Frame numbers as compositing tools write them: "12", "1-100",
// "1-100x2" (every second frame), and lists of these joined by commas
// ("1-100x2,150"). The list is kept as its pieces and walked by index, so a
// range a billion frames wide costs no more memory than a single frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class FrameList {
public:
    // Parses `text`; throws Failure naming `option` when it is malformed,
    // a piece is empty or runs backwards, pieces do not increase, or the
    // frames span more numbers than an int can count.
    static FrameList Parse(const std::string& option, const std::string& text);
    // The given frames, which must be in increasing order.
    static FrameList Of(const std::vector<int>& frames);

    // Number of frames (at least one).
    std::int64_t Count() const { return pieceStarts_.back(); }
    // The frame at `index` (0 <= index < Count()).
    int At(std::int64_t index) const;
    int First() const { return pieces_.front().first; }
    int Last() const { return pieces_.back().last; }

    // The first frame of the list not in `present` (sorted), or nothing.
    // Walks the list only as far as `present` has frames for.
    bool FirstMissing(const std::vector<int>& present, int& missing) const;

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
