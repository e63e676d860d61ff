// Where every frame of a run stands, from the status records (the truth
// for frames that ended: Slurm forgets finished jobs) and Slurm's live
// states (for frames still to come).
#pragma once

#include <string>
#include <vector>

#include "farm/run/FarmFolder.h"
#include "farm/slurm/Slurm.h"

struct RunState {
    std::vector<int> done, running, pending, failed, notRun;
    std::vector<FrameRecord> failures;  // the record of each failed frame
    // Tasks (array job and index) holding a frame that never ran.
    std::vector<std::pair<std::string, int>> silentTasks;
    std::vector<std::string> warnings;    // jobs that will not start by themselves
    std::vector<std::string> activeJobs;  // the run's jobs Slurm still runs or holds

    bool Finished() const { return activeJobs.empty(); }
    bool AllDone() const { return running.empty() && pending.empty() && failed.empty() && notRun.empty(); }
};

// Every job id of the run, arrays and final jobs.
std::vector<std::string> RunJobs(const std::vector<Submission>& submissions);

// A frame with an ok record is done. Any other frame follows the task of
// the latest submission that holds it: running or pending while Slurm says
// so, else failed when it has a failed record, else never ran.
RunState ComputeRunState(const FarmManifest& manifest, const std::vector<Submission>& submissions,
                         const std::vector<FrameRecord>& records, const std::vector<LiveJob>& live);

// The state as `veldra farm status` prints it, for the run in `runPath`.
std::string FormatRunState(const RunState& state, const FarmManifest& manifest,
                           const std::vector<Submission>& submissions, const std::string& runPath);
