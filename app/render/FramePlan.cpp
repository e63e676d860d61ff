#include "render/FramePlan.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "files/PathParts.h"
#include "image/ImageLibrary.h"
#include "image/OutputFormat.h"
#include "messages/DegreesText.h"
#include "messages/Failure.h"
#include "messages/Warnings.h"
#include "render/module/FilterModule.h"

namespace {

// A movie's frames: --frames (each in the movie) or all of them.
void PlanMovieFrames(const RenderRequest& request, FramePlan& plan)
{
    const MovieInfo& info = plan.movie->Info();
    const std::string count = std::to_string(info.frameCount) + " frame" + (info.frameCount == 1 ? "" : "s");
    if (request.frame)
        throw Failure("--frame",
                      request.input + " is a movie of " + count + " (0 to " + std::to_string(info.frameCount - 1) +
                          "); pick frames with --frames",
                      FailureKind::Value);
    if (!info.variableRateNote.empty())
        Warn(info.variableRateNote);
    if (!info.matrixNote.empty())
        Warn(info.matrixNote);
    if (!request.frames) {
        plan.frames = FrameList::Covering({0, info.frameCount - 1});
        return;
    }
    if (request.frames->First() < 0 || request.frames->Last() >= info.frameCount)
        throw Failure(
            "--frames",
            request.input + " is a movie of " + count + ", numbered 0 to " + std::to_string(info.frameCount - 1) +
                "; it has no frame " +
                std::to_string(request.frames->First() < 0 ? request.frames->First() : request.frames->Last()),
            FailureKind::Value);
    plan.frames = *request.frames;
}

// The input side of the plan: its naming and its frames.
void PlanInputs(const RenderRequest& request, FramePlan& plan)
{
    // The output is a sequence only when the input is one.
    if (NamesSequence(request.input))
        plan.input = FramePattern::Parse(request.input);
    plan.inputFile = request.input;
    if (!plan.input) {
        if (access(request.input.c_str(), R_OK) != 0)
            throw FileError::OfSystemError(request.input, "cannot open", errno);
        plan.movie = MovieReader::Open(request.input);
        if (plan.movie) {
            PlanMovieFrames(request, plan);
            return;
        }
        if (request.frames)
            throw Failure("--frames", request.input + " is a single image; give --frame N", FailureKind::Value);
        plan.frames = FrameList::Of({request.frame.value_or(0)});
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

// The frames of a movie OUTPUT: their codec, rate and timecode, by the
// request or else the input movie.
MovieOutput PlanMovieOutput(const RenderRequest& request, const FramePlan& plan, const std::string& container)
{
    const MovieRequest& asked = request.movie;
    MovieOutput movie;
    movie.path = request.output;
    movie.container = container;
    movie.codec = asked.codec.value_or(DefaultCodecOf(container));
    if (!ContainerHolds(container, movie.codec))
        throw Failure("--codec",
                      std::string(WordOf(movie.codec).word) + " does not go into an ." + container + " movie (" +
                          request.output + " holds h264 only); write a .mov or .mkv",
                      FailureKind::Value);
    if (asked.quality && movie.codec != MovieCodec::H264)
        throw Failure("--quality", std::string("applies to h264 only, not ") + WordOf(movie.codec).word,
                      FailureKind::Usage);
    movie.quality = asked.quality.value_or(kDefaultH264Quality);

    const MovieInfo* input = plan.movie ? &plan.movie->Info() : nullptr;
    if (asked.fps) {
        movie.rate = *asked.fps;
    } else if (input && input->rate.num > 0) {
        movie.rate = input->rate;
    } else if (input) {
        throw Failure(request.input, "its frame rate is not known; give --fps", FailureKind::Value);
    } else {
        movie.rate = {24, 1};
        Warn(request.output + ": pictures carry no frame rate; the movie plays at 24 fps (--fps sets another)");
    }

    if (asked.timecode) {
        const std::string problem = TimecodeProblem(*asked.timecode, movie.rate);
        if (!problem.empty())
            throw Failure("--timecode", TimecodeText(*asked.timecode) + ": " + problem, FailureKind::Value);
        movie.timecode = asked.timecode;
    } else if (input && input->timecode && TimecodeProblem(*input->timecode, input->rate).empty()) {
        const Timecode first = TimecodeAfter(*input->timecode, plan.frames.First(), input->rate);
        if (TimecodeProblem(first, movie.rate).empty())
            movie.timecode = first;
        else
            Warn(request.output + ": the input's timecode (" + TimecodeText(first) + ") does not count at " +
                 FrameRateText(movie.rate) + " fps; the movie has none (--timecode sets one)");
    }
    return movie;
}

// What becomes of the input movie's other streams: a movie of all its
// frames, at its rate, gets copies of its audio; every stream left out is
// named.
void PlanOtherStreams(FramePlan& plan)
{
    if (!plan.movie)
        return;
    const MovieInfo& info = plan.movie->Info();
    MovieOutput* movie = plan.movieOutput ? &*plan.movieOutput : nullptr;
    for (const OtherStream& stream : info.otherStreams) {
        std::string why;
        if (!movie)
            why = stream.kind == OtherStream::Kind::Audio      ? "picture files hold no sound"
                  : stream.kind == OtherStream::Kind::Timecode ? "picture files hold no timecode track"
                                                               : "picture files hold no other streams";
        else if (stream.kind == OtherStream::Kind::Timecode)
            continue;  // the movie's own timecode carries it
        else if (stream.kind != OtherStream::Kind::Audio)
            why = "veldra copies a movie's audio only";
        else if (plan.Count() != info.frameCount)
            why = "only some of the frames are rendered";
        else if (movie->rate != info.rate)
            why = "the movie plays at another rate (" + FrameRateText(movie->rate) + " fps, not " +
                  FrameRateText(info.rate) + ")";
        else if (!ContainerCopies(movie->container, stream.codecId))
            why = "an ." + movie->container + " movie cannot hold it";
        if (why.empty()) {
            movie->copiedStreams.push_back(stream.index);
            continue;
        }
        Warn(plan.inputFile + ": " + stream.words + " is not written: " + why);
    }
    if (movie && !movie->copiedStreams.empty()) {
        movie->copyFrom = plan.inputFile;
        movie->copyStartMicroseconds = info.startMicroseconds;
    }
}

// Options that only a movie output takes.
void RefuseMovieOptions(const MovieRequest& movie, const std::string& output)
{
    const char* option = movie.codec      ? "--codec"
                         : movie.fps      ? "--fps"
                         : movie.timecode ? "--timecode"
                         : movie.quality  ? "--quality"
                                          : nullptr;
    if (option)
        throw Failure(option, "applies to movie outputs (.mov, .mp4, .mkv), not " + output, FailureKind::Usage);
}

// The output side, the ranges and the settings: everything but the
// inputs. An output of a kind no writer handles or in a folder that cannot
// be written is found before any frame is rendered, so that a mistyped
// path does not leave a partial sequence.
void PlanOutputs(const RenderRequest& request, bool outputMayBePattern, const LoadedModule& module, FramePlan& plan)
{
    const std::string container = MovieContainerOf(request.output);
    plan.outputFile = request.output;
    if (!container.empty()) {
        if (request.depth)
            throw Failure("--depth", "applies to picture outputs, not the movie " + request.output, FailureKind::Usage);
        plan.movieOutput = PlanMovieOutput(request, plan, container);
        plan.outputFormat = container;
    } else {
        RefuseMovieOptions(request.movie, request.output);
        if (outputMayBePattern)
            plan.output = FramePattern::Parse(request.output);
        if (!plan.output && plan.Count() > 1 && plan.movie)
            throw Failure(request.output,
                          request.input + " is a movie of " + std::to_string(plan.movie->Info().frameCount) +
                              " frames: give an output pattern such as out.####.png, a movie (.mov, .mp4, .mkv), or "
                              "one frame with --frames N",
                          FailureKind::Value);
        if (!plan.output && plan.Count() > 1)
            throw Failure(request.output, "a sequence needs an output pattern such as out.####.png",
                          FailureKind::Value);
        plan.outputFormat = OutputFormatOf(plan.OutputOf(plan.frames.First()));
    }
    PlanOtherStreams(plan);

    const std::string first = plan.OutputOf(plan.frames.First());
    // Named with its slash, a file where the folder should be fails too.
    const std::string parent = FolderOf(first);
    const std::string folder = parent == "." || parent == "/" ? parent : parent + "/";
    if (access(folder.c_str(), W_OK) != 0)
        throw FileError::OfSystemError(folder, "cannot write to the output folder", errno);
    if (request.compression && plan.outputFormat != "png")
        throw Failure("--compression", "applies to PNG output only, not " + request.output, FailureKind::Usage);

    // A movie's range is the whole movie, so that any of its frames gets
    // the angle it gets when the movie is rendered whole.
    const FrameSpan rendered = plan.movie ? FrameSpan{0, plan.movie->Info().frameCount - 1}
                                          : FrameSpan{plan.frames.First(), plan.frames.Last()};
    plan.range = request.range.value_or(rendered);
    plan.alpha = request.alpha;
    plan.compression = request.compression;
    plan.depth = request.depth;
    plan.block = SettleParams(*MakeFilter(module), request.paramsFile, request.settings);
    if (!request.colourConfig.empty() && request.colourFrom.empty())
        throw Failure("--colorconfig", "applies with --colorconvert FROM TO", FailureKind::Usage);
    if (!request.colourFrom.empty())
        plan.colour = TheImageLibrary().Colour(request.colourFrom, request.colourTo, request.colourConfig);
}

}  // namespace

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

std::vector<std::string> FramePlan::OutputFiles() const
{
    if (movieOutput)
        return {movieOutput->path};
    std::vector<std::string> files;
    for (std::int64_t index = 0; index < Count(); ++index)
        files.push_back(OutputOf(frames.At(index)));
    return files;
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
    PlanOutputs(request, plan.input || plan.movie, module, plan);
    return plan;
}

FramePlan PlanMadeFrames(const RenderRequest& request, const LoadedModule& module)
{
    FramePlan plan;
    plan.frames = request.frames.value_or(FrameList::Of({request.frame.value_or(0)}));
    PlanOutputs(request, true, module, plan);
    return plan;
}
