// `veldra farm`: renders a shot as a Slurm job array and follows it. Each
// action returns the process exit code and throws Failure for anything the
// user can mend.
#pragma once

#include <string>
#include <vector>

#include "farm/FarmArguments.h"
#include "farm/FarmFolder.h"
#include "farm/RunState.h"

// The words after "farm".
int RunFarm(const std::vector<std::string>& words);

int RunFarmSubmit(const FarmArguments& arguments);
int RunFarmRetry(const FarmArguments& arguments);
int RunFarmCancel(const FarmArguments& arguments);
int RunFarmStatus(const FarmArguments& arguments);
// The final job of a submission: writes report.txt.
int RunFarmReport(const FarmArguments& arguments);
// One array task: renders its chunk, writes a record per frame.
int RunFarmTask(const FarmArguments& arguments);

// A run as its folder and Slurm tell it now.
struct RunView {
    FarmManifest manifest;
    std::vector<Submission> submissions;
    RunState state;
};

// Throws Failure when Slurm cannot be asked, unless `slurmTrouble` is
// given: then the records alone tell the state, and it says why.
RunView LookAtRun(const FarmFolder& folder, std::string* slurmTrouble = nullptr);
// The state as `veldra farm status` prints it.
std::string DescribeRun(const FarmFolder& folder, const RunView& run);

// Waits until Slurm holds no job of the run, or one of them can never
// start; prints the run's state and returns 0 only when every frame is
// done.
int WaitForRun(const FarmFolder& folder);
