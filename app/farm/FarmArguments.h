// The command line of `veldra farm`: the action, its folder, the options
// of a submission, and the render options handed on to every task.
#pragma once

#include <string>
#include <vector>

#include "cli/Arguments.h"

struct FarmArguments {
    enum class Action { Help, Submit, Status, Retry, Cancel, Task, Report };
    Action action = Action::Help;

    std::string dir;     // status, retry, cancel: a run or an output folder; task, report: the run
    int submission = 0;  // task: which submission's chunks

    // submit: INPUT OUTPUT and the render options as given, and as parsed.
    std::vector<std::string> renderWords;
    Arguments render;

    int chunk = 0;        // frames per array task
    int maxParallel = 0;  // tasks at once; 0: as many as Slurm allows
    int retries = 2;      // further attempts at a failing frame
    std::string partition, timeLimit;
    int cpusPerTask = 0;                   // 0: Slurm's default
    std::vector<std::string> sbatchExtra;  // the words after "--"
    bool wait = false;                     // submit, retry: wait for the run to end
};

// Parses the words after "farm"; throws Failure for an unknown action or
// option, a bad value, or render options `veldra render` would refuse.
FarmArguments ParseFarmArguments(const std::vector<std::string>& words);

// The render words a task passes on: `words` without the options the farm
// sets for each frame itself (--frames, --frame, --range, --params,
// --save-params, --jobs, --quiet).
std::vector<std::string> TaskRenderWords(const std::vector<std::string>& words);

const char* FarmUsageText();
