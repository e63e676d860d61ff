#include "cli/FrameList.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "Failure.h"

namespace {

// A whole decimal number, optionally signed, with nothing around it.
bool ToNumber(const std::string& text, long long& value)
{
    if (text.empty() || !(text[0] == '-' || text[0] == '+' || (text[0] >= '0' && text[0] <= '9')))
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= INT_MIN && value <= INT_MAX;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

}  // namespace

void FrameList::Add(Piece piece)
{
    pieces_.push_back(piece);
    pieceStarts_.push_back(pieceStarts_.back() + piece.Count());
}

FrameList FrameList::Parse(const std::string& option, const std::string& text)
{
    const auto bad = [&](const std::string& why) {
        return Failure(option + ": bad frame list '" + text + "' (" + why + ")");
    };
    FrameList list;
    for (const std::string& item : Split(text, ',')) {
        const std::size_t times = item.find('x');
        const std::string span = item.substr(0, times);
        long long step = 1;
        if (times != std::string::npos && (!ToNumber(item.substr(times + 1), step) || step < 1))
            throw bad("a step is a whole number of at least 1, as in 1-100x2");
        // The separating dash is the first one after the first character,
        // so that the first number may carry a minus sign of its own.
        const std::size_t dash = span.find('-', 1);
        long long first = 0, last = 0;
        if (!ToNumber(span.substr(0, dash), first) ||
            (dash != std::string::npos && !ToNumber(span.substr(dash + 1), last)))
            throw bad("expected frames such as 12, 1-100, 1-100x2 or 1-10,20");
        if (dash == std::string::npos)
            last = first;
        if (last < first)
            throw Failure(option + ": the frame range " + span + " is empty");
        if (!list.pieces_.empty() && first <= list.Last())
            throw bad("frames must increase from one piece to the next");
        last -= (last - first) % step;
        list.Add(Piece{static_cast<int>(first), static_cast<int>(last), static_cast<int>(step)});
    }
    // The filter counts the frames of a range in an int.
    if (static_cast<long long>(list.Last()) - list.First() >= INT_MAX)
        throw Failure(option + ": the frames " + text + " span too many numbers");
    return list;
}

FrameList FrameList::Of(const std::vector<int>& frames)
{
    FrameList list;
    for (const int frame : frames)
        list.Add(Piece{frame, frame, 1});
    return list;
}

int FrameList::At(std::int64_t index) const
{
    const auto after = std::upper_bound(pieceStarts_.begin(), pieceStarts_.end(), index);
    const std::size_t piece = static_cast<std::size_t>(after - pieceStarts_.begin()) - 1;
    return static_cast<int>(pieces_[piece].first + (index - pieceStarts_[piece]) * pieces_[piece].step);
}

bool FrameList::FirstMissing(const std::vector<int>& present, int& missing) const
{
    // Every frame found is a different entry of `present`, so the walk
    // ends after at most present.size() + 1 frames.
    for (std::int64_t index = 0; index < Count(); ++index) {
        const int frame = At(index);
        if (!std::binary_search(present.begin(), present.end(), frame)) {
            missing = frame;
            return true;
        }
    }
    return false;
}
