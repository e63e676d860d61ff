#include "render/FrameLoop.h"

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "image/PixelArrays.h"
#include "messages/Failure.h"
#include "process/Interrupt.h"
#include "render/AlphaKeep.h"
#include "render/MovieSink.h"
#include "render/ParallelFrames.h"
#include "render/module/FilterModule.h"

namespace {

// Writes the turned `image` to frame `frame`'s picture file; returns the
// file as written.
FileIdentity WritePlanFrame(const FramePlan& plan, int frame, const LoadedImage& image, RunWarnings& warnings)
{
    const WriteOutcome outcome = WriteImage(
        plan.OutputOf(frame), plan.outputFormat, image.frame,
        WriteSettings{plan.compression, &image, plan.depth, plan.output.has_value()});
    if (outcome.alphaDropped)
        warnings.alphaDropped.Say("the output format cannot hold alpha; transparent areas are written opaque");
    if (!outcome.droppedChannels.empty())
        warnings.channelsDropped.Say(outcome.droppedChannels);
    return outcome.written;
}

// What a warning says of what `image`, a picture of `input`, holds that a
// movie frame does not: channels beyond colour and alpha, further parts.
std::string LeftOutOfMovie(const LoadedImage& image, const std::string& input)
{
    const std::string names = DataChannelNames(image);
    std::string words;
    if (!names.empty())
        words = "channels " + names;
    if (!image.followingParts.empty())
        words += (words.empty() ? "" : " and ") + std::string("all but its first picture (part or page)");
    return words.empty() ? "" : input + ": " + words + " are not written: a movie holds colour and alpha only";
}

// Has `filter` turn `picture`, its channel groups and the pictures after
// it, each with the plan's alpha rule.
void TurnPicture(const FramePlan& plan, ImageFilter& filter, int frame, LoadedImage& picture, RunWarnings& warnings,
                 const std::string& what)
{
    if (picture.clamped)
        warnings.clamped.Say(kClampedWarning);
    if (plan.alpha == AlphaMode::Filter && picture.hasAlpha && !picture.frame.IsOpaque())
        warnings.alphaLost.Say(TransparencyLostWarning(warnings.keepAlpha));
    const ColourAlpha colour = picture.associatedAlpha ? ColourAlpha::Premultiplied : ColourAlpha::Straight;
    RenderFrameWithAlpha(filter, picture.frame, plan.alpha, colour, plan.QueueAt(frame), plan.RangeAt(frame), what);
    for (ChannelGroup& group : picture.groups) {
        // Without the picture's alpha to carry, a group's alpha says only
        // where the turn brought nothing: where it stays 0 (and the filter
        // leaves transparent black), its channels hold 0.
        if (plan.alpha == AlphaMode::Filter)
            for (std::size_t i = 0; i < group.frame.PixelCount(); ++i)
                group.frame.pixels[i].a = 0xFFFF;
        RenderFrameWithAlpha(filter, group.frame, plan.alpha, colour, plan.QueueAt(frame), plan.RangeAt(frame), what);
    }
    if (plan.colour && plan.colour->Apply(picture.frame, picture.associatedAlpha))
        warnings.convertedClamped.Say(kConvertedClampedWarning);
    for (LoadedImage& part : picture.followingParts)
        TurnPicture(plan, filter, frame, part, warnings, what);
}

std::string Counted(std::size_t count, const char* what)
{
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

}  // namespace

void TurnPlanFrame(const FramePlan& plan, ImageFilter& filter, int frame, LoadedImage& image, RunWarnings& warnings)
{
    TurnPicture(plan, filter, frame, image, warnings, plan.InputWords(frame));
}

LoadedImage ReadPlanFrame(const FramePlan& plan, int frame)
{
    return plan.movie ? plan.movie->Read(frame) : ReadImage(plan.InputOf(frame));
}

RenderedFrame RenderPlanFrame(const FramePlan& plan, ImageFilter& filter, int frame, RunWarnings& warnings,
                              std::optional<LoadedImage> read)
{
    const std::string inputPath = plan.InputOf(frame);
    try {
        // Taken before the read: an input replaced meanwhile is recorded as
        // the one before, and so never taken for what was rendered.
        const std::optional<FileIdentity> input = IdentityOf(inputPath);
        LoadedImage image = read ? std::move(*read) : ReadPlanFrame(plan, frame);
        if (!input)
            throw FileError(inputPath, "cannot open: it was put in place while it was read");
        TurnPlanFrame(plan, filter, frame, image, warnings);
        return RenderedFrame{*input, WritePlanFrame(plan, frame, image, warnings)};
    } catch (const std::bad_alloc&) {
        throw Failure(inputPath, "not enough memory for frame " + std::to_string(frame), FailureKind::Memory);
    }
}

std::size_t RenderPlan(const FramePlan& plan, const LoadedModule& module, int jobs,
                       const std::function<void()>& frameDone, const RunControl& control)
{
    const auto stopped = [&control] { return Interrupted() || (control.stop && *control.stop); };
    const std::size_t count = static_cast<std::size_t>(plan.Count());
    const auto filters = MakeFilters(module, WorkerCount(jobs, count), plan.block);
    const std::size_t workers = filters.size();
    RunWarnings warnings;
    warnings.keepAlpha = control.keepAlpha;
    std::optional<MovieSink> movie;
    if (plan.movieOutput)
        movie.emplace(*plan.movieOutput, workers);
    // A movie's frames are decoded as their indexes are handed out, in
    // order; each worker holds the one it claimed, and converts it itself.
    std::vector<std::optional<DecodedFrame>> claimed(workers);
    const auto claim = [&](int worker, std::size_t index) {
        claimed[static_cast<std::size_t>(worker)] = plan.movie->Decode(
            plan.frames.At(static_cast<std::int64_t>(index)));
    };
    std::size_t written = 0;
    auto renderOne = [&](int worker, std::size_t index) {
        const int frame = plan.frames.At(static_cast<std::int64_t>(index));
        try {
            if (stopped())
                throw Failure("interrupted before frame " + std::to_string(frame), FailureKind::Interrupted);
            std::optional<DecodedFrame> held;
            held.swap(claimed[static_cast<std::size_t>(worker)]);
            LoadedImage image = held ? held->Convert() : ReadPlanFrame(plan, frame);
            TurnPlanFrame(plan, *filters[worker], frame, image, warnings);
            if (movie) {
                if (const std::string leftOut = LeftOutOfMovie(image, plan.InputOf(frame)); !leftOut.empty())
                    warnings.channelsDropped.Say(leftOut);
                movie->Put(index, movie->Prepare(image.frame, image.associatedAlpha));
            } else
                WritePlanFrame(plan, frame, image, warnings);
        } catch (...) {
            if (movie)
                movie->Abandon();
            try {
                throw;
            } catch (const std::bad_alloc&) {
                throw Failure(plan.InputOf(frame), "not enough memory for frame " + std::to_string(frame),
                              FailureKind::Memory);
            }
        }
    };
    bool movieWritten = false;
    try {
        RunFrames(
            count, static_cast<int>(workers), renderOne,
            [&] {
                ++written;
                frameDone();
            },
            plan.movie ? claim : std::function<void(int, std::size_t)>());
        if (movie && !stopped()) {
            movie->Finish();
            movieWritten = true;
            if (movie->AlphaDropped())
                warnings.alphaDropped.Say(AlphaDroppedWarning(plan.movieOutput->codec));
        }
    } catch (const Failure& failure) {
        if (count == 1 && !movie)
            throw;
        failure.ThrowNoting(movie ? " (no movie written)"
                                  : " (sequence stopped; " + std::to_string(written) + " of " +
                                        Counted(count, "frame") + " written)");
    }
    if (stopped()) {
        const std::string outcome = !movie ? std::to_string(written) + " of " + Counted(count, "frame") +
                                                 " written, each complete"
                                    : movieWritten ? "the movie was written whole"
                                                   : "no movie written";
        throw Failure("interrupted after the last frame; " + outcome, FailureKind::Interrupted);
    }
    return written;
}
