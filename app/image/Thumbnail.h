// A small picture of a frame, for pages that show many: reduced so that
// its longer side is at most a given size, averaged by area with colour
// weighted by alpha (so that colour kept under transparent pixels does not
// bleed in), and encoded in memory as an 8-bit PNG that keeps the
// picture's own alpha.
#pragma once

#include <string>

// The PNG bytes of the picture in `path`, its longer side at most
// `longestSide` pixels (never enlarged); throws Failure naming the file
// when it cannot be read.
std::string ThumbnailPng(const std::string& path, int longestSide);
