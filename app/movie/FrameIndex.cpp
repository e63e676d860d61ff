#include "movie/FrameIndex.h"

#include <algorithm>

void FrameIndex::Add(std::optional<std::int64_t> presentationTime)
{
    if (!presentationTime)
        stamped_ = false;
    times_.push_back(presentationTime.value_or(0));
}

void FrameIndex::Finish()
{
    std::sort(times_.begin(), times_.end());
    if (std::adjacent_find(times_.begin(), times_.end()) != times_.end())
        stamped_ = false;
    if (!stamped_ || times_.size() < 2)
        return;
    shortest_ = longest_ = times_[1] - times_[0];
    for (std::size_t i = 2; i < times_.size(); ++i) {
        const std::int64_t duration = times_[i] - times_[i - 1];
        shortest_ = std::min(shortest_, duration);
        longest_ = std::max(longest_, duration);
    }
}

std::optional<int> FrameIndex::FrameAt(std::int64_t time) const
{
    const auto found = std::lower_bound(times_.begin(), times_.end(), time);
    if (found == times_.end() || *found != time)
        return std::nullopt;
    return static_cast<int>(found - times_.begin());
}
