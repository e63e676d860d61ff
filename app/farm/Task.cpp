// One array task of a run: the frames of its chunk rendered by render
// processes it starts (farm/ChunkAttempts.h: one for the chunk, and one
// for each frame that brought a renderer down), a record for each frame
// no renderer could record, and a record of the task itself, written as it
// starts and again as it ends, however it ends.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unistd.h>

#include "farm/ChunkAttempts.h"
#include "farm/FarmActions.h"
#include "farm/LeftoverFiles.h"
#include "farm/RendererProtocol.h"
#include "farm/TaskEnvironment.h"
#include "farm/run/FarmFolder.h"
#include "farm/run/KeptOutputs.h"
#include "files/WholeFile.h"
#include "farm/slurm/Slurm.h"
#include "messages/Failure.h"
#include "messages/Warnings.h"
#include "process/ChildProcess.h"
#include "process/Interrupt.h"
#include "process/OwnOutput.h"
#include "render/InstalledFiles.h"
#include "sequence/FramePattern.h"
#include "sequence/ParseInteger.h"

namespace {

// Slurm's default KillWait is 30 s between its TERM and its KILL: the
// renderer's own grace, a question to Slurm and two small files fit well
// within that.
constexpr int kTaskGraceSeconds = 20;

// How a render process ended, in words that follow "the renderer": the
// signal that ended it, or its exit status and the error it gave.
std::string EndingOfProcess(const ProgramResult& result, const std::string& lastError)
{
    if (!result.started)
        return "could not be started: " + result.errors;
    if (result.exitCode > 128)
        return EndedBySignal(result.exitCode - 128);
    const std::string words = "ended with exit status " + std::to_string(result.exitCode);
    return lastError.empty() ? words : words + ": " + lastError;
}

// How the task ended after an interrupt: Slurm sends TERM at a time limit
// and on cancel alike, and at that moment says which as the job's reason.
std::string EndingOfInterrupt(const std::string& job, const std::string& task)
{
    const std::string words = "was ended by " + SignalWords(InterruptSignal()) +
                              ": cancelled, out of time, or its node shut down";
    try {
        for (const LiveJob& live : QueryJobs({job + "_" + task})) {
            if (live.reason == "TimeLimit" || live.state == "TIMEOUT")
                return "timed out";
            if (live.state == "CANCELLED" || live.state == "COMPLETING")
                return "was cancelled";
        }
    } catch (const Failure&) {
        // Slurm cannot be asked: the signal is all there is to say.
    }
    return words;
}

// "node1 (host vm)", or the host alone outside Slurm or where the two agree.
std::string PlaceWords(const TaskPlace& place)
{
    if (place.node.empty() || place.node == place.host)
        return place.host;
    return place.node + " (host " + place.host + ")";
}

// Writes the task's own record; a task that cannot goes on with its
// frames, saying why in its log.
void RecordTask(const FarmFolder& folder, const TaskRecord& record)
{
    try {
        folder.WriteTaskRecord(record);
    } catch (const Failure& failure) {
        Warn(std::string("cannot record the task: ") + failure.what());
    }
}

}  // namespace

int RunFarmTask(const FarmArguments& arguments)
{
    SetInterruptGrace(kTaskGraceSeconds);
    const FarmFolder folder = FarmFolder::Find(arguments.dir);
    const std::string job = SlurmVariable("SLURM_ARRAY_JOB_ID");
    const std::string task = SlurmVariable("SLURM_ARRAY_TASK_ID");
    KeepOutputIn(folder.LogPath(job, task));
    const FarmManifest manifest = folder.ReadManifest();

    const TaskPlace place = ThisTaskPlace();
    TaskRecord taskRecord{job, task, place.host, false, "", place.node, place.restart, SecondsNow()};
    RecordTask(folder, taskRecord);
    if (place.restart > 0)
        std::printf("task %s of job %s started again (%d) on %s\n", task.c_str(), job.c_str(), place.restart,
                    PlaceWords(place).c_str());

    const Submission* mine = nullptr;
    const std::vector<Submission> submissions = folder.ReadSubmissions(manifest.chunk);
    const auto chunk = ParseInteger(task, 0, INT_MAX);
    for (const Submission& submission : submissions) {
        if (submission.index == arguments.submission && chunk &&
            *chunk < static_cast<long long>(submission.chunks.size()))
            mine = &submission;
    }
    if (!mine)
        throw Failure(folder.Path(), "submission " + std::to_string(arguments.submission) + " has no chunk " + task);
    const int retries = mine->retries.value_or(manifest.retries);

    // Every path of a run is absolute; a task that Slurm could not put in
    // the submitting folder says so, and renders on.
    if (chdir(manifest.workdir.c_str()) != 0)
        Warn("cannot enter the submitting folder " + manifest.workdir + " (" + std::strerror(errno) +
             "); the run's paths are absolute");

    // Frames this run has already rendered (a task Slurm started again)
    // stay as they are while their outputs and inputs do; the attempts an
    // earlier start of this task made at the others count.
    const auto output = FramePattern::Parse(manifest.output);
    const auto input = FramePattern::Parse(manifest.input);
    std::vector<int> frames;
    std::map<int, int> earlier;
    for (const int frame : mine->chunks[static_cast<std::size_t>(*chunk)]) {
        const std::optional<FrameRecord> record = folder.ReadRecord(frame);
        if (record && output && input &&
            StillAsRendered(*record, IdentityOf(output->PathOf(frame)), IdentityOf(input->PathOf(frame)))) {
            std::printf("frame %d: rendered earlier in this run, kept\n", frame);
            continue;
        }
        if (record && !record->ok && record->job == job && record->task == task && record->restart < place.restart) {
            earlier[frame] = record->attempts;
            std::printf("frame %d: %d attempt%s ended with an earlier start of this task\n", frame, record->attempts,
                        record->attempts == 1 ? "" : "s");
        }
        frames.push_back(frame);
    }

    const char* cpus = std::getenv("SLURM_CPUS_PER_TASK");
    const auto cpuCount = cpus ? ParseInteger(cpus, 1, 1024) : std::nullopt;
    const std::string renderer = InstalledFile(kImageProgram);
    const std::string tag = TemporaryTagOf(job, task, place.restart);
    const std::string outputFolder = output ? FolderOfPattern(manifest.output) : "";

    ChunkAttempts attempts(frames, 1 + retries, earlier);
    std::string lastEnding;
    int failed = 0;
    std::string unrecorded;  // why the first frame whose record could not be written was not
    while (!Interrupted()) {
        const auto run = attempts.Next();
        if (!run)
            break;
        ChunkOrder order;
        order.run = folder.Path();
        order.firstAttempt = run->firstAttempt;
        order.retries = run->lastAttempt - run->firstAttempt;
        order.frames = run->frames;
        order.range = {manifest.rangeFirst, manifest.rangeLast};
        order.params = folder.ParamsPath();
        order.jobs = cpuCount.value_or(1);
        order.renderWords = manifest.renderWords;
        std::vector<std::string> argv = {renderer, "farm", "chunk"};
        const std::vector<std::string> words = EncodeChunkOrder(order);
        argv.insert(argv.end(), words.begin(), words.end());
        std::string lastError;
        const ProgramResult result = RunProgramLines(argv, [&](int stream, const std::string& line) {
            std::fprintf(stream == 1 ? stdout : stderr, "%s\n", line.c_str());
            std::fflush(stream == 1 ? stdout : stderr);
            // veldra's errors, not its warnings, say why a process gave up.
            if (const auto error = stream == 2 ? ReadErrorLine(line) : std::nullopt)
                lastError = *error;
            if (const auto event = stream == 1 ? ReadProgressLine(line) : std::nullopt) {
                attempts.Heard(*event);
                if (event->finished && !event->ok) {
                    ++failed;
                    if (unrecorded.empty())
                        unrecorded = event->unrecorded;
                }
            }
        });
        RemoveLeftovers(outputFolder, tag);
        lastEnding = EndingOfProcess(result, lastError);
        if (!result.started || result.exitCode > 1)
            std::printf("the renderer %s\n", lastEnding.c_str());
        for (const auto& [frame, tries] : attempts.TakeGivenUp()) {
            FrameRecord record;
            record.frame = frame;
            record.attempts = tries;
            record.host = taskRecord.host;
            record.job = job;
            record.task = task;
            record.log = folder.LogPath(job, task);
            record.message = "the renderer " + lastEnding;
            record.node = place.node;
            record.restart = place.restart;
            record.ended = SecondsNow();
            try {
                folder.WriteRecord(record);
            } catch (const Failure& failure) {
                record.message = UnrecordedMessage(failure.what());
                if (unrecorded.empty())
                    unrecorded = failure.what();
            }
            std::printf("%s\n", FinishLine(frame, false, record.message).c_str());
            ++failed;
        }
        std::fflush(stdout);
    }

    // What earlier starts of this task left, once this one is through.
    std::vector<std::string> earlierTags;
    for (int restart = 0; restart < place.restart; ++restart)
        earlierTags.push_back(TemporaryTagOf(job, task, restart));
    RemoveLeftovers(outputFolder, earlierTags);

    taskRecord.ended = true;
    taskRecord.endedAt = SecondsNow();
    if (Interrupted()) {
        taskRecord.ending = "was ended by " + SignalWords(InterruptSignal());
        RecordTask(folder, taskRecord);
        taskRecord.ending = EndingOfInterrupt(job, task);
        RecordTask(folder, taskRecord);
        std::printf("task %s of job %s %s\n", task.c_str(), job.c_str(), taskRecord.ending.c_str());
        return 128 + InterruptSignal();
    }
    taskRecord.ending = failed == 0 ? "completed" : "completed; " + std::to_string(failed) + " of its frames failed";
    if (!unrecorded.empty())
        taskRecord.ending += " (frames could not be recorded: " + unrecorded + ")";
    RecordTask(folder, taskRecord);
    std::printf("task %s of job %s: %zu frames, %d failed\n", task.c_str(), job.c_str(), frames.size(), failed);
    return failed == 0 ? 0 : 1;
}
