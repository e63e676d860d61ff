// The Slurm commands veldra farm uses: sbatch to submit, squeue to see live
// job states, scancel to cancel. Each failure of a command (not installed,
// controller unreachable, request refused) throws Failure with one line
// naming the command and what it said.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Submits a batch job: `sbatch --parsable ARGS...`; returns the job id.
std::string SubmitBatch(const std::vector<std::string>& args);

// Cancels the jobs (and every task of the arrays) in `jobs`.
void CancelJobs(const std::vector<std::string>& jobs);

// A job, or one task of an array job, as squeue shows it.
struct LiveJob {
    std::string job;          // the job id, for an array the array's id
    std::optional<int> task;  // the array task index
    std::string state;        // PENDING, RUNNING, COMPLETED...
    std::string reason;       // why it is pending, "None" otherwise
};

// What squeue knows of `jobs` and their tasks. Slurm forgets finished jobs
// after a while: a job missing here has finished long ago.
std::vector<LiveJob> QueryJobs(const std::vector<std::string>& jobs);

// Lines of `squeue -h -o '%F|%K|%T|%r'`, pending task lists such as
// "0-4%2" or "5,7-9" spread into one entry per task. Throws Failure for a
// task list that is malformed or longer than a run's frames.
std::vector<LiveJob> ParseQueue(const std::string& text);

// Still to run or running, as opposed to ended one way or another.
bool IsActive(const std::string& state);
bool IsRunning(const std::string& state);

// For a pending reason that will not clear by itself (a request no node or
// partition can meet, a hold, a dependency that can never be met): what it
// means, in words. Nothing for reasons that pass with time.
std::optional<std::string> StuckReason(const std::string& reason);
