// What `veldra farm` is asked to do (cli/ reads it from the command line):
// the action and its run, and for a submission the shot, the words every
// task hands to its renderer, and how the shot is cut up for Slurm.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "render/RenderRequest.h"

struct FarmArguments {
    // Task, Report, Chunk and Encode are run by the run's own jobs.
    enum class Action { Submit, Status, Retry, Cancel, Task, Report, Chunk, Encode };
    Action action = Action::Status;

    std::string dir;     // status, retry, cancel: a run or an output folder; task, report, chunk, encode: the run
    int submission = 0;  // task: which submission's chunks

    // submit: the shot, the module its block is settled with, and the
    // render options a task takes as given (the frames, range and block it
    // is given by the farm itself). chunk: the frames to render, as a task
    // hands them on.
    RenderRequest render;
    std::string modulePath;
    std::vector<std::string> taskOptions;

    int chunk = 0;               // frames per array task
    int maxParallel = 0;         // tasks at once; 0: as many as Slurm allows
    std::optional<int> retries;  // further attempts at a failing frame (submit: 2; retry: as before)
    std::string partition, timeLimit;
    int cpusPerTask = 0;                   // 0: Slurm's default
    std::vector<std::string> sbatchExtra;  // the words after "--"
    bool wait = false;                     // submit, retry: wait for the run to end
    bool keepExisting = false;             // submit: keep outputs an earlier run of the shot wrote
    std::string saveParamsFile;            // submit: where to store the settled block too; "": nowhere

    bool verbose = false;  // status, cancel: every stretch, failed frame and task, and a line a frame
    std::string node;      // status: what this node did
    bool page = false;     // status: write the report page too
    std::string pageFile;  // status: where; "": report.html in the run folder

    int firstAttempt = 1;  // chunk: the number of its first attempt at each frame
    int jobs = 1;          // chunk: frames rendered at once
};
