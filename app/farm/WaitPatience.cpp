#include "farm/WaitPatience.h"

#include <algorithm>

namespace {

const std::string kPatience = "10 minutes";

}  // namespace

WaitPatience::Step WaitPatience::NoAnswer(double now, const std::string& why)
{
    Step step;
    if (!silent_)
        step.notes.push_back("no answer from Slurm (" + why + "); waiting on, up to " + kPatience +
                             " without an answer");
    silent_ = true;
    if (now - lastAnswer_ >= kPatienceSeconds) {
        step.end = true;
        step.exitCode = 1;
        step.failure = "stopped waiting: no answer from Slurm for " + kPatience + " (" + why + ")";
    }
    return step;
}

WaitPatience::Step WaitPatience::Answer(double now, const RunState& state)
{
    Step step;
    if (silent_)
        step.notes.push_back("Slurm answers again");
    silent_ = false;
    lastAnswer_ = now;
    // The report job need not be waited for: the frames are as they stay.
    if (state.TasksEnded()) {
        step.end = true;
        step.exitCode = state.AllDone() ? 0 : 1;
        return step;
    }
    if (!state.neverStart.empty()) {
        step.end = true;
        step.exitCode = 1;
        step.failure = "stopped waiting: a job of the run will not start as it is";
        return step;
    }
    if (state.waiting.empty()) {
        heldSince_.reset();
        heldSaid_.clear();
        return step;
    }
    if (!heldSince_)
        heldSince_ = now;
    for (const std::string& reason : state.waiting) {
        if (std::find(heldSaid_.begin(), heldSaid_.end(), reason) == heldSaid_.end()) {
            heldSaid_.push_back(reason);
            step.notes.push_back(reason + "; waiting on, up to " + kPatience);
        }
    }
    if (now - *heldSince_ >= kPatienceSeconds) {
        step.end = true;
        step.exitCode = 1;
        step.failure = "stopped waiting: jobs of the run have been held up for " + kPatience;
    }
    return step;
}

double PollInterval(double elapsed)
{
    if (elapsed < 10)
        return 0.5;
    return elapsed < 60 ? 2.0 : 5.0;
}
