// The filter's whole persistent state. The host stores it with the scene as
// an opaque 20-byte block, byte for byte as it lies in memory
// (little-endian), and hands it back when the scene loads:
//
//   offset  size  field       type
//        0     4  tag         uint32, always VELDRA_TAG
//        4     4  axis        int32, AxisX / AxisY / AxisZ
//        8     4  pivot       int32, PivotLower / PivotCenter / PivotUpper
//       12     4  startAngle  IEEE single, degrees at the range's first frame
//       16     4  endAngle    IEEE single, degrees at the range's last frame
//
// Field names and layout never change: stored scenes depend on them.
#pragma once

#include <cstdint>

#include "filter/Identity.h"

// The stored codes. They are the block's own numbers: the setup dialog's
// radio buttons carry the same ids (asserted where the dialog maps one to
// the other), but no dialog change may renumber them.
enum AxisCode : std::int32_t {
    AxisX = 1010,  // about the horizontal axis in the picture plane
    AxisY = 1011,  // about the vertical axis in the picture plane
    AxisZ = 1012,  // in the picture plane
};

// The engine receives a pivot as its offset from PivotCenter: -1, 0, +1.
enum PivotCode : std::int32_t {
    PivotLower = 1013,
    PivotCenter = 1014,
    PivotUpper = 1015,
};

struct RotationParams {
    std::uint32_t tag;
    std::int32_t axis;
    std::int32_t pivot;
    float startAngle;
    float endAngle;
};

static_assert(sizeof(RotationParams) == 20, "the stored block is 20 bytes");

constexpr RotationParams kDefaultRotationParams{VELDRA_TAG, AxisX, PivotCenter, 0.0f, 0.0f};
