#include "sequence/FramePattern.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "messages/Failure.h"
#include "sequence/ParseInteger.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Where a printf conversion (%d, %4d, %04d) starts and ends in `name`;
// "%%" pairs are skipped. Returns false when there is none.
bool FindConversion(const std::string& name, std::size_t from, std::size_t& start, std::size_t& end)
{
    for (std::size_t at = name.find('%', from); at != std::string::npos; at = name.find('%', at + 1)) {
        if (at + 1 < name.size() && name[at + 1] == '%') {
            ++at;
            continue;
        }
        std::size_t after = at + 1;
        while (after < name.size() && IsDigit(name[after]))
            ++after;
        if (after < name.size() && name[after] == 'd' && after - at - 1 <= 2) {
            start = at;
            end = after + 1;
            return true;
        }
    }
    return false;
}

// "%%" in the literal parts of a printf pattern is one percent sign.
std::string Unescape(const std::string& text)
{
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        plain += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%')
            ++i;
    }
    return plain;
}

bool IsFrameMark(char c) { return c == '#' || c == '@'; }

}  // namespace

std::optional<FramePattern> FramePattern::Parse(const std::string& path)
{
    const std::string name = std::filesystem::path(path).filename().string();
    const std::string folder = path.substr(0, path.size() - name.size());

    std::size_t start = 0, end = 0;
    if (FindConversion(name, 0, start, end)) {
        std::size_t again = 0, againEnd = 0;
        if (FindConversion(name, end, again, againEnd))
            throw Failure(path, "a sequence pattern holds one frame number", FailureKind::Value);
        // At most two digits (FindConversion), so the width is 0 to 99.
        const std::string digits = name.substr(start + 1, end - start - 2);
        const int width = static_cast<int>(ParseInteger(digits, 0, 99).value_or(0));
        const Padding padding = !digits.empty() && digits[0] == '0' ? Padding::Zeros : Padding::Spaces;
        return FramePattern(path, folder, Unescape(name.substr(0, start)), Unescape(name.substr(end)), width, padding,
                            true);
    }

    const auto mark = std::find_if(name.begin(), name.end(), IsFrameMark);
    if (mark == name.end())
        return std::nullopt;
    const auto markEnd = std::find_if_not(mark, name.end(), IsFrameMark);
    if (std::find_if(markEnd, name.end(), IsFrameMark) != name.end())
        throw Failure(path, "a sequence pattern holds one run of '#' or '@'", FailureKind::Value);
    return FramePattern(path, folder, std::string(name.begin(), mark), std::string(markEnd, name.end()),
                        static_cast<int>(markEnd - mark), Padding::Zeros, false);
}

std::string FramePattern::PathOf(int frame) const
{
    char number[32];
    if (printfSign_)
        std::snprintf(number, sizeof number, padding_ == Padding::Zeros ? "%0*d" : "%*d", width_, frame);
    else
        std::snprintf(number, sizeof number, "%s%0*lld", frame < 0 ? "-" : "", width_,
                      std::llabs(static_cast<long long>(frame)));
    return folder_ + prefix_ + number + suffix_;
}

std::optional<int> FramePattern::FrameOf(const std::string& name) const
{
    if (name.size() <= prefix_.size() + suffix_.size() || name.compare(0, prefix_.size(), prefix_) != 0 ||
        name.compare(name.size() - suffix_.size(), suffix_.size(), suffix_) != 0)
        return std::nullopt;
    std::string number = name.substr(prefix_.size(), name.size() - prefix_.size() - suffix_.size());
    // printf pads with spaces before the sign; the spelling check below
    // takes any other spelling out.
    number.erase(0, number.find_first_not_of(' '));
    const auto value = ParseInteger(number, INT_MIN, INT_MAX);
    if (!value)
        return std::nullopt;
    const int frame = static_cast<int>(*value);
    if (PathOf(frame) != folder_ + name)
        return std::nullopt;
    return frame;
}

std::vector<int> FramePattern::FramesOnDisk() const
{
    const std::string folder = folder_.empty() ? "." : folder_;
    std::error_code error;
    std::vector<int> frames;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (const auto frame = FrameOf(entry.path().filename().string()))
            frames.push_back(*frame);
    }
    if (error)
        throw FileError::OfSystemError(folder, "cannot read the folder of " + text_, error.value());
    std::sort(frames.begin(), frames.end());
    return frames;
}
