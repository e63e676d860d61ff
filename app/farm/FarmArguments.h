// What `veldra farm` is asked to do (cli/ reads it from the command line):
// the action and its run, and for a submission the shot, the words every
// task hands to `veldra render`, and how the shot is cut up for Slurm.
#pragma once

#include <string>
#include <vector>

#include "render/RenderRequest.h"

struct FarmArguments {
    enum class Action { Submit, Status, Retry, Cancel, Task, Report };
    Action action = Action::Status;

    std::string dir;     // status, retry, cancel: a run or an output folder; task, report: the run
    int submission = 0;  // task: which submission's chunks

    // submit: the shot, the module its block is settled with, and INPUT,
    // OUTPUT and the render options a task takes as given (the frames,
    // range and block it is given by the farm itself).
    RenderRequest render;
    std::string modulePath;
    std::vector<std::string> taskWords;

    int chunk = 0;        // frames per array task
    int maxParallel = 0;  // tasks at once; 0: as many as Slurm allows
    int retries = 2;      // further attempts at a failing frame
    std::string partition, timeLimit;
    int cpusPerTask = 0;                   // 0: Slurm's default
    std::vector<std::string> sbatchExtra;  // the words after "--"
    bool wait = false;                     // submit, retry: wait for the run to end
};
