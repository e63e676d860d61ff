// A run's manifest (manifest.txt): what every task needs to render its
// frames, as submitted, written once. "key=value" lines
// (farm/run/KeyValues.h) after a comment line:
//
//   run-format=1          the version of the run folder's layout and files
//   program=PATH          the veldra that submitted the run
//   workdir=PATH          the submitting folder
//   input=PATTERN         absolute
//   output=PATTERN        absolute
//   frames=LIST           the shot's frames, "1-5,7,9-12"
//   range-first=F         the filter's active range
//   range-last=L
//   chunk=N               frames per array task
//   retries=N             further attempts at a failing frame
//   max-parallel=N        0: no throttle
//   settings=TEXT         what besides the block decides an output's bytes
//   render=WORD           one line a word: INPUT, OUTPUT, the options
//   sbatch=WORD           one line a word: partition, time, CPUs, extra
//
// A run of another format is refused, naming its folder: its files may
// mean something else.
#pragma once

#include <string>
#include <vector>

#include "farm/RunFrames.h"

// The version of the run format this veldra writes and reads.
constexpr int kRunFormat = 1;

// The frames of a frame list in the run's file `path` ("": none), as
// FramesOfRun (farm/RunFrames.h) allows them.
std::vector<int> FramesInRunFile(const std::string& text, const std::string& path);

// Everything a task needs to render its frames, as submitted.
struct FarmManifest {
    std::string program;                     // absolute path of the veldra that submitted the run
    std::string workdir;                     // the submitting folder
    std::string input, output;               // the patterns, absolute
    std::vector<std::string> renderWords;    // INPUT, OUTPUT and the options every frame is rendered with
    std::vector<int> frames;                 // the shot's frames
    int rangeFirst = 0, rangeLast = 0;       // the filter's active range
    int chunk = 1;                           // frames per array task
    int retries = 0;                         // further attempts at a failing frame
    int maxParallel = 0;                     // 0: no throttle
    std::vector<std::string> sbatchOptions;  // partition, time, CPUs, extra
    // What besides the parameter block decides an output's bytes (format,
    // channels, alpha, compression, module), as one line: two runs of the
    // same shot with the same block and settings write the same files.
    std::string settings;
};

// The manifest's text, for the file `path`.
std::string FormatManifest(const FarmManifest& manifest, const std::string& path);
// The manifest in `text`, the file `path` of the run folder `run`; throws
// Failure naming `run` when it is of another run format, and naming `path`
// when it is incomplete.
FarmManifest ParseManifest(const std::string& text, const std::string& path, const std::string& run);
