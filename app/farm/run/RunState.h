// Where every frame of a run stands, from the status records (the truth
// for frames that ended: Slurm forgets finished jobs), the outputs on disk
// (a frame is done only while its output is the file its record names),
// the tasks' own records and Slurm's live states (for frames still to come
// and for how tasks ended).
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "farm/run/FarmFolder.h"
#include "farm/slurm/Slurm.h"

// A task that ended leaving frames of its chunk without a record, and how
// it ended.
struct TaskEnding {
    std::string job;
    int task = 0;
    std::vector<int> frames;
    std::string ending;  // words that follow "task 3 of job 120"
};

struct RunState {
    std::vector<int> done, running, suspended, pending, failed, notRun;
    // Frames once done whose output is gone (missing) or is another file
    // now (replaced); `missing` holds both.
    std::vector<int> missing, replaced;
    // Frames whose record proves nothing (farm/run/Records.h), and why.
    std::vector<DamagedRecord> damaged;
    std::vector<FrameRecord> failures;  // the record of each failed frame
    std::vector<TaskEnding> endings;    // why the frames that never ran did not
    // Jobs pending for a reason that will not clear as they are, and for
    // one that may, each said in words.
    std::vector<std::string> neverStart, waiting;
    std::vector<std::string> activeJobs;  // the run's jobs Slurm still runs or holds
    bool tasksActive = false;             // some of them are array tasks, not only report jobs
    // Lines said after the state: "warning: ..." and "note: ..." (files
    // ignored, where the run was found, a full disk).
    std::vector<std::string> remarks;

    // No job of the run is left in Slurm.
    bool Finished() const { return activeJobs.empty(); }
    // No task is left: every frame is as it will stay, though a report job
    // may still be to run.
    bool TasksEnded() const { return !tasksActive; }
    bool AllDone() const
    {
        return running.empty() && suspended.empty() && pending.empty() && failed.empty() && notRun.empty() &&
               missing.empty() && damaged.empty();
    }
    // The frames a retry renders: failed, never run, missing or with a
    // damaged record, in order.
    std::vector<int> ToRender() const;
};

// Every job id of the run, arrays and final jobs.
std::vector<std::string> RunJobs(const std::vector<Submission>& submissions);

// The output (or input) file of `frame` as it stands now, or nothing when
// there is none.
using FileLookup = std::function<std::optional<FileIdentity>(int frame)>;

// A frame with an ok record is done while its output is the file the
// record names. Any other frame follows the task of the latest submission
// that holds it: running, suspended or pending while Slurm says so, else
// missing when it was done, damaged when its record is, failed when it has
// a failed record, else never ran, with how its task ended from Slurm, or
// from the task's record once Slurm has forgotten it. Stray files of the
// status room are noted.
RunState ComputeRunState(const FarmManifest& manifest, const std::vector<Submission>& submissions,
                         const RunRecords& records, const std::map<std::pair<std::string, int>, TaskRecord>& tasks,
                         const std::vector<LiveJob>& live, const FileLookup& outputNow);

// The state as `veldra farm status` prints it, for the run in `runPath`.
std::string FormatRunState(const RunState& state, const FarmManifest& manifest,
                           const std::vector<Submission>& submissions, const std::string& runPath);
