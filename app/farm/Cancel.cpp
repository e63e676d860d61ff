// Cancelling a run: every job of it Slurm still holds, then its state once
// the jobs are gone.
#include <chrono>
#include <cstdio>
#include <thread>

#include "farm/FarmActions.h"
#include "farm/Follow.h"
#include "farm/slurm/Slurm.h"
#include "messages/Failure.h"

int RunFarmCancel(const FarmArguments& arguments)
{
    const FarmFolder folder = FarmFolder::Find(arguments.dir);
    RunView run = LookAtRun(folder);
    if (!run.state.Finished())
        CancelJobs(run.state.activeJobs);
    // scancel only asks; wait a while for the jobs to be gone so that the
    // state printed is the state that stays.
    for (int poll = 0; poll < 120 && !run.state.Finished(); ++poll) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        run = LookAtRun(folder);
    }
    std::fputs(DescribeRun(folder, run).c_str(), stdout);
    if (!run.state.Finished()) {
        std::string jobs;
        for (const std::string& job : run.state.activeJobs)
            jobs += " " + job;
        throw Failure("jobs still ending a minute after cancel:" + jobs);
    }
    return 0;
}
