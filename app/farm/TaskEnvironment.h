// What a farm task and its renderer learn of where they run.
#pragma once

#include <string>

// This machine's name, "" when it cannot be told.
std::string HostName();

// Where a task runs: the machine, the node as Slurm names it (SLURMD_NODENAME,
// "" outside Slurm) and how often Slurm has started the task again
// (SLURM_RESTART_COUNT, 0 when unset).
struct TaskPlace {
    std::string host, node;
    int restart = 0;
};
TaskPlace ThisTaskPlace();

// The value of the variable Slurm sets for a task, `name`; throws Failure
// when it is not set (the process was not started by Slurm).
std::string SlurmVariable(const char* name);
