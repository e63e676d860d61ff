// Following a run: its state as its folder, its outputs and Slurm tell it,
// and the wait for its end.
#pragma once

#include <string>
#include <vector>

#include "farm/run/FarmFolder.h"
#include "farm/run/RunState.h"

// A run as its folder and Slurm tell it now.
struct RunView {
    // Its output pattern in the folder the run is found in
    // (FarmFolder::ReadManifestWhereFound).
    FarmManifest manifest;
    // The folder the run renders into when it is not where the run was
    // found (a copied or moved output folder), else "".
    std::string rendersInto;
    std::vector<Submission> submissions;
    RunState state;
};

// Fills in the array job of each of `submissions` that has none (sbatch
// did not answer in time), when Slurm knows the job by its comment
// (FarmFolder::SubmissionComment), and records it in the run, saying so in
// `notes`, or that it knows none. Throws Failure when Slurm cannot be
// asked.
void FindUnansweredJobs(const FarmFolder& folder, std::vector<Submission>& submissions,
                        std::vector<std::string>& notes);

// Throws Failure when Slurm cannot be asked, unless `slurmTrouble` is
// given: then the records alone tell the state, and it says why.
RunView LookAtRun(const FarmFolder& folder, std::string* slurmTrouble = nullptr);
// The state as `veldra farm status` prints it.
std::string DescribeRun(const FarmFolder& folder, const RunView& run);

// Waits until Slurm holds no task of the run (its report job may still be
// to run), riding out a controller that
// does not answer and jobs held up for reasons that may pass (WaitPatience);
// prints the run's state and returns 0 only when every frame is done.
// Throws Failure when it stops waiting before the run has ended.
int WaitForRun(const FarmFolder& folder);
