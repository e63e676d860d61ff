// The maker's logo for the about box: 130 x 32, 8 bits per pixel.
#pragma once

#include "BmpFile.h"

constexpr int kLogoWidth = 130;
constexpr int kLogoHeight = 32;

// A tilted red-and-white board beside the name in block letters, on a dark
// blue-to-teal ground.
IndexedPicture DrawLogo();
