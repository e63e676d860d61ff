// The command line of `veldra`: which command, and its options, checked and
// converted. Every malformed value throws Failure naming the option.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

struct RenderArguments {
    std::string input;
    std::string output;
    std::optional<FrameSpan> frames;  // which frames of a pattern
    std::optional<int> frame;         // the frame number of a single image
    std::optional<FrameSpan> range;   // the filter's active range
    SettingOverrides settings;
    std::string paramsFile;      // empty: start from the filter's defaults
    std::string saveParamsFile;  // empty: do not store the block
    std::optional<int> compression;  // PNG deflate level 0..9
};

struct Arguments {
    enum class Command { Help, Render, Info, Params, Demo };
    Command command = Command::Help;

    RenderArguments render;
    std::string paramsFile;  // `params FILE`
    std::string demoFolder;  // `demo [DIR]`

    std::string modulePath;  // empty: VELDRA.FLT beside the program
    int jobs = 0;            // 0: one per core
    bool quiet = false;
};

// Parses argv[1..]; throws Failure for an unknown command or option, a
// missing or malformed value, or a wrong number of operands.
Arguments ParseArguments(const std::vector<std::string>& words);

// The usage text printed by `veldra help` and after a usage failure.
const char* UsageText();
