// Submitting a run's frames as a job array with a final report job: a new
// run, or the frames of a run that failed or never ran.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <sys/stat.h>
#include <unistd.h>

#include "farm/FarmActions.h"
#include "farm/Follow.h"
#include "farm/slurm/Slurm.h"
#include "files/ParamFile.h"
#include "files/WholeFile.h"
#include "messages/Failure.h"
#include "render/FramePlan.h"
#include "render/module/FilterModule.h"

namespace {

// The batch script: sbatch needs a script file, and this one only runs its
// arguments, so that no path is ever read as shell text.
const char TaskScript[] =
    "#!/bin/sh\n"
    "# veldra farm: runs the program and arguments given on sbatch's command line.\n"
    "exec \"$@\"\n";

std::string CurrentFolder()
{
    std::unique_ptr<char, decltype(&std::free)> path(getcwd(nullptr, 0), &std::free);
    if (!path)
        throw Failure("veldra farm", std::string("cannot tell the current folder: ") + std::strerror(errno));
    return path.get();
}

std::string ThisProgram()
{
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        throw Failure("veldra farm", "cannot tell where veldra is: " + error.message());
    return path.string();
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first, second;
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

std::string FolderOf(const std::string& path)
{
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? "." : parent.string();
}

// Submits `frames` as submission `index`: the array, then its report job.
// The submission is on disk before the array exists, so that a task never
// starts without knowing its frames; a failed sbatch leaves no trace, and a
// failed report job takes its array down with it.
Submission SubmitFrames(const FarmFolder& folder, const FarmManifest& manifest, const std::vector<int>& frames,
                        int index)
{
    Submission submission = MakeSubmission(index, frames, manifest.chunk);
    folder.WriteSubmission(submission);

    const std::size_t chunks = submission.chunks.size();
    std::string array = "--array=0-" + std::to_string(chunks - 1);
    if (manifest.maxParallel > 0)
        array += "%" + std::to_string(manifest.maxParallel);
    // sbatch's words: the job's own options, those of every job of the
    // run, then `last` (options that must win, the script and its command).
    const auto words = [&](std::vector<std::string> own, const std::vector<std::string>& last) {
        own.insert(own.end(), {"--chdir=" + manifest.workdir, "--export=ALL"});
        own.insert(own.end(), manifest.sbatchOptions.begin(), manifest.sbatchOptions.end());
        own.insert(own.end(), last.begin(), last.end());
        return own;
    };
    try {
        submission.arrayJob = SubmitBatch(
            words({"--job-name=veldra-farm", array, "--output=" + folder.LogsPath() + "/%A_%a.log"},
                  {folder.ScriptPath(), manifest.program, "farm", "task", folder.Path(), std::to_string(index)}));
    } catch (const Failure& failure) {
        folder.RemoveSubmission(index);
        // Slurm's default MaxArraySize allows indices up to 1000.
        std::string hint;
        if (chunks > 1001)
            hint = "; " + std::to_string(chunks) + " chunks may be more than the cluster allows: give a larger --chunk";
        throw failure.Noting(" (nothing was submitted" + hint + ")");
    }
    folder.WriteSubmission(submission);

    try {
        // The report is light work, whatever a chunk needs.
        submission.reportJob = SubmitBatch(
            words({"--job-name=veldra-farm-report", "--dependency=afterany:" + submission.arrayJob,
                   "--kill-on-invalid-dep=yes", "--output=" + folder.LogsPath() + "/report-%j.log"},
                  {"--cpus-per-task=1", folder.ScriptPath(), manifest.program, "farm", "report", folder.Path()}));
    } catch (const Failure& failure) {
        std::string outcome = "cancelled array job " + submission.arrayJob;
        try {
            CancelJobs({submission.arrayJob});
        } catch (const Failure& cancel) {
            outcome = "array job " + submission.arrayJob + " is still queued, and cancelling it failed too (" +
                      cancel.what() + ")";
        }
        throw failure.Noting(" (submitting the report job; " + outcome + ")");
    }
    folder.WriteSubmission(submission);
    return submission;
}

void PrintSubmitted(const FarmFolder& folder, const FarmManifest& manifest, const Submission& submission)
{
    const std::size_t chunks = submission.chunks.size();
    std::printf("veldra: submitted job %s: %zu frame%s (%s) in %zu task%s of up to %d frames, then report job %s\n",
                submission.arrayJob.c_str(), submission.frames.size(), submission.frames.size() == 1 ? "" : "s",
                FrameList::Of(submission.frames).Text().c_str(), chunks, chunks == 1 ? "" : "s", manifest.chunk,
                submission.reportJob.c_str());
    std::printf("follow it with: veldra farm status %s\n", folder.Path().c_str());
    std::fflush(stdout);
}

}  // namespace

int RunFarmSubmit(const FarmArguments& arguments)
{
    const RenderRequest& render = arguments.render;
    const auto module = LoadFilterModule(arguments.modulePath);
    const FramePlan plan = PlanFrames(render, *module);
    if (!plan.input || !plan.output)
        throw Failure("farm", "INPUT and OUTPUT must be sequence patterns such as shot.####.png");
    FarmManifest manifest;
    manifest.frames = FramesOfRun(plan.frames, "--frames");
    manifest.program = ThisProgram();
    manifest.workdir = CurrentFolder();
    manifest.input = render.input;
    manifest.output = render.output;
    manifest.renderWords = arguments.taskWords;
    manifest.rangeFirst = plan.range.first;
    manifest.rangeLast = plan.range.last;
    manifest.chunk = arguments.chunk;
    manifest.retries = arguments.retries;
    manifest.maxParallel = arguments.maxParallel;
    if (!arguments.partition.empty())
        manifest.sbatchOptions.push_back("--partition=" + arguments.partition);
    if (!arguments.timeLimit.empty())
        manifest.sbatchOptions.push_back("--time=" + arguments.timeLimit);
    if (arguments.cpusPerTask > 0)
        manifest.sbatchOptions.push_back("--cpus-per-task=" + std::to_string(arguments.cpusPerTask));
    manifest.sbatchOptions.insert(manifest.sbatchOptions.end(), arguments.sbatchExtra.begin(),
                                  arguments.sbatchExtra.end());

    // Everything a task would stumble on is found here, before a job exists.
    std::size_t existing = 0;
    for (const int frame : manifest.frames) {
        const std::string path = plan.InputOf(frame);
        if (access(path.c_str(), R_OK) != 0)
            throw Failure(path, std::string("cannot open: ") + std::strerror(errno));
        // Tasks keep outputs that exist, so in place every frame would be
        // kept as it is and reported done.
        if (SameFile(path, plan.OutputOf(frame)))
            throw Failure(render.output, "a farm run cannot render in place: give an output other than the input");
        existing += access(plan.OutputOf(frame).c_str(), F_OK) == 0 ? 1 : 0;
    }
    if (existing > 0)
        std::printf("veldra: %zu of the %zu outputs exist already and will be kept, not rendered again\n", existing,
                    manifest.frames.size());

    const FarmFolder folder = FarmFolder::Create(FolderOf(render.output));
    Submission submission;
    try {
        WriteParamFile(folder.ParamsPath(), plan.block);
        ReplaceFileContents(folder.ScriptPath(), TaskScript, sizeof TaskScript - 1);
        folder.WriteManifest(manifest);
        submission = SubmitFrames(folder, manifest, manifest.frames, 0);
    } catch (...) {
        // A run that never reached Slurm is no run: the latest run stays
        // the one before.
        folder.Discard();
        throw;
    }
    PrintSubmitted(folder, manifest, submission);
    return arguments.wait ? WaitForRun(folder) : 0;
}

int RunFarmRetry(const FarmArguments& arguments)
{
    const FarmFolder folder = FarmFolder::Find(arguments.dir);
    const RunView run = LookAtRun(folder);
    std::vector<int> frames = run.state.failed;
    frames.insert(frames.end(), run.state.notRun.begin(), run.state.notRun.end());
    std::sort(frames.begin(), frames.end());
    if (frames.empty()) {
        std::printf("veldra: nothing to retry in %s: %zu frame%s done, %zu running or pending\n", folder.Path().c_str(),
                    run.state.done.size(), run.state.done.size() == 1 ? "" : "s",
                    run.state.running.size() + run.state.pending.size());
        return arguments.wait ? WaitForRun(folder) : 0;
    }
    const int index = run.submissions.empty() ? 0 : run.submissions.back().index + 1;
    const Submission submission = SubmitFrames(folder, run.manifest, frames, index);
    PrintSubmitted(folder, run.manifest, submission);
    return arguments.wait ? WaitForRun(folder) : 0;
}
