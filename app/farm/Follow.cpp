// Following a run: its state now, the wait for its end, and the report its
// final job writes.
#include "farm/Follow.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <thread>
#include <sys/statvfs.h>

#include "farm/FarmActions.h"
#include "farm/WaitPatience.h"
#include "files/WholeFile.h"
#include "messages/Failure.h"
#include "process/OwnOutput.h"
#include "sequence/FramePattern.h"

std::string DescribeRun(const FarmFolder& folder, const RunView& run)
{
    return FormatRunState(run.state, run.manifest, run.submissions, folder.Path());
}

namespace {

// A warning when the farm folder's file system has no room left for a
// record: tasks then cannot say what they did, nor write their logs.
std::optional<std::string> FullDiskWarning(const FarmFolder& folder)
{
    struct statvfs space {};
    if (statvfs(folder.Path().c_str(), &space) != 0)
        return std::nullopt;
    const unsigned long long free = static_cast<unsigned long long>(space.f_bavail) * space.f_frsize;
    if (free >= kMostRecordBytes)
        return std::nullopt;
    return "warning: the farm folder's disk is full (" + std::to_string(free) + " bytes free where " + folder.Path() +
           " is): tasks cannot record their frames or write their logs; make room, then veldra farm retry";
}

}  // namespace

void FindUnansweredJobs(const FarmFolder& folder, std::vector<Submission>& submissions, std::vector<std::string>& notes)
{
    for (Submission& submission : submissions) {
        if (!submission.arrayJob.empty())
            continue;
        const std::string index = std::to_string(submission.index);
        if (const auto job = FindJobByComment("veldra-farm", folder.SubmissionComment(submission.index))) {
            submission.arrayJob = *job;
            notes.push_back("submission " + index + ": sbatch did not say its job; Slurm knows it as job " + *job);
            // Recorded, the job stays the run's once Slurm forgets it.
            try {
                folder.WriteSubmission(submission);
            } catch (const Failure& failure) {
                notes.push_back("cannot record it: " + std::string(failure.what()));
            }
        } else {
            notes.push_back("submission " + index +
                            " has no job: it is being submitted now, or sbatch did not answer and Slurm knows no "
                            "job of it (yet)");
        }
    }
}

RunView LookAtRun(const FarmFolder& folder, std::string* slurmTrouble)
{
    RunView run;
    run.manifest = folder.ReadManifestWhereFound(run.rendersInto);
    std::vector<std::string> notes;
    run.submissions = folder.ReadSubmissions(run.manifest.chunk, &notes);
    std::vector<LiveJob> live;
    try {
        FindUnansweredJobs(folder, run.submissions, notes);
        live = QueryJobs(RunJobs(run.submissions));
    } catch (const Failure& failure) {
        if (!slurmTrouble)
            throw;
        *slurmTrouble = failure.what();
    }
    const auto output = FramePattern::Parse(run.manifest.output);
    if (!output)
        throw Failure(folder.ManifestPath(), "the output '" + run.manifest.output + "' is no sequence pattern");
    const auto tasks = folder.ReadTaskRecords(&notes);
    run.state = ComputeRunState(run.manifest, run.submissions, folder.ReadRecords(run.manifest.frames), tasks, live,
                                [&](int frame) { return IdentityOf(output->PathOf(frame)); });
    std::vector<std::string>& remarks = run.state.remarks;
    if (!run.rendersInto.empty())
        remarks.insert(remarks.begin(), "note: this run renders into " + run.rendersInto + "; it is found in " +
                                            folder.OutputFolder() +
                                            " (the folder was copied or moved), and its outputs are looked for here");
    for (const std::string& note : notes)
        remarks.push_back("note: " + note);
    if (const auto full = FullDiskWarning(folder))
        remarks.push_back(*full);
    return run;
}

namespace {

// The run's state, from the records alone when Slurm cannot be asked,
// saying what that leaves unknown and setting `exitCode` to 1.
std::string DescribeEvenWithoutSlurm(const FarmFolder& folder, int& exitCode)
{
    std::string trouble;
    const RunView run = LookAtRun(folder, &trouble);
    std::string text = DescribeRun(folder, run);
    if (!trouble.empty()) {
        text += "warning: " + trouble + "; from the records alone, frames still running or pending show as never run\n";
        exitCode = 1;
    }
    return text;
}

}  // namespace

int RunFarmStatus(const FarmArguments& arguments)
{
    std::vector<std::string> notes;
    const std::vector<FarmFolder> runs = FarmFolder::LatestOfEachShot(arguments.dir, notes);
    for (const std::string& note : notes)
        std::printf("veldra: note: %s\n", note.c_str());
    int exitCode = 0;
    for (std::size_t i = 0; i < runs.size(); ++i)
        std::printf("%s%s", i ? "\n" : "", DescribeEvenWithoutSlurm(runs[i], exitCode).c_str());
    return exitCode;
}

int RunFarmReport(const FarmArguments& arguments)
{
    const FarmFolder folder = FarmFolder::Find(arguments.dir);
    if (const char* job = std::getenv("SLURM_JOB_ID"))
        KeepOutputIn(folder.ReportLogPath(job));
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S UTC", &utc);
    int exitCode = 0;
    const std::string report = "veldra farm report, " + std::string(stamp) + "\n" +
                               DescribeEvenWithoutSlurm(folder, exitCode);
    ReplaceFileContents(folder.ReportPath(), report.data(), report.size(), WriteAs::PrivateRecord);
    std::fputs(report.c_str(), stdout);
    return exitCode;
}

int WaitForRun(const FarmFolder& folder)
{
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    WaitPatience patience(0);
    std::size_t shownDone = static_cast<std::size_t>(-1);
    for (;;) {
        const double now = elapsed();
        std::string trouble;
        const RunView run = LookAtRun(folder, &trouble);
        const WaitPatience::Step step = trouble.empty() ? patience.Answer(now, run.state)
                                                        : patience.NoAnswer(now, trouble);
        for (const std::string& note : step.notes)
            std::fprintf(stderr, "veldra: %s\n", note.c_str());
        if (step.end) {
            std::fputs(DescribeRun(folder, run).c_str(), stdout);
            std::fflush(stdout);
            if (!step.failure.empty())
                throw Failure(step.failure + "; the run goes on: veldra farm status " + folder.Path());
            return step.exitCode;
        }
        if (trouble.empty() && run.state.done.size() != shownDone) {
            shownDone = run.state.done.size();
            std::printf("waiting: %zu of %zu frames done, %zu running\n", shownDone, run.manifest.frames.size(),
                        run.state.running.size());
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(PollInterval(now)));
    }
}
