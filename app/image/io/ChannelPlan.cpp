#include "image/io/ChannelPlan.h"

#include <algorithm>

ChannelPlan ChannelPlan::For(const PictureHeader& header)
{
    ChannelPlan plan;
    const int alpha = header.alpha_channel >= 0 && header.alpha_channel < header.nchannels ? header.alpha_channel : -1;
    plan.source[3] = alpha;
    std::vector<int> colours;
    for (int channel = 0; channel < header.nchannels; ++channel) {
        if (channel == alpha)
            continue;
        if (colours.size() < 3) {
            colours.push_back(channel);
            continue;
        }
        if (plan.groups.empty() || plan.groups.back().size() == 3)
            plan.groups.emplace_back();
        plan.groups.back().push_back(channel);
    }
    if (colours.size() == 1)
        colours.assign(3, colours[0]);  // grey
    std::copy(colours.begin(), colours.end(), plan.source);
    return plan;
}

int ChannelPlan::Highest() const { return *std::max_element(source, source + 4); }

bool ChannelPlan::IsRgbaInOrder() const { return source[0] == 0 && source[1] == 1 && source[2] == 2 && source[3] == 3; }

void ChannelPlan::Spread(const std::uint16_t* values, int stride, BMM_Color_64* pixels, std::size_t count) const
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t* v = values + i * stride;
        const auto take = [&](int channel, std::uint16_t otherwise) { return channel >= 0 ? v[channel] : otherwise; };
        pixels[i] = {take(source[0], 0), take(source[1], 0), take(source[2], 0), take(source[3], 0xFFFF)};
    }
}
