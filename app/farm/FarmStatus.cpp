// Following a run: its state now, the wait for its end, the report its
// final job writes, and the dispatch of `veldra farm`'s actions.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "Failure.h"
#include "farm/FarmCommands.h"
#include "farm/RunState.h"
#include "files/SafeFile.h"

namespace {

struct RunView {
    FarmManifest manifest;
    std::vector<Submission> submissions;
    RunState state;
};

std::string Describe(const FarmFolder& folder, const RunView& view)
{
    return FormatRunState(view.state, view.manifest, view.submissions, folder.Path());
}

// The run as the records and Slurm tell it. When Slurm cannot be asked and
// `slurmTrouble` is given, the records alone tell it and `slurmTrouble`
// says why; otherwise the failure goes up.
RunView LookAt(const FarmFolder& folder, std::string* slurmTrouble = nullptr)
{
    RunView view;
    view.manifest = folder.ReadManifest();
    view.submissions = folder.ReadSubmissions();
    std::vector<LiveJob> live;
    try {
        live = QueryJobs(RunJobs(view.submissions));
    } catch (const Failure& failure) {
        if (!slurmTrouble)
            throw;
        *slurmTrouble = failure.what();
    }
    view.state = ComputeRunState(view.manifest, view.submissions, folder.ReadRecords(), live);
    return view;
}

// The state, and when Slurm could not be asked, what that leaves unknown.
std::string DescribeWithoutSlurm(const FarmFolder& folder, int& exitCode)
{
    std::string trouble;
    const RunView view = LookAt(folder, &trouble);
    std::string text = Describe(folder, view);
    if (!trouble.empty()) {
        text += "warning: " + trouble + "; from the records alone, frames still running or pending show as never run\n";
        exitCode = 1;
    }
    return text;
}


}  // namespace

int RunFarmStatus(const FarmArguments& arguments)
{
    const FarmFolder folder = FarmFolder::Find(arguments.dir);
    int exitCode = 0;
    std::fputs(DescribeWithoutSlurm(folder, exitCode).c_str(), stdout);
    return exitCode;
}

int RunFarmReport(const FarmArguments& arguments)
{
    const FarmFolder folder = FarmFolder::Find(arguments.dir);
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S UTC", &utc);
    int exitCode = 0;
    const std::string report =
        "veldra farm report, " + std::string(stamp) + "\n" + DescribeWithoutSlurm(folder, exitCode);
    WriteFileSafely(folder.ReportPath(), report.data(), report.size());
    std::fputs(report.c_str(), stdout);
    return exitCode;
}

int WaitForRun(const FarmFolder& folder)
{
    std::size_t shownDone = static_cast<std::size_t>(-1);
    for (;;) {
        RunView view;
        try {
            view = LookAt(folder);
        } catch (const Failure& failure) {
            throw Failure(std::string(failure.what()) + " (stopped waiting; the run goes on: veldra farm status " +
                          folder.Path() + ")");
        }
        const RunState& state = view.state;
        if (state.Finished() || !state.warnings.empty()) {
            std::fputs(Describe(folder, view).c_str(), stdout);
            if (!state.Finished())
                throw Failure("stopped waiting: a job of the run will not start by itself");
            return state.AllDone() ? 0 : 1;
        }
        if (state.done.size() != shownDone) {
            shownDone = state.done.size();
            std::printf("waiting: %zu of %zu frames done, %zu running\n", shownDone, view.manifest.frames.size(),
                        state.running.size());
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

int RunFarm(const std::vector<std::string>& words)
{
    const FarmArguments arguments = ParseFarmArguments(words);
    switch (arguments.action) {
    case FarmArguments::Action::Submit: return RunFarmSubmit(arguments);
    case FarmArguments::Action::Status: return RunFarmStatus(arguments);
    case FarmArguments::Action::Retry: return RunFarmRetry(arguments);
    case FarmArguments::Action::Cancel: return RunFarmCancel(arguments);
    case FarmArguments::Action::Report: return RunFarmReport(arguments);
    case FarmArguments::Action::Task: return RunFarmTask(arguments);
    case FarmArguments::Action::Help: std::fputs(FarmUsageText(), stdout); return words.empty() ? 2 : 0;
    }
    return 2;
}
