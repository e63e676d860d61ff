// The render process of a farm task (`veldra farm chunk`): the frames it is
// handed, in order, in one process, as many at once as it is told; a
// failing frame tried again up to its retries; each frame recorded as it
// ends, with the identities of its input and output, or failed when its
// record cannot be written, and its progress said on standard output
// for the task that started it (farm/ChunkAttempts.h).
#include <cstdio>
#include <mutex>
#include <optional>

#include "farm/ChunkAttempts.h"
#include "farm/FarmActions.h"
#include "farm/LeftoverFiles.h"
#include "farm/TaskEnvironment.h"
#include "farm/run/FarmFolder.h"
#include "files/PendingFiles.h"
#include "messages/Failure.h"
#include "process/Interrupt.h"
#include "render/FrameLoop.h"
#include "render/FramePlan.h"
#include "render/ParallelFrames.h"
#include "render/module/FilterModule.h"

int RunFarmChunk(const FarmArguments& arguments)
{
    const FarmFolder folder = FarmFolder::Find(arguments.dir);
    const std::string job = SlurmVariable("SLURM_ARRAY_JOB_ID");
    const std::string task = SlurmVariable("SLURM_ARRAY_TASK_ID");
    // What a killed process leaves, its task can find and remove.
    SetTemporaryNameTag(TemporaryTagOf(job, task));
    const auto module = LoadFilterModule(arguments.modulePath);
    const std::vector<int> frames = arguments.render.frames->Frames();
    const int lastAttempt = arguments.firstAttempt + arguments.retries.value_or(0);

    FrameRecord blank;
    blank.host = HostName();
    blank.job = job;
    blank.task = task;
    blank.log = folder.LogPath(job, task);
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
    RunFrames(
        frames.size(), WorkerCount(arguments.jobs, frames.size()),
        [&](int, std::size_t index) {
            FrameRecord record = blank;
            record.frame = frames[index];
            RenderRequest request = arguments.render;
            request.frames = FrameList::Of({record.frame});
            for (int attempt = arguments.firstAttempt; !record.ok && attempt <= lastAttempt; ++attempt) {
                if (Interrupted())
                    throw Failure("interrupted before frame " + std::to_string(record.frame), FailureKind::Interrupted);
                say(StartLine(record.frame, attempt));
                record.attempts = attempt;
                try {
                    std::optional<FramePlan> own;
                    const FramePlan& plan = chunkPlan ? *chunkPlan : own.emplace(PlanFrames(request, *module));
                    const auto filters = MakeFilters(*module, 1, plan.block);
                    const RenderedFrame files = RenderPlanFrame(plan, *filters[0], record.frame, warnings);
                    record.input = files.input;
                    record.output = files.output;
                    record.ok = true;
                    record.message.clear();
                } catch (const Failure& failure) {
                    record.message = failure.what();
                    say("frame " + std::to_string(record.frame) + ", attempt " + std::to_string(attempt) +
                        " failed: " + record.message);
                }
            }
            try {
                folder.WriteRecord(record);
            } catch (const Failure& failure) {
                // Not recorded, the frame cannot be seen done: it fails,
                // once, saying why, and the chunk goes on.
                record.ok = false;
                record.message = kUnrecorded + std::string(failure.what());
            }
            say(FinishLine(record.frame, record.ok, record.message));
            const std::lock_guard<std::mutex> lock(printing);
            failures += record.ok ? 0 : 1;
        },
        [] {});
    return failures == 0 ? 0 : 1;
}
