// What a run of frames is asked for: the frames of INPUT turned into OUTPUT
// with some settings, as `veldra render` takes them from its command line
// and the farm from its shot.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/ChannelFormat.h"
#include "movie/MovieSettings.h"
#include "render/AlphaKeep.h"
#include "sequence/FrameList.h"

// Settings that replace fields of the parameter block; unset ones keep the
// block's value.
struct SettingOverrides {
    std::optional<std::int32_t> axis;   // axis code, AxisX..AxisZ
    std::optional<std::int32_t> pivot;  // pivot code, PivotLower..PivotUpper
    std::optional<float> startAngle;    // degrees
    std::optional<float> endAngle;      // degrees
};

struct RenderRequest {
    std::string input;                // an image file, a movie or a sequence pattern
    std::string output;               // an image file, a movie (.mov, .mp4, .mkv) or a sequence pattern
    std::optional<FrameList> frames;  // which frames of a pattern; none: those on disk
    std::optional<int> frame;         // the frame number of a single image; none: 0
    std::optional<FrameSpan> range;   // the filter's active range; none: the frames run
    SettingOverrides settings;
    std::string paramsFile;              // the block to start from; "": the filter's defaults
    std::optional<int> compression;      // PNG deflate level 0..9
    std::optional<ChannelFormat> depth;  // none: the input's own
    AlphaMode alpha = AlphaMode::Filter;
    MovieRequest movie;  // a movie OUTPUT's codec, rate, timecode and quality
    // The colour conversion of the turned frames (--colorconvert FROM TO),
    // "" for none, and the OpenColorIO config it uses ("": $OCIO, else the
    // built-in spaces).
    std::string colourFrom, colourTo, colourConfig;
};
