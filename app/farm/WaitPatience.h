// What `--wait` makes of each look at a run: whether to go on waiting,
// what to say on the way, and the exit code when it stops. It bears with a
// controller that does not answer (restarting, say) and with jobs pending
// for reasons that may pass (nodes not yet back) for kPatienceSeconds
// each, and stops at once only when the run has ended or a job can never
// start as it is.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "farm/run/RunState.h"

constexpr double kPatienceSeconds = 600;

class WaitPatience {
public:
    struct Step {
        bool end = false;
        int exitCode = 0;
        std::string failure;             // when ending without the run's end: why, for the error line
        std::vector<std::string> notes;  // lines for standard error, said as they happen
    };

    // `start` is when the wait began, in seconds on a steady clock.
    explicit WaitPatience(double start) : lastAnswer_(start) {}

    // Slurm could not be asked at `now`; `why` is what the command said.
    Step NoAnswer(double now, const std::string& why);
    // Slurm answered at `now`, and the run stands as `state`.
    Step Answer(double now, const RunState& state);

private:
    double lastAnswer_;
    bool silent_ = false;                // the last look had no answer
    std::optional<double> heldSince_;    // jobs pending for reasons that may pass, since
    std::vector<std::string> heldSaid_;  // the reasons already said
};

// Seconds between looks, `elapsed` seconds into the wait: often at first,
// so that a short run is seen to end soon after it does, then every few
// seconds, which is all a long run needs.
double PollInterval(double elapsed);
