#include "render/FramePlan.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "image/OutputFormat.h"
#include "messages/Failure.h"
#include "render/module/FilterModule.h"

namespace {

// The input side of the plan: its naming and its frames.
void PlanInputs(const RenderRequest& request, FramePlan& plan)
{
    // The output is a sequence only when the input is one.
    if (NamesSequence(request.input))
        plan.input = FramePattern::Parse(request.input);
    plan.inputFile = request.input;
    if (!plan.input) {
        if (request.frames)
            throw Failure("--frames", request.input + " is a single image; give --frame N", FailureKind::Value);
        plan.frames = FrameList::Of({request.frame.value_or(0)});
        if (access(request.input.c_str(), R_OK) != 0)
            throw FileError::OfSystemError(request.input, "cannot open", errno);
        return;
    }
    if (request.frame)
        throw Failure("--frame", request.input + " is a sequence pattern; give --frames A-B", FailureKind::Value);
    // One listing of the folder serves for any width of --frames.
    const std::vector<int> onDisk = plan.input->FramesOnDisk();
    if (request.frames) {
        int missing = 0;
        if (request.frames->FirstMissing(onDisk, missing))
            throw FileError::OfSystemError(plan.input->PathOf(missing), "cannot open", ENOENT);
        plan.frames = *request.frames;
        return;
    }
    if (onDisk.empty())
        throw FileError(request.input, "no frames found", ENOENT);
    if (!CountableSpan(onDisk.front(), onDisk.back()))
        throw Failure(request.input, "the frames found span too many numbers to count", FailureKind::Value);
    plan.frames = FrameList::Of(onDisk);
}

// The output side, the ranges and the settings: everything but the
// inputs. An output of a kind no writer handles or in a folder that cannot
// be written is found before any frame is rendered, so that a mistyped
// path does not leave a partial sequence.
void PlanOutputs(const RenderRequest& request, bool outputMayBePattern, const LoadedModule& module, FramePlan& plan)
{
    if (outputMayBePattern)
        plan.output = FramePattern::Parse(request.output);
    plan.outputFile = request.output;
    if (!plan.output && plan.Count() > 1)
        throw Failure(request.output, "a sequence needs an output pattern such as out.####.png", FailureKind::Value);

    const std::string first = plan.OutputOf(plan.frames.First());
    plan.outputFormat = OutputFormatOf(first);
    const std::filesystem::path parent = std::filesystem::path(first).parent_path();
    const std::string folder = parent.empty() ? "." : (parent / "").string();
    if (access(folder.c_str(), W_OK) != 0)
        throw FileError::OfSystemError(folder, "cannot write to the output folder", errno);
    if (request.compression && plan.outputFormat != "png")
        throw Failure("--compression", "applies to PNG output only, not " + request.output, FailureKind::Usage);

    plan.range = request.range.value_or(FrameSpan{plan.frames.First(), plan.frames.Last()});
    plan.alpha = request.alpha;
    plan.compression = request.compression;
    plan.depth = request.depth;
    plan.block = SettleParams(*MakeFilter(module), request.paramsFile, request.settings);
}

}  // namespace

std::string DegreesText(float angle)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, angle).ptr;
    return std::string(text, end);
}

std::string OneFrameRangeWarning(FrameSpan range, const RotationParams& params, int frame, const std::string& placing)
{
    if (range.Count() != 1 || params.startAngle == params.endAngle)
        return "";
    return "the filter's range holds one frame, which gets the start angle (" + DegreesText(params.startAngle) +
           " deg); to place frame " + std::to_string(frame) + " in a range, give " + placing;
}

bool NamesSequence(const std::string& input)
{
    // A file that exists is the file named, even with '#' or '%' in its
    // name.
    struct stat info {};
    if (stat(input.c_str(), &info) == 0 && !S_ISDIR(info.st_mode))
        return false;
    return FramePattern::Parse(input).has_value();
}

FrameRange FramePlan::QueueAt(int frame) const
{
    return FrameRange(frames.First(), frames.Last() - frames.First() + 1, frame);
}

FrameRange FramePlan::RangeAt(int frame) const { return FrameRange(range.first, range.Count(), frame); }

FramePlan PlanFrames(const RenderRequest& request, const LoadedModule& module)
{
    FramePlan plan;
    PlanInputs(request, plan);
    PlanOutputs(request, plan.input.has_value(), module, plan);
    return plan;
}

FramePlan PlanMadeFrames(const RenderRequest& request, const LoadedModule& module)
{
    FramePlan plan;
    plan.frames = request.frames.value_or(FrameList::Of({request.frame.value_or(0)}));
    PlanOutputs(request, true, module, plan);
    return plan;
}
