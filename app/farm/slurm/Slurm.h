// The Slurm commands veldra farm uses: sbatch to submit, squeue to see live
// job states, scancel to cancel. Each failure of a command (not installed,
// controller unreachable, request refused) throws Failure naming the
// command, with everything it said on one line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "messages/Failure.h"

// Job ids as Slurm's commands take them: "120,121".
std::string JobList(const std::vector<std::string>& jobs);

// Submits a batch job: `sbatch --parsable ARGS...`; returns the job id.
std::string SubmitBatch(const std::vector<std::string>& args);

// True when sbatch failed as `failure` says in a way that may have left a
// job all the same: its request went out, and the controller did not
// answer in time (it may be frozen, or busy, and make the job later).
bool MaybeSubmitted(const Failure& failure);

// The id of the user's job named `name` whose comment is `comment`, if
// Slurm knows one (for an array, the array's id); throws Failure when
// squeue fails.
std::optional<std::string> FindJobByComment(const std::string& name, const std::string& comment);

// Cancels the jobs (and every task of the arrays) in `jobs`.
void CancelJobs(const std::vector<std::string>& jobs);

// A job, or one task of an array job, as squeue shows it.
struct LiveJob {
    std::string job;          // the job id, for an array the array's id
    std::optional<int> task;  // the array task index
    std::string state;        // PENDING, RUNNING, COMPLETED...
    std::string reason;       // why it is pending or ended, "None" otherwise
    int exitStatus = 0;       // as wait() reports it: exit code << 8, or the signal
};

// What squeue knows of `jobs` and their tasks. Slurm forgets finished jobs
// after a while: a job missing here has finished long ago.
std::vector<LiveJob> QueryJobs(const std::vector<std::string>& jobs);

// Lines of `squeue -h -O ArrayJobID:|,ArrayTaskID:|,State:|,Reason:|,
// exit_code:|`, pending task lists such as "0-4%2" or "[5,7-9]" spread into
// one entry per task. Throws Failure for a task list that is malformed or
// longer than a run's frames.
std::vector<LiveJob> ParseQueue(const std::string& text);

// Still to run or running, as opposed to ended one way or another.
bool IsActive(const std::string& state);
bool IsRunning(const std::string& state);
// Held in the middle of running (suspended by an operator, or stopped).
bool IsSuspended(const std::string& state);

// Why a job is pending, when that matters to someone waiting for it.
struct PendingReason {
    // True when the job can never start as it is (a request no node or
    // partition can meet, a dependency that can never be met); false for a
    // reason that may clear with time or an operator's hand (nodes down, a
    // hold, a controller that has just restarted).
    bool never = false;
    std::string meaning;  // in words
};
// The reason `reason` as someone waiting must read it; nothing for the
// reasons every job meets on its way (priority, resources, a dependency
// that is still running).
std::optional<PendingReason> ReadPendingReason(const std::string& reason);

// How a process ended by `signal` ended, in words that follow its name:
// "was ended by signal 9 (Killed): out of memory...".
std::string EndedBySignal(int signal);

// How an ended job or task ended, in words that follow "task 3 of job 120":
// "completed", "failed with exit code 2", "timed out", "was cancelled"...
std::string EndingOf(const LiveJob& job);

// The --output value that makes Slurm write `folder`/`name`, where `name`
// may hold Slurm's %-patterns (%A, %a, %j) but `folder` is taken as it
// stands: its '%' are doubled. Slurm expands no pattern at all in a name
// that holds a backslash, so for such a folder the patterns cannot work:
// then the value names `folder`/`fallback` (with its backslashes doubled),
// one file for every job that writes there.
std::string SlurmOutputPath(const std::string& folder, const std::string& name, const std::string& fallback);
