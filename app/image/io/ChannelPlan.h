// Which channels of a file become a frame's red, green, blue and alpha,
// and which are carried beside it. Alpha is the channel the file names as
// alpha, never merely the fourth; without one the frame is opaque. One
// colour channel is grey, two are red and green. Every other channel
// (AOVs, depth, normals, IDs; colour channels past the third) is carried
// in groups of up to three, in the file's order (image/ChannelGroup.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/Frame.h"
#include "image/PictureHeader.h"

struct ChannelPlan {
    // The file's channel for red, green, blue and alpha; -1 for none
    // (colour 0, alpha opaque).
    int source[4] = {-1, -1, -1, -1};
    // The other channels, up to three a group.
    std::vector<std::vector<int>> groups;

    static ChannelPlan For(const PictureHeader& header);

    // Channels 0 .. Highest() hold everything the frame takes.
    int Highest() const;
    // True when the file's first four channels are the frame's, in order.
    bool IsRgbaInOrder() const;
    // Fills `count` pixels from `values`, `stride` 16-bit values per pixel.
    void Spread(const std::uint16_t* values, int stride, BMM_Color_64* pixels, std::size_t count) const;
};
