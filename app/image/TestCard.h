// The built-in test card of `veldra demo`: smooth 16-bit gradients, colour
// patches, a grey ramp, a grid, a half-transparent patch, and a marked top
// and left edge, so that any turn of the picture is easy to read.
#pragma once

#include <cstdint>

#include "image/Frame.h"

// Draws the card at the given size (at least 64 x 48 for the marks to fit).
Frame DrawTestCard(std::uint16_t width, std::uint16_t height);
