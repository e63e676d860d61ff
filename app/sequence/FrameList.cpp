#include "sequence/FrameList.h"

#include <algorithm>

#include "messages/Failure.h"
#include "sequence/ParseInteger.h"

namespace {

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

std::optional<long long> FrameNumber(const std::string& text) { return ParseInteger(text, INT_MIN, INT_MAX); }

// One piece of a list as written: "A", "A-B" or either with "xS".
struct WrittenPiece {
    long long first = 0, last = 0, step = 1;
    bool span = false;     // written "A-B"
    bool stepped = false;  // written with "xS"
};

// Reads the piece in `item` into `piece`; returns why it is malformed, or
// null. The separating dash is the first one after the first character, so
// that the first number may carry a minus sign of its own.
const char* ReadPiece(const std::string& item, WrittenPiece& piece)
{
    const std::size_t times = item.find('x');
    piece.stepped = times != std::string::npos;
    if (piece.stepped) {
        const auto step = ParseInteger(item.substr(times + 1), 1, INT_MAX);
        if (!step)
            return "a step is a whole number of at least 1, as in 1-100x2";
        piece.step = *step;
    }
    const std::string span = item.substr(0, times);
    const std::size_t dash = span.find('-', 1);
    piece.span = dash != std::string::npos;
    const auto first = FrameNumber(span.substr(0, dash));
    const auto last = piece.span ? FrameNumber(span.substr(dash + 1)) : first;
    if (!first || !last)
        return "expected frames such as 12, 1-100, 1-100x2 or 1-10,20";
    piece.first = *first;
    piece.last = *last;
    return nullptr;
}

}  // namespace

void FrameList::Add(Piece piece)
{
    pieces_.push_back(piece);
    pieceStarts_.push_back(pieceStarts_.back() + piece.Count());
}

FrameList FrameList::Parse(const std::string& subject, const std::string& text)
{
    const auto bad = [&](const std::string& why) {
        return Failure(subject, "bad frame list '" + text + "' (" + why + ")", FailureKind::Value);
    };
    FrameList list;
    for (const std::string& item : Split(text, ',')) {
        WrittenPiece piece;
        if (const char* why = ReadPiece(item, piece))
            throw bad(why);
        if (piece.last < piece.first)
            throw Failure(subject, "the frame range " + item.substr(0, item.find('x')) + " is empty",
                          FailureKind::Value);
        if (!list.pieces_.empty() && piece.first <= list.Last())
            throw bad("frames must increase from one piece to the next");
        // A piece ends on its last whole step, so that the list's last
        // frame is one it renders.
        piece.last -= (piece.last - piece.first) % piece.step;
        list.Add(Piece{static_cast<int>(piece.first), static_cast<int>(piece.last), static_cast<int>(piece.step)});
    }
    if (!CountableSpan(list.First(), list.Last()))
        throw Failure(subject, "the frames " + text + " span too many numbers", FailureKind::Value);
    return list;
}

FrameSpan FrameList::ParseSpan(const std::string& subject, const std::string& text)
{
    WrittenPiece piece;
    if (text.find(',') != std::string::npos || ReadPiece(text, piece) || !piece.span || piece.stepped)
        throw Failure(subject, "bad value '" + text + "' (expected A-B, two frame numbers)", FailureKind::Value);
    if (piece.last < piece.first)
        throw Failure(subject, "the frame range " + text + " is empty", FailureKind::Value);
    if (!CountableSpan(piece.first, piece.last))
        throw Failure(subject, "the frame range " + text + " is too long", FailureKind::Value);
    return FrameSpan{static_cast<int>(piece.first), static_cast<int>(piece.last)};
}

FrameList FrameList::Of(const std::vector<int>& frames)
{
    FrameList list;
    for (std::size_t at = 0; at < frames.size();) {
        std::size_t end = at + 1;
        while (end < frames.size() && static_cast<long long>(frames[end]) == frames[end - 1] + 1LL)
            ++end;
        list.Add(Piece{frames[at], frames[end - 1], 1});
        at = end;
    }
    return list;
}

FrameList FrameList::Covering(FrameSpan span)
{
    FrameList list;
    list.Add(Piece{span.first, span.last, 1});
    return list;
}

int FrameList::At(std::int64_t index) const
{
    const auto after = std::upper_bound(pieceStarts_.begin(), pieceStarts_.end(), index);
    const std::size_t piece = static_cast<std::size_t>(after - pieceStarts_.begin()) - 1;
    return static_cast<int>(pieces_[piece].first + (index - pieceStarts_[piece]) * pieces_[piece].step);
}

std::vector<int> FrameList::Frames() const
{
    std::vector<int> frames;
    frames.reserve(static_cast<std::size_t>(Count()));
    for (const Piece& piece : pieces_)
        for (std::int64_t frame = piece.first; frame <= piece.last; frame += piece.step)
            frames.push_back(static_cast<int>(frame));
    return frames;
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

std::string FrameList::Text() const
{
    std::string text;
    for (const Piece& piece : pieces_) {
        if (!text.empty())
            text += ',';
        text += std::to_string(piece.first);
        if (piece.last != piece.first)
            text += '-' + std::to_string(piece.last);
        if (piece.step != 1 && piece.last != piece.first)
            text += 'x' + std::to_string(piece.step);
    }
    return text;
}
