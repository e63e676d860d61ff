#include "farm/FarmPlan.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "cli/FramePattern.h"
#include "Failure.h"

namespace {
constexpr std::int64_t kMostFramesInShot = 1000000;
}

std::vector<int> ShotFrames(const RenderArguments& render)
{
    const auto input = FramePattern::Parse(render.input);
    if (!input || !FramePattern::Parse(render.output))
        throw Failure("farm: INPUT and OUTPUT must be sequence patterns such as shot.####.png");
    if (render.frame)
        throw Failure("--frame: " + render.input + " is a sequence pattern; give --frames A-B");
    std::vector<int> frames;
    if (render.frames) {
        // Every frame gets a manifest line and a status record: a shot far
        // beyond what a cluster renders is a typing slip, refused before
        // anything is allocated for it.
        const std::int64_t count = render.frames->Count();
        if (count > kMostFramesInShot)
            throw Failure("--frames: " + std::to_string(count) + " frames is more than a farm run takes (" +
                          std::to_string(kMostFramesInShot) + ")");
        frames.reserve(static_cast<std::size_t>(count));
        for (std::int64_t index = 0; index < count; ++index)
            frames.push_back(render.frames->At(index));
    } else {
        frames = input->FramesOnDisk();
        if (frames.empty())
            throw Failure(render.input + ": no frames found");
    }
    return frames;
}

std::vector<std::vector<int>> SplitIntoChunks(const std::vector<int>& frames, int chunkSize)
{
    std::vector<std::vector<int>> chunks;
    for (std::size_t at = 0; at < frames.size(); at += chunkSize) {
        const std::size_t end = std::min(frames.size(), at + static_cast<std::size_t>(chunkSize));
        chunks.emplace_back(frames.begin() + at, frames.begin() + end);
    }
    return chunks;
}

std::string FormatFrameSet(const std::vector<int>& frames)
{
    std::string text;
    for (std::size_t at = 0; at < frames.size();) {
        std::size_t end = at + 1;
        while (end < frames.size() && static_cast<long long>(frames[end]) == frames[end - 1] + 1LL)
            ++end;
        if (!text.empty())
            text += ',';
        text += std::to_string(frames[at]);
        if (end - at > 1)
            text += '-' + std::to_string(frames[end - 1]);
        at = end;
    }
    return text;
}

namespace {

// A whole number at `text[at]`, advancing `at` past it.
bool ReadNumber(const std::string& text, std::size_t& at, long long& value)
{
    const char* start = text.c_str() + at;
    if (*start != '-' && (*start < '0' || *start > '9'))
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(start, &end, 10);
    if (errno != 0 || end == start || value < INT_MIN || value > INT_MAX)
        return false;
    at += end - start;
    return true;
}

}  // namespace

std::vector<int> ParseFrameSet(const std::string& text, const std::string& what)
{
    std::vector<int> frames;
    const Failure malformed(what + ": malformed frame list '" + text + "'");
    std::size_t at = 0;
    while (at < text.size()) {
        long long first = 0, last = 0;
        if (!ReadNumber(text, at, first))
            throw malformed;
        last = first;
        if (at < text.size() && text[at] == '-') {
            ++at;
            if (!ReadNumber(text, at, last))
                throw malformed;
        }
        if (last < first || (!frames.empty() && first <= frames.back()) || last - first >= INT_MAX)
            throw malformed;
        for (long long frame = first; frame <= last; ++frame)
            frames.push_back(static_cast<int>(frame));
        if (at < text.size() && text[at++] != ',')
            throw malformed;
        if (at == text.size() && text.back() == ',')
            throw malformed;
    }
    return frames;
}
