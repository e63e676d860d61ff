// Cancelling: every job Slurm still holds of one run, or of every run of
// an output folder, then the state of each run cancelled once its jobs are
// gone.
#include <chrono>
#include <cstdio>
#include <thread>

#include "farm/FarmActions.h"
#include "farm/Follow.h"
#include "farm/slurm/Slurm.h"
#include "files/WholeFile.h"
#include "messages/Failure.h"

int RunFarmCancel(const FarmArguments& arguments)
{
    // A run's folder stands for that run; an output folder for every run
    // of it that is still active.
    std::vector<FarmFolder> runs;
    if (PathExists(arguments.dir + "/manifest.txt")) {
        runs.push_back(FarmFolder::Find(arguments.dir));
    } else {
        std::vector<std::string> strangers;
        runs = FarmFolder::AllRuns(arguments.dir, strangers);
        for (const std::string& stranger : strangers)
            std::printf("veldra: left alone: %s\n", stranger.c_str());
        if (runs.empty())
            throw Failure(arguments.dir, "no farm run here (give a run's farm folder or the output folder of a run)");
    }
    std::vector<std::pair<FarmFolder, RunView>> cancelled;
    for (const FarmFolder& folder : runs) {
        const RunView run = LookAtRun(folder);
        if (run.state.Finished())
            continue;
        CancelJobs(run.state.activeJobs);
        std::printf("veldra: cancelled run %s (jobs %s)\n", folder.Path().c_str(),
                    JobList(run.state.activeJobs).c_str());
        cancelled.emplace_back(folder, run);
    }
    if (cancelled.empty()) {
        std::printf("veldra: nothing to cancel: no job of %s is in Slurm\n",
                    runs.size() == 1 ? runs[0].Path().c_str() : ("any run of " + arguments.dir).c_str());
        return 0;
    }
    // scancel only asks; wait a while for the jobs to be gone so that the
    // state printed is the state that stays.
    std::vector<std::string> stillEnding;
    for (auto& [folder, run] : cancelled) {
        for (int poll = 0; poll < 120 && !run.state.Finished(); ++poll) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            run = LookAtRun(folder);
        }
        std::fputs(DescribeRun(folder, run, arguments.verbose).c_str(), stdout);
        stillEnding.insert(stillEnding.end(), run.state.activeJobs.begin(), run.state.activeJobs.end());
    }
    if (!stillEnding.empty())
        throw Failure("jobs still ending a minute after cancel: " + JobList(stillEnding));
    return 0;
}
