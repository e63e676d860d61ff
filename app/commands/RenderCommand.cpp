// `veldra render`: a frame or a sequence through the filter, read from and
// written to image files.
#include <climits>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <unistd.h>

#include "commands/Commands.h"
#include "Failure.h"
#include "render/FilterModule.h"
#include "cli/FramePattern.h"
#include "image/ImageFiles.h"
#include "render/Interrupt.h"
#include "render/ParallelFrames.h"
#include "cli/Progress.h"
#include "render/RenderFrame.h"
#include "files/SafeFile.h"

namespace {

// Which frames to run and where each one's files are.
struct FramePlan {
    std::vector<int> frames;  // in increasing order
    std::optional<FramePattern> input;
    std::optional<FramePattern> output;
    std::string inputFile;   // when INPUT is one image
    std::string outputFile;  // when OUTPUT is one image

    std::string InputOf(int frame) const { return input ? input->PathOf(frame) : inputFile; }
    std::string OutputOf(int frame) const { return output ? output->PathOf(frame) : outputFile; }
};

FramePlan PlanFrames(const RenderArguments& render)
{
    FramePlan plan;
    plan.input = FramePattern::Parse(render.input);
    plan.output = FramePattern::Parse(render.output);
    plan.inputFile = render.input;
    plan.outputFile = render.output;

    if (plan.input) {
        if (render.frame)
            throw Failure("--frame: " + render.input + " is a sequence pattern; give --frames A-B");
        if (render.frames) {
            for (int frame = render.frames->first;; ++frame) {
                plan.frames.push_back(frame);
                if (frame == render.frames->last)
                    break;
            }
        } else {
            plan.frames = plan.input->FramesOnDisk();
            if (plan.frames.empty())
                throw Failure(render.input + ": no frames found");
        }
    } else {
        if (render.frames)
            throw Failure("--frames: " + render.input + " is a single image; give --frame N");
        plan.frames.push_back(render.frame.value_or(0));
    }
    if (!plan.output && plan.frames.size() > 1)
        throw Failure(render.output + ": a sequence needs an output pattern such as out.####.png");
    const long long span = static_cast<long long>(plan.frames.back()) - plan.frames.front();
    if (span >= INT_MAX)
        throw Failure(render.input + ": the frames found span too many numbers to count");
    return plan;
}

// Finds a missing input, an output of a kind no writer handles or an
// unwritable output folder before any frame is rendered, so that a mistyped
// path does not leave a partial sequence.
void CheckPaths(const FramePlan& plan)
{
    for (const int frame : plan.frames) {
        const std::string input = plan.InputOf(frame);
        if (access(input.c_str(), R_OK) != 0)
            throw Failure(input + ": cannot open: " + std::strerror(errno));
    }
    const std::string output = plan.OutputOf(plan.frames.front());
    CheckWritableFormat(output);
    const std::filesystem::path parent = std::filesystem::path(output).parent_path();
    const std::string folder = parent.empty() ? "." : (parent / "").string();
    if (access(folder.c_str(), W_OK) != 0)
        throw Failure(folder + ": cannot write to the output folder: " + std::strerror(errno));
}

}  // namespace

int RunRender(const Arguments& arguments)
{
    const RenderArguments& render = arguments.render;
    const FramePlan plan = PlanFrames(render);
    CheckPaths(plan);
    if (render.compression && !IsPngPath(render.output))
        throw Failure("--compression: applies to PNG output only, not " + render.output);

    const int first = plan.frames.front();
    const FrameRange queue(first, plan.frames.back() - first + 1, first);
    const FrameRange filterRange =
        render.range ? FrameRange(render.range->first, render.range->Count(), first) : queue;

    const auto module = LoadFilterModule(arguments.modulePath);
    const int workers = WorkerCount(arguments.jobs, plan.frames.size());
    std::vector<std::unique_ptr<ImageFilter>> filters;
    filters.push_back(MakeFilter(*module));
    const ParamsBlock block = SettleParams(*filters[0], render.paramsFile, render.settings);
    while (static_cast<int>(filters.size()) < workers) {
        filters.push_back(MakeFilter(*module));
        LoadParams(*filters.back(), block);
    }
    if (!render.saveParamsFile.empty())
        WriteFileSafely(render.saveParamsFile, block.data(), block.size());

    Progress progress(plan.frames.size(), !arguments.quiet);
    CatchInterrupts();
    auto renderOne = [&](int worker, std::size_t index) {
        const int frame = plan.frames[index];
        if (Interrupted())
            throw Failure("interrupted before frame " + std::to_string(frame));
        const std::string inputPath = plan.InputOf(frame);
        const std::string outputPath = plan.OutputOf(frame);
        try {
            LoadedImage image = ReadImage(inputPath);
            RenderFrame(*filters[worker], image.frame, FrameRange(queue.First(), queue.Count(), frame),
                        FrameRange(filterRange.First(), filterRange.Count(), frame), inputPath);
            WriteImage(outputPath, image.frame, WriteSettings{render.compression, image.format, image.compression});
        } catch (const std::bad_alloc&) {
            throw Failure(inputPath + ": not enough memory for this frame");
        }
    };
    try {
        RunFrames(plan.frames.size(), workers, renderOne, [&] { progress.FrameDone(); });
    } catch (const Failure& failure) {
        progress.Finish();
        if (plan.frames.size() == 1)
            throw;
        throw Failure(std::string(failure.what()) + " (sequence stopped; " + std::to_string(progress.Done()) +
                      " of " + std::to_string(plan.frames.size()) + " frames written)");
    }
    progress.Finish();
    if (!arguments.quiet)
        std::printf("veldra: rendered %zu frame%s in %.2f s (%.1f fps) to %s\n", plan.frames.size(),
                    plan.frames.size() == 1 ? "" : "s", progress.Seconds(), progress.FramesPerSecond(),
                    render.output.c_str());
    return 0;
}
