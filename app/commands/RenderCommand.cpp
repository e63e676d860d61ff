// `veldra render`: a frame or a sequence through the filter, read from and
// written to image files.
#include <cstdio>
#include <string>

#include "commands/Commands.h"
#include "commands/Progress.h"
#include "engine/FrameProgress.h"
#include "filter/FrameAngle.h"
#include "messages/DegreesText.h"
#include "messages/Warnings.h"
#include "render/FrameLoop.h"
#include "render/FramePlan.h"
#include "render/module/FilterModule.h"

namespace {

// Each frame's number, percent of the range, angle and files.
void ListFrames(const FramePlan& plan, const RotationParams& params)
{
    for (std::int64_t index = 0; index < plan.Count(); ++index) {
        const int frame = plan.frames.At(index);
        const int percent = ProgressPercentOf(frame, plan.range.first, plan.range.Count());
        const float angle = FrameAngle(params.startAngle, params.endAngle, percent);
        std::printf("frame %d  %d%%  %s deg  %s -> %s\n", frame, percent, DegreesText(angle).c_str(),
                    plan.InputWords(frame).c_str(), plan.OutputOf(frame).c_str());
    }
}

}  // namespace

int RunRender(const Arguments& arguments)
{
    const auto module = LoadFilterModule(arguments.modulePath);
    const FramePlan plan = PlanFrames(arguments.render, *module);
    const RotationParams params = ParamsOf(plan.block);
    const int first = plan.frames.First();
    // A pattern picks its frame with -f; a single image is placed with --frame.
    const std::string placing = (plan.input ? "-f " : "--frame ") + std::to_string(first) + " --range A-B";
    const std::string oneFrame = OneFrameRangeWarning(plan.range, params, first, placing);
    if (!oneFrame.empty())
        Warn(oneFrame);
    if (arguments.dryRun) {
        ListFrames(plan, params);
        return 0;
    }
    if (!arguments.saveParamsFile.empty())
        WriteParamFile(arguments.saveParamsFile, plan.block);

    Progress progress(static_cast<std::size_t>(plan.Count()), !arguments.quiet);
    std::size_t written = 0;
    try {
        written = RenderPlan(plan, *module, arguments.jobs, [&] { progress.FrameDone(); });
    } catch (...) {
        progress.Finish();
        throw;
    }
    progress.Finish();
    if (!arguments.quiet)
        std::printf("veldra: rendered %zu frame%s in %.2f s (%.1f fps) to %s\n", written, written == 1 ? "" : "s",
                    progress.Seconds(), progress.FramesPerSecond(), arguments.render.output.c_str());
    return 0;
}
