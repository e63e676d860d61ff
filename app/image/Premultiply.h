// Colour times alpha, in one place so that the writer and the alpha-keeping
// render round it alike.
#pragma once

#include <cstdint>

// `channel` times `alpha` over 65535, rounded half up.
inline std::uint16_t Premultiply(std::uint16_t channel, std::uint16_t alpha)
{
    return static_cast<std::uint16_t>((std::uint32_t{channel} * alpha + 32767) / 65535);
}
