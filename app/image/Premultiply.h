// Colour times alpha and back, in one place so that the writers and the
// alpha-keeping render round them alike.
#pragma once

#include <algorithm>
#include <cstdint>

// `channel` times `alpha` over 65535, rounded half up.
inline std::uint16_t Premultiply(std::uint16_t channel, std::uint16_t alpha)
{
    return static_cast<std::uint16_t>((std::uint32_t{channel} * alpha + 32767) / 65535);
}

// `channel` times 65535 over `alpha` (not 0), rounded to nearest and kept
// at most 65535.
inline std::uint16_t Unpremultiply(std::uint16_t channel, std::uint16_t alpha)
{
    const std::uint64_t value = (std::uint64_t{channel} * 65535 + alpha / 2) / alpha;
    return static_cast<std::uint16_t>(std::min<std::uint64_t>(value, 65535));
}
