// The render process of a farm task (`veldra farm chunk`): the frames it is
// handed, in order, in one process, as many at once as it is told; a
// failing frame tried again up to its retries; each frame recorded as an
// attempt starts and as it ends, with the identities of its input and
// output, or failed when its record cannot be written, and its progress
// said on standard output for the task that started it
// (farm/ChunkAttempts.h). A frame is rendered only under its lock, and not
// at all when another copy of the task has rendered it meanwhile
// (farm/run/FrameLocks.h).
#include <cstdio>
#include <mutex>
#include <optional>

#include "farm/ChunkAttempts.h"
#include "farm/FarmActions.h"
#include "farm/LeftoverFiles.h"
#include "farm/TaskEnvironment.h"
#include "farm/run/FarmFolder.h"
#include "farm/run/KeptOutputs.h"
#include "farm/run/FrameLocks.h"
#include "files/TemporaryNames.h"
#include "messages/Failure.h"
#include "process/Interrupt.h"
#include "render/FrameLoop.h"
#include "render/FramePlan.h"
#include "render/ParallelFrames.h"
#include "render/module/FilterModule.h"

namespace {

// True when `frame`'s record says it is done and its output and input are
// still the files that record names: another copy of this task rendered
// it since the task looked.
bool RenderedMeanwhile(const FarmFolder& folder, int frame, const std::optional<FramePlan>& plan)
{
    if (!plan)
        return false;
    std::optional<FrameRecord> record;
    try {
        record = folder.ReadRecord(frame);
    } catch (const Failure&) {
        return false;  // a damaged record proves nothing: render
    }
    return record && StillAsRendered(*record, IdentityOf(plan->OutputOf(frame)), IdentityOf(plan->InputOf(frame)));
}

}  // namespace

int RunFarmChunk(const FarmArguments& arguments)
{
    const FarmFolder folder = FarmFolder::Find(arguments.dir);
    const std::string job = SlurmVariable("SLURM_ARRAY_JOB_ID");
    const std::string task = SlurmVariable("SLURM_ARRAY_TASK_ID");
    const TaskPlace place = ThisTaskPlace();
    // What a killed process leaves, its task can find and remove.
    SetTemporaryNameTag(TemporaryTagOf(job, task, place.restart));
    const auto module = LoadFilterModule(arguments.modulePath);
    const std::vector<int> frames = arguments.render.frames->Frames();
    const int lastAttempt = arguments.firstAttempt + arguments.retries.value_or(0);

    FrameRecord blank;
    blank.host = place.host;
    blank.node = place.node;
    blank.restart = place.restart;
    blank.job = job;
    blank.task = task;
    blank.log = folder.LogPath(job, task);
    FrameLocks locks(folder.FrameLocksPath());
    RunWarnings warnings;
    std::mutex printing;
    const auto say = [&](const std::string& line) {
        const std::lock_guard<std::mutex> lock(printing);
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };
    // One plan for the chunk when every frame is there to plan; a frame
    // that is not fails alone, planned on its own.
    std::optional<FramePlan> chunkPlan;
    try {
        chunkPlan = PlanFrames(arguments.render, *module);
    } catch (const Failure&) {
    }
    int failures = 0;
    const int workers = WorkerCount(arguments.jobs, frames.size());
    // A movie's frames are decoded in order as they are handed out; a
    // frame that cannot be is read again by its attempt, which records why.
    std::vector<std::optional<DecodedFrame>> claimed(static_cast<std::size_t>(workers));
    const auto claim = [&](int worker, std::size_t index) {
        try {
            claimed[static_cast<std::size_t>(worker)] = chunkPlan->movie->Decode(frames[index]);
        } catch (const Failure&) {
        }
    };
    RunFrames(
        frames.size(), workers,
        [&](int worker, std::size_t index) {
            FrameRecord record = blank;
            record.frame = frames[index];
            if (!locks.Lock(record.frame))
                throw Failure("interrupted before frame " + std::to_string(record.frame));
            const struct Unlock {
                FrameLocks& locks;
                int frame;
                ~Unlock() { locks.Unlock(frame); }
            } unlock{locks, record.frame};
            if (RenderedMeanwhile(folder, record.frame, chunkPlan)) {
                say(FinishLine(record.frame, true, ""));
                return;
            }
            RenderRequest request = arguments.render;
            request.frames = FrameList::Of({record.frame});
            for (int attempt = arguments.firstAttempt; !record.ok && attempt <= lastAttempt; ++attempt) {
                if (Interrupted())
                    throw Failure("interrupted before frame " + std::to_string(record.frame), FailureKind::Interrupted);
                say(StartLine(record.frame, attempt));
                record.attempts = attempt;
                record.started = SecondsNow();
                record.ended = 0;
                record.rendering = true;
                try {
                    folder.WriteRecord(record);
                } catch (const Failure&) {
                    // Only word of an attempt under way: the frame's last
                    // record says how it ended, or why it could not.
                }
                record.rendering = false;
                try {
                    std::optional<FramePlan> own;
                    const FramePlan& plan = chunkPlan ? *chunkPlan : own.emplace(PlanFrames(request, *module));
                    const auto filters = MakeFilters(*module, 1, plan.block);
                    std::optional<DecodedFrame> decoded;
                    decoded.swap(claimed[static_cast<std::size_t>(worker)]);
                    const RenderedFrame files = RenderPlanFrame(
                        plan, *filters[0], record.frame, warnings,
                        decoded ? std::optional<LoadedImage>(decoded->Convert()) : std::nullopt);
                    record.input = files.input;
                    record.output = files.output;
                    record.ok = true;
                    record.message.clear();
                } catch (const Failure& failure) {
                    record.message = failure.what();
                    say("frame " + std::to_string(record.frame) + ", attempt " + std::to_string(attempt) +
                        " failed: " + record.message);
                }
                record.ended = SecondsNow();
            }
            try {
                folder.WriteRecord(record);
            } catch (const Failure& failure) {
                // Not recorded, the frame cannot be seen done: it fails,
                // once, saying why, and the chunk goes on.
                record.ok = false;
                record.message = UnrecordedMessage(failure.what());
            }
            say(FinishLine(record.frame, record.ok, record.message));
            const std::lock_guard<std::mutex> lock(printing);
            failures += record.ok ? 0 : 1;
        },
        [] {}, chunkPlan && chunkPlan->movie ? claim : std::function<void(int, std::size_t)>());
    return failures == 0 ? 0 : 1;
}
