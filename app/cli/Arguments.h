// The command line of `veldra`: which command, and its options, checked and
// converted. Every malformed or empty value throws Failure naming the option.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/FrameList.h"
#include "image/ChannelFormat.h"

// An inclusive span of frame numbers, written "A-B" on the command line.
struct FrameSpan {
    int first = 0;
    int last = 0;

    // Parsing guarantees first <= last and that the count fits an int.
    int Count() const { return last - first + 1; }
};

// Settings that replace fields of the parameter block; unset ones keep the
// block's value.
struct SettingOverrides {
    std::optional<std::int32_t> axis;   // axis code, AxisX..AxisZ
    std::optional<std::int32_t> pivot;  // pivot code, PivotLower..PivotUpper
    std::optional<float> startAngle;    // degrees
    std::optional<float> endAngle;      // degrees
};

// What becomes of the picture's alpha: the filter's own output (every
// covered pixel opaque), or the picture's alpha carried through the turn.
enum class AlphaMode { Filter, Keep };

struct RenderArguments {
    std::string input;
    std::string output;
    std::optional<FrameList> frames;  // which frames of a pattern
    std::optional<int> frame;         // the frame number of a single image
    std::optional<FrameSpan> range;   // the filter's active range
    SettingOverrides settings;
    std::string paramsFile;              // empty: start from the filter's defaults
    std::string saveParamsFile;          // empty: do not store the block
    std::optional<int> compression;      // PNG deflate level 0..9
    std::optional<ChannelFormat> depth;  // none: the input's own
    AlphaMode alpha = AlphaMode::Filter;
    bool dryRun = false;
};

struct Arguments {
    enum class Command { Help, Version, Render, Info, Params, Demo };
    Command command = Command::Help;
    // With Command::Help: the command whose help was asked for ("" for all).
    std::string helpTopic;
    bool usageError = false;  // help shown because no command was given

    RenderArguments render;
    std::string paramsFile;  // `params FILE`
    std::string demoFolder;  // `demo [DIR]`

    std::string modulePath;  // empty: the module beside veldra
    int jobs = 0;            // 0: one per core
    bool quiet = false;
};

// Parses argv[1..]; throws Failure for an unknown command or option, a
// missing, empty or malformed value, or a wrong number of operands.
Arguments ParseArguments(const std::vector<std::string>& words);
