#include "render/FrameLoop.h"

#include <new>
#include <string>

#include "image/ImageFiles.h"
#include "image/PixelArrays.h"
#include "messages/Failure.h"
#include "process/Interrupt.h"
#include "render/AlphaKeep.h"
#include "render/ParallelFrames.h"
#include "render/module/FilterModule.h"

RenderedFrame RenderPlanFrame(const FramePlan& plan, ImageFilter& filter, int frame, RunWarnings& warnings)
{
    const std::string inputPath = plan.InputOf(frame);
    try {
        // Taken before the read: an input replaced meanwhile is recorded as
        // the one before, and so never taken for what was rendered.
        const std::optional<FileIdentity> input = IdentityOf(inputPath);
        LoadedImage image = ReadImage(inputPath);
        if (!input)
            throw FileError(inputPath, "cannot open: it was put in place while it was read");
        if (!image.droppedChannels.empty())
            warnings.channelsDropped.Say(image.droppedChannels);
        if (image.clamped)
            warnings.clamped.Say(kClampedWarning);
        if (plan.alpha == AlphaMode::Filter && image.hasAlpha && !image.frame.IsOpaque())
            warnings.alphaLost.Say(TransparencyLostWarning(warnings.keepAlpha));
        const ColourAlpha colour = image.associatedAlpha ? ColourAlpha::Premultiplied : ColourAlpha::Straight;
        RenderFrameWithAlpha(filter, image.frame, plan.alpha, colour, plan.QueueAt(frame), plan.RangeAt(frame),
                             inputPath);
        const WriteOutcome outcome = WriteImage(
            plan.OutputOf(frame), plan.outputFormat, image.frame,
            WriteSettings{plan.compression, &image, plan.depth, plan.output.has_value()});
        if (outcome.alphaDropped)
            warnings.alphaDropped.Say("the output format cannot hold alpha; transparent areas are written opaque");
        return RenderedFrame{*input, outcome.written};
    } catch (const std::bad_alloc&) {
        throw Failure(inputPath, "not enough memory for this frame", FailureKind::Memory);
    }
}

std::size_t RenderPlan(const FramePlan& plan, const LoadedModule& module, int jobs,
                       const std::function<void()>& frameDone, const RunControl& control)
{
    const auto stopped = [&control] { return Interrupted() || (control.stop && *control.stop); };
    const std::size_t count = static_cast<std::size_t>(plan.Count());
    const auto filters = MakeFilters(module, WorkerCount(jobs, count), plan.block);
    RunWarnings warnings;
    warnings.keepAlpha = control.keepAlpha;
    std::size_t written = 0;
    auto renderOne = [&](int worker, std::size_t index) {
        const int frame = plan.frames.At(static_cast<std::int64_t>(index));
        if (stopped())
            throw Failure("interrupted before frame " + std::to_string(frame), FailureKind::Interrupted);
        RenderPlanFrame(plan, *filters[worker], frame, warnings);
    };
    try {
        RunFrames(count, static_cast<int>(filters.size()), renderOne, [&] {
            ++written;
            frameDone();
        });
    } catch (const Failure& failure) {
        if (count == 1)
            throw;
        failure.ThrowNoting(" (sequence stopped; " + std::to_string(written) + " of " + std::to_string(count) +
                            " frames written)");
    }
    if (stopped())
        throw Failure("interrupted after the last frame; " + std::to_string(written) + " of " + std::to_string(count) +
                          " frames written, each complete",
                      FailureKind::Interrupted);
    return written;
}
