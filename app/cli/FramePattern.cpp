#include "cli/FramePattern.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "Failure.h"

std::optional<FramePattern> FramePattern::Parse(const std::string& path)
{
    const std::string name = std::filesystem::path(path).filename().string();
    const std::string folder = path.substr(0, path.size() - name.size());

    const std::size_t hash = name.find('#');
    if (hash != std::string::npos) {
        const std::size_t end = name.find_first_not_of('#', hash);
        const std::size_t width = (end == std::string::npos ? name.size() : end) - hash;
        const std::string suffix = name.substr(hash + width);
        if (suffix.find('#') != std::string::npos)
            throw Failure(path + ": a sequence pattern holds one run of '#'");
        return FramePattern(path, folder, name.substr(0, hash), suffix, static_cast<int>(width));
    }

    const std::size_t percent = name.find('%');
    if (percent == std::string::npos)
        return std::nullopt;
    // %d, %Nd or %0Nd; "%%" would be a literal percent sign, which is too
    // rare in frame names to be worth a special case.
    std::size_t at = percent + 1;
    while (at < name.size() && std::isdigit(static_cast<unsigned char>(name[at])))
        ++at;
    if (at >= name.size() || name[at] != 'd' || at - percent - 1 > 2)
        throw Failure(path + ": a sequence pattern takes %d or %0Nd for the frame number");
    const std::string digits = name.substr(percent + 1, at - percent - 1);
    const std::string suffix = name.substr(at + 1);
    if (suffix.find('%') != std::string::npos)
        throw Failure(path + ": a sequence pattern holds one frame number");
    const int width = digits.empty() ? 1 : std::atoi(digits.c_str());
    return FramePattern(path, folder, name.substr(0, percent), suffix, std::max(width, 1));
}

std::string FramePattern::PathOf(int frame) const
{
    const long long value = frame;
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (static_cast<int>(digits.size()) < width_)
        digits.insert(0, width_ - digits.size(), '0');
    return folder_ + prefix_ + (frame < 0 ? "-" : "") + digits + suffix_;
}

std::optional<int> FramePattern::FrameOf(const std::string& name) const
{
    if (name.size() <= prefix_.size() + suffix_.size() || name.compare(0, prefix_.size(), prefix_) != 0 ||
        name.compare(name.size() - suffix_.size(), suffix_.size(), suffix_) != 0)
        return std::nullopt;
    const std::string number = name.substr(prefix_.size(), name.size() - prefix_.size() - suffix_.size());
    const std::size_t digitsAt = number[0] == '-' ? 1 : 0;
    if (number.size() == digitsAt ||
        !std::all_of(number.begin() + digitsAt, number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    errno = 0;
    const long long value = std::strtoll(number.c_str(), nullptr, 10);
    if (errno != 0 || value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    const int frame = static_cast<int>(value);
    // Only the spelling this pattern would write counts: with shot.####.png,
    // shot.12.png is not frame 12.
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
        throw Failure(folder + ": cannot read the folder of " + text_);
    std::sort(frames.begin(), frames.end());
    return frames;
}
