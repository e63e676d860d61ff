// How a shot is cut up for a cluster: its frames, the chunks of frames that
// each array task renders, and frame sets written as ranges ("1-5,7,9-12").
#pragma once

#include <string>
#include <vector>

#include "cli/Arguments.h"

// The frames `veldra render` would run for `render`, in increasing order:
// the --frames span, or the input pattern's frames on disk. Throws Failure
// when INPUT or OUTPUT is not a sequence pattern, or no frames are found.
std::vector<int> ShotFrames(const RenderArguments& render);

// `frames` (in increasing order) cut into consecutive chunks of `chunkSize`
// frames, the last one possibly shorter. chunkSize must be at least 1.
std::vector<std::vector<int>> SplitIntoChunks(const std::vector<int>& frames, int chunkSize);

// `frames` (in increasing order, no repeats) as comma-separated runs:
// "1-5,7,9-12"; a negative number keeps its sign ("-3--1"). Empty: "".
std::string FormatFrameSet(const std::vector<int>& frames);

// The frames of a text made by FormatFrameSet, in increasing order, or of a
// Slurm array task list such as "0-4" or "5,7-9"; throws Failure naming
// `what` when the text is malformed or not in increasing order.
std::vector<int> ParseFrameSet(const std::string& text, const std::string& what);
