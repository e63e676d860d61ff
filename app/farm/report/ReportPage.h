// The run's report page, report.html: one self-contained file (its data,
// styles and thumbnails inside it; no script, no network, no server) that
// opens from the shared file system in any browser. It shows the shot and
// its parameters, a progress bar by state with counts, the time gone and
// an estimate of what remains, the frames' states as stretches, the
// failures with their reasons and logs, what each node did, render time
// per frame and per node, every task with its node, state, ending and log,
// and a contact sheet of frames rendered so far. Past a few hundred of
// anything it groups (frames into stretches, tasks alike into one row,
// render times into bins, thumbnails sampled), so that a shot of fifty
// thousand frames reads like one of fifty.
//
// The page names what a test or a tool may look for: counts in
// [data-state] items of #counts, frame stretches as rows of #frames with
// data-first, data-last and data-state, failures as rows of #failures,
// nodes as rows of #nodes with data-node, tasks as rows of #tasks, and
// thumbnails as figures of #sheet with data-frame.
#pragma once

#include <string>
#include <vector>

#include "farm/Follow.h"

struct ReportThumbnail {
    int frame = 0;
    std::string png;  // the picture's bytes; empty when it could not be read
    std::string why;  // why not, then
};

struct ReportInputs {
    std::string runPath;
    const RunView* run = nullptr;
    std::string parameters;  // the parameter block in words
    // A movie run's movie, and how its making goes in words; "" for a run
    // of frames.
    std::string moviePath, movieStep;
    double now = 0;  // when the page is written, seconds since the epoch
    std::vector<ReportThumbnail> thumbnails;
    std::string noThumbnails;  // why there are none of done frames, when there cannot be
};

std::string ReportPage(const ReportInputs& inputs);

// The frames a contact sheet of at most `most` thumbnails shows of the done
// frames `done` (in order): spread evenly from the first to the last.
std::vector<int> ThumbnailFrames(const std::vector<int>& done, std::size_t most);
