// `veldra render`: a frame or a sequence through the filter, read from and
// written to image files.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "Failure.h"
#include "cli/FramePattern.h"
#include "cli/Notice.h"
#include "cli/Progress.h"
#include "commands/Commands.h"
#include "engine/FrameProgress.h"
#include "filter/FrameAngle.h"
#include "filter/RotationParams.h"
#include "image/ImageFiles.h"
#include "render/AlphaKeep.h"
#include "render/FilterModule.h"
#include "render/Interrupt.h"
#include "render/ParallelFrames.h"
#include "render/RenderFrame.h"

namespace {

// Which frames to run and where each one's files are.
struct FramePlan {
    std::optional<FrameList> frames;  // in increasing order
    std::optional<FramePattern> input;
    std::optional<FramePattern> output;
    std::string inputFile;   // when INPUT is one image
    std::string outputFile;  // when OUTPUT is one image

    std::int64_t Count() const { return frames->Count(); }
    std::string InputOf(int frame) const { return input ? input->PathOf(frame) : inputFile; }
    std::string OutputOf(int frame) const { return output ? output->PathOf(frame) : outputFile; }
};

bool IsFile(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::string CannotOpen(const std::string& path) { return path + ": cannot open: " + std::strerror(ENOENT); }

FramePlan PlanFrames(const RenderArguments& render)
{
    FramePlan plan;
    // A file that exists is the file named, even with '#' or '%' in its
    // name; the output is a sequence only when the input is one.
    if (!IsFile(render.input))
        plan.input = FramePattern::Parse(render.input);
    if (plan.input)
        plan.output = FramePattern::Parse(render.output);
    plan.inputFile = render.input;
    plan.outputFile = render.output;

    if (plan.input) {
        if (render.frame)
            throw Failure("--frame: " + render.input + " is a sequence pattern; give --frames A-B");
        // One listing of the folder serves for any width of --frames.
        const std::vector<int> onDisk = plan.input->FramesOnDisk();
        if (render.frames) {
            int missing = 0;
            if (render.frames->FirstMissing(onDisk, missing))
                throw Failure(CannotOpen(plan.input->PathOf(missing)));
            plan.frames = render.frames;
        } else {
            if (onDisk.empty())
                throw Failure(render.input + ": no frames found");
            if (static_cast<long long>(onDisk.back()) - onDisk.front() >= INT_MAX)
                throw Failure(render.input + ": the frames found span too many numbers to count");
            plan.frames = FrameList::Of(onDisk);
        }
    } else {
        if (render.frames)
            throw Failure("--frames: " + render.input + " is a single image; give --frame N");
        plan.frames = FrameList::Of({render.frame.value_or(0)});
        if (access(render.input.c_str(), R_OK) != 0)
            throw Failure(render.input + ": cannot open: " + std::strerror(errno));
    }
    if (!plan.output && plan.Count() > 1)
        throw Failure(render.output + ": a sequence needs an output pattern such as out.####.png");
    return plan;
}

// Finds an output of a kind no writer handles or an unwritable output
// folder before any frame is rendered, so that a mistyped path does not
// leave a partial sequence.
void CheckOutput(const FramePlan& plan)
{
    const std::string output = plan.OutputOf(plan.frames->First());
    CheckWritableFormat(output);
    const std::filesystem::path parent = std::filesystem::path(output).parent_path();
    const std::string folder = parent.empty() ? "." : (parent / "").string();
    if (access(folder.c_str(), W_OK) != 0)
        throw Failure(folder + ": cannot write to the output folder: " + std::strerror(errno));
}

RotationParams ParamsOf(const ParamBlock& block)
{
    RotationParams params{};
    std::memcpy(&params, block.data(), std::min(sizeof params, block.size()));
    return params;
}

std::string Degrees(float angle)
{
    char text[48];
    std::snprintf(text, sizeof text, "%g", angle);
    return text;
}

// Each frame's number, percent of the range, angle and files.
void ListFrames(const FramePlan& plan, const FrameRange& filterRange, const RotationParams& params)
{
    for (std::int64_t index = 0; index < plan.Count(); ++index) {
        const int frame = plan.frames->At(index);
        const int percent = ProgressPercentOf(frame, filterRange.First(), filterRange.Count());
        const float angle = FrameAngle(params.startAngle, params.endAngle, percent);
        std::printf("frame %d  %d%%  %s deg  %s -> %s\n", frame, percent, Degrees(angle).c_str(),
                    plan.InputOf(frame).c_str(), plan.OutputOf(frame).c_str());
    }
}

}  // namespace

int RunRender(const Arguments& arguments)
{
    const RenderArguments& render = arguments.render;
    const FramePlan plan = PlanFrames(render);
    CheckOutput(plan);
    if (render.compression && !IsPngPath(plan.OutputOf(plan.frames->First())))
        throw Failure("--compression: applies to PNG output only, not " + render.output);

    const int first = plan.frames->First();
    const FrameRange queue(first, plan.frames->Last() - first + 1, first);
    const FrameRange filterRange = render.range ? FrameRange(render.range->first, render.range->Count(), first) : queue;

    const auto module = LoadFilterModule(arguments.modulePath);
    const int workers = render.dryRun ? 1 : WorkerCount(arguments.jobs, static_cast<std::size_t>(plan.Count()));
    std::vector<std::unique_ptr<ImageFilter>> filters;
    filters.push_back(MakeFilter(*module));
    const ParamBlock block = SettleParams(*filters[0], render.paramsFile, render.settings);
    const RotationParams params = ParamsOf(block);
    if (filterRange.Count() == 1 && params.startAngle != params.endAngle)
        std::fprintf(stderr,
                     "veldra: warning: the filter's range holds one frame, which gets the start angle (%s deg); "
                     "to place frame %d in a range, give --frame %d --range A-B\n",
                     Degrees(params.startAngle).c_str(), first, first);
    if (render.dryRun) {
        ListFrames(plan, filterRange, params);
        return 0;
    }
    while (static_cast<int>(filters.size()) < workers) {
        filters.push_back(MakeFilter(*module));
        LoadParams(*filters.back(), block);
    }
    if (!render.saveParamsFile.empty())
        WriteParamFile(render.saveParamsFile, block);

    Notice alphaLost(
        "the filter makes every pixel it covers opaque, so the input's transparency is not kept; "
        "give --alpha keep to carry it through the turn");
    Notice alphaDropped("the output format cannot hold alpha; transparent areas are written opaque");
    Notice clamped("float values outside 0..1 are clamped: the filter works on 16-bit values");

    Progress progress(static_cast<std::size_t>(plan.Count()), !arguments.quiet);
    auto renderOne = [&](int worker, std::size_t index) {
        const int frame = plan.frames->At(static_cast<std::int64_t>(index));
        if (Interrupted())
            throw Failure("interrupted before frame " + std::to_string(frame));
        const std::string inputPath = plan.InputOf(frame);
        const std::string outputPath = plan.OutputOf(frame);
        try {
            LoadedImage image = ReadImage(inputPath);
            if (image.clamped)
                clamped.Say();
            const FrameRange at(queue.First(), queue.Count(), frame);
            const FrameRange range(filterRange.First(), filterRange.Count(), frame);
            if (render.alpha == AlphaMode::Keep) {
                const ColourAlpha colour = image.associatedAlpha ? ColourAlpha::Premultiplied : ColourAlpha::Straight;
                RenderFrameKeepingAlpha(*filters[worker], image.frame, colour, at, range, inputPath);
            } else {
                if (!image.frame.IsOpaque())
                    alphaLost.Say();
                RenderFrame(*filters[worker], image.frame, at, range, inputPath);
            }
            const WriteOutcome outcome = WriteImage(outputPath, image.frame,
                                                    WriteSettings{render.compression, &image, render.depth});
            if (outcome.alphaDropped)
                alphaDropped.Say();
        } catch (const std::bad_alloc&) {
            throw Failure(inputPath + ": not enough memory for this frame");
        }
    };
    const std::size_t count = static_cast<std::size_t>(plan.Count());
    try {
        RunFrames(count, workers, renderOne, [&] { progress.FrameDone(); });
    } catch (const Failure& failure) {
        progress.Finish();
        if (count == 1)
            throw;
        throw Failure(std::string(failure.what()) + " (sequence stopped; " + std::to_string(progress.Done()) + " of " +
                      std::to_string(count) + " frames written)");
    }
    progress.Finish();
    if (Interrupted())
        throw Failure("interrupted after the last frame; " + std::to_string(progress.Done()) + " of " +
                      std::to_string(count) + " frames written, each complete");
    if (!arguments.quiet)
        std::printf("veldra: rendered %zu frame%s in %.2f s (%.1f fps) to %s\n", count, count == 1 ? "" : "s",
                    progress.Seconds(), progress.FramesPerSecond(), render.output.c_str());
    return 0;
}
