// One array task of a run: the frames of its chunk through `veldra render`,
// one process per attempt so that a frame that crashes the renderer costs
// only that frame, as many at once as the task has CPUs, and a status
// record for each frame.
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "farm/FarmActions.h"
#include "farm/run/FarmFolder.h"
#include "messages/Failure.h"
#include "process/ChildProcess.h"
#include "sequence/FramePattern.h"
#include "sequence/ParseInteger.h"

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        throw Failure("farm task", std::string(name) + " is not set (tasks are started by Slurm)");
    return value;
}

std::string HostName()
{
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

// The message of a failed render: what veldra said last, without its name.
std::string FailureMessage(const ProgramResult& result)
{
    if (!result.started)
        return "cannot run veldra: " + result.errors;
    std::string line = LastLine(result.errors.empty() ? result.output : result.errors);
    if (line.compare(0, 8, "veldra: ") == 0)
        line.erase(0, 8);
    if (result.exitCode > 128)
        return "veldra ended by signal " + std::to_string(result.exitCode - 128) + (line.empty() ? "" : ": " + line);
    return line.empty() ? "veldra render failed with exit status " + std::to_string(result.exitCode) : line;
}

// Renders `frame` unless its output exists, trying up to 1 + retries
// times; prints each attempt and what veldra said to the task's log.
FrameRecord RenderWithRetries(const FarmFolder& folder, const FarmManifest& manifest, int frame, FrameRecord record,
                              std::mutex& printing)
{
    // Outputs appear only complete (written aside, then renamed), so an
    // existing one is a frame an earlier task finished.
    if (access(FramePattern::Parse(manifest.output)->PathOf(frame).c_str(), F_OK) == 0) {
        record.ok = true;
        record.message = "output already there";
    }
    const std::string frames = std::to_string(frame) + "-" + std::to_string(frame);
    const std::string range = std::to_string(manifest.rangeFirst) + "-" + std::to_string(manifest.rangeLast);
    while (!record.ok && record.attempts <= manifest.retries) {
        ++record.attempts;
        std::vector<std::string> argv = {manifest.program, "render"};
        argv.insert(argv.end(), manifest.renderWords.begin(), manifest.renderWords.end());
        argv.insert(argv.end(),
                    {"--frames", frames, "--range", range, "--params", folder.ParamsPath(), "--jobs", "1", "--quiet"});
        const ProgramResult result = RunProgram(argv);
        record.ok = result.started && result.exitCode == 0;
        record.message = record.ok ? "" : FailureMessage(result);
        const std::lock_guard<std::mutex> lock(printing);
        std::printf("frame %d, attempt %d: %s\n%s%s", frame, record.attempts, record.ok ? "ok" : record.message.c_str(),
                    result.output.c_str(), result.errors.c_str());
        std::fflush(stdout);
    }
    return record;
}

}  // namespace

int RunFarmTask(const FarmArguments& arguments)
{
    const FarmFolder folder = FarmFolder::Find(arguments.dir);
    const FarmManifest manifest = folder.ReadManifest();
    const std::string job = Environment("SLURM_ARRAY_JOB_ID");
    const std::string task = Environment("SLURM_ARRAY_TASK_ID");

    std::vector<int> frames;
    const auto chunk = ParseInteger(task, 0, INT_MAX);
    for (const Submission& submission : folder.ReadSubmissions(manifest.chunk)) {
        if (submission.index == arguments.submission && chunk &&
            *chunk < static_cast<long long>(submission.chunks.size()))
            frames = submission.chunks[static_cast<std::size_t>(*chunk)];
    }
    if (frames.empty())
        throw Failure(folder.Path(), "submission " + std::to_string(arguments.submission) + " has no chunk " + task);

    // As many frames at once as the task has CPUs; one when Slurm says
    // nothing useful.
    const char* cpus = std::getenv("SLURM_CPUS_PER_TASK");
    const auto cpuCount = cpus ? ParseInteger(cpus, 1, INT_MAX) : std::nullopt;
    const int workers = static_cast<int>(
        std::min<long long>(cpuCount.value_or(1), static_cast<long long>(frames.size())));
    const FrameRecord blank{0, false, 0, HostName(), job, task, folder.LogPath(job, task), ""};
    std::atomic<std::size_t> next{0};
    std::atomic<int> failures{0};
    std::mutex printing;
    auto work = [&] {
        for (std::size_t at; (at = next++) < frames.size();) {
            FrameRecord record = blank;
            record.frame = frames[at];
            try {
                record = RenderWithRetries(folder, manifest, frames[at], record, printing);
                folder.WriteRecord(record);
            } catch (const std::exception& error) {
                // No record: status counts the frame as never run.
                const std::lock_guard<std::mutex> lock(printing);
                std::printf("frame %d: %s\n", frames[at], error.what());
                record.ok = false;
            }
            failures += record.ok ? 0 : 1;
        }
    };
    std::vector<std::thread> threads;
    for (int worker = 1; worker < workers; ++worker)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
    std::printf("task %s of job %s: %zu frames, %d failed\n", task.c_str(), job.c_str(), frames.size(),
                failures.load());
    return failures == 0 ? 0 : 1;
}
