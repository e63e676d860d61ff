// Channels of a picture beyond its colour and alpha (AOVs, depth, normals,
// IDs), up to three at a time, carried through the filter as the red,
// green and blue of a frame whose alpha is the picture's own: they turn as
// the picture turns, with its alpha rule. The filter works on 16-bit
// values, so each channel keeps how its own values map to them.
#pragma once

#include <vector>

#include "image/Frame.h"

struct ChannelRange {
    enum class Kind {
        // As colour converts: 8-bit values times 257, floats in 0..1 times
        // 65535, rounded.
        Normalized,
        // Whole numbers 0 to 65535, as they are (IDs, counts).
        Counted,
        // Values beyond what a 16-bit frame holds (depth, positions,
        // normals, IDs past 65535) spread over its 65536 steps: 16-bit q
        // stands for low + q * (high - low) / 65535.
        Scaled,
    };
    Kind kind = Kind::Normalized;
    double low = 0, high = 1;
};

struct ChannelGroup {
    std::vector<int> channels;  // the file's channel indexes, 1 to 3
    Frame frame;                // their 16-bit values in r, g, b; the picture's alpha in a
    ChannelRange ranges[3];
};
