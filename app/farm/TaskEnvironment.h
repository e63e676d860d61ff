// What a farm task and its renderer learn of where they run.
#pragma once

#include <string>

// This machine's name, "" when it cannot be told.
std::string HostName();

// The value of the variable Slurm sets for a task, `name`; throws Failure
// when it is not set (the process was not started by Slurm).
std::string SlurmVariable(const char* name);
