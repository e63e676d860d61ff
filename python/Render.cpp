#include "Render.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "Errors.h"
#include "Params.h"
#include "PythonValues.h"
#include "SharedModule.h"
#include "cli/RenderOptions.h"
#include "messages/Failure.h"
#include "messages/Warnings.h"
#include "render/FrameLoop.h"
#include "movie/MovieReader.h"
#include "render/FramePlan.h"
#include "render/SettingWords.h"

namespace {

// How often the calling thread looks for Ctrl-C while frames render.
constexpr std::chrono::milliseconds kSignalCheck{100};

// The keywords of a movie output.
struct MovieWords {
    py::object codec, fps, timecode, quality;
};

MovieRequest MovieOf(const MovieWords& movie)
{
    MovieRequest request;
    if (!movie.codec.is_none())
        request.codec = CodecValue("codec", WordOf(movie.codec, "codec"));
    if (!movie.fps.is_none())
        request.fps = RateValue("fps", RateText(movie.fps, "fps"));
    if (!movie.timecode.is_none())
        request.timecode = TimecodeValue("timecode", WordOf(movie.timecode, "timecode"));
    if (!movie.quality.is_none())
        request.quality = QualityValue("quality", IntegerText(movie.quality, "quality"));
    return request;
}

RenderRequest RequestOf(const py::object& input, const py::object& output, const py::object& frames,
                        const py::object& range, const py::object& params, const py::object& alpha,
                        const py::object& depth, const MovieWords& movie, const py::object& colorconvert,
                        const py::object& colorconfig)
{
    RenderRequest request;
    request.input = PathOf(input, "input");
    request.output = PathOf(output, "output");
    if (!frames.is_none()) {
        const FrameList list = FramesOf(frames, "frames");
        // A movie's frames are picked as a pattern's are.
        if (NamesSequence(request.input) || IsMovie(request.input)) {
            request.frames = list;
        } else {
            if (list.Count() != 1)
                throw Failure("frames", request.input + " is a single image; give one frame number",
                              FailureKind::Value);
            request.frame = list.First();
        }
    }
    if (!range.is_none())
        request.range = SpanOf(range, "range");
    if (py::isinstance<py::str>(params) || py::hasattr(params, "__fspath__")) {
        request.paramsFile = PathOf(params, "params");
    } else if (!params.is_none()) {
        const RotationParams fields = ParamsOf(BlockOfParams(params, "params"));
        request.settings = SettingOverrides{fields.axis, fields.pivot, fields.startAngle, fields.endAngle};
    }
    request.alpha = AlphaValue("alpha", WordOf(alpha, "alpha"));
    if (!depth.is_none())
        request.depth = DepthValue("depth", WordOf(depth, "depth"));
    request.movie = MovieOf(movie);
    if (!colorconvert.is_none()) {
        if (!py::isinstance<py::tuple>(colorconvert) && !py::isinstance<py::list>(colorconvert))
            ThrowTypeError("colorconvert", "a pair (from, to) of colour space names", colorconvert);
        const py::sequence spaces = colorconvert;
        if (spaces.size() != 2)
            throw Failure("colorconvert", "expected a pair (from, to) of colour space names", FailureKind::Value);
        request.colourFrom = WordOf(spaces[0], "colorconvert");
        request.colourTo = WordOf(spaces[1], "colorconvert");
    }
    if (!colorconfig.is_none())
        request.colourConfig = PathOf(colorconfig, "colorconfig");
    return request;
}

// A run of the plan on a thread of its own, so that the calling thread can
// report progress and notice Ctrl-C while it renders.
class BackgroundRun {
public:
    BackgroundRun(const FramePlan& plan, int jobs)
        : thread_([this, &plan, jobs] {
              try {
                  RenderPlan(
                      plan, SharedModule(), jobs, [this] { Update([this] { ++done_; }); },
                      RunControl{&stop_, kKeepAlpha});
              } catch (...) {
                  failure_ = std::current_exception();
              }
              Update([this] { finished_ = true; });
          })
    {}
    // A run left early (an exception on the calling thread) is stopped
    // after the frames in flight.
    ~BackgroundRun()
    {
        stop_ = true;
        py::gil_scoped_release released;
        thread_.join();
    }
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // Waits, without the GIL, until more than `reported` frames are
    // written, the run ends, or a signal check is due. Returns the frames
    // written; `finished` says whether the run has ended.
    std::size_t Wait(std::size_t reported, bool& finished)
    {
        py::gil_scoped_release released;
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, kSignalCheck, [&] { return done_ > reported || finished_; });
        finished = finished_;
        return done_;
    }
    // No frame starts after this.
    void Stop() { stop_ = true; }
    // What ended the run, once it has finished; null when it did its work.
    std::exception_ptr Failed() const { return failure_; }

private:
    template <typename Change>
    void Update(Change change)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        change();
        changed_.notify_all();
    }

    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t done_ = 0;
    bool finished_ = false;
    std::exception_ptr failure_;
    std::thread thread_;  // last: it starts once the rest is ready
};

py::list Render(const py::object& input, const py::object& output, const py::object& frames, const py::object& range,
                const py::object& params, const py::object& alpha, const py::object& depth, const py::object& jobs,
                const py::object& progress, const py::object& codec, const py::object& fps, const py::object& timecode,
                const py::object& quality, const py::object& colorconvert, const py::object& colorconfig)
{
    const RenderRequest request = RequestOf(input, output, frames, range, params, alpha, depth,
                                            MovieWords{codec, fps, timecode, quality}, colorconvert, colorconfig);
    const int workers = jobs.is_none() ? 0 : JobsValue("jobs", IntegerText(jobs, "jobs"));
    if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
        ThrowTypeError("progress", "a function progress(done, total)", progress);
    std::optional<FramePlan> planned;
    {
        py::gil_scoped_release released;
        planned.emplace(PlanFrames(request, SharedModule()));
    }
    const FramePlan& plan = *planned;
    const int first = plan.frames.First();
    const std::string oneFrame = OneFrameRangeWarning(plan.range, ParamsOf(plan.block), first,
                                                      "frames=" + std::to_string(first) + ", range=(A, B)");
    if (!oneFrame.empty())
        Warn(oneFrame);

    const auto total = static_cast<std::size_t>(plan.Count());
    std::optional<py::error_already_set> raised;  // by progress, or Ctrl-C
    std::exception_ptr failure;
    {
        BackgroundRun run(plan, workers);
        std::size_t reported = 0;
        for (bool finished = false; !finished;) {
            const std::size_t done = run.Wait(reported, finished);
            if (raised)
                continue;
            try {
                for (; reported < done; ++reported)
                    if (!progress.is_none())
                        progress(reported + 1, total);
                if (PyErr_CheckSignals() != 0)
                    throw py::error_already_set();
            } catch (py::error_already_set& error) {
                raised = std::move(error);
                run.Stop();
            }
        }
        failure = run.Failed();
    }
    if (raised) {
        // Ctrl-C (or a failing progress) says how far the run got.
        if (failure && py::hasattr(raised->value(), "add_note"))
            raised->value().attr("add_note")(MessageOf(failure));
        throw std::move(*raised);
    }
    if (failure)
        std::rethrow_exception(failure);

    py::list written;
    for (const std::string& file : plan.OutputFiles())
        written.append(file);
    return written;
}

}  // namespace

void AddRender(py::module_& module)
{
    module.def(
        "render", IssuingWarnings(&Render), py::arg("input"), py::arg("output"), py::arg("frames") = py::none(),
        py::arg("range") = py::none(), py::arg("params") = py::none(), py::arg("alpha") = "filter",
        py::arg("depth") = py::none(), py::arg("jobs") = py::none(), py::arg("progress") = py::none(),
        py::arg("codec") = py::none(), py::arg("fps") = py::none(), py::arg("timecode") = py::none(),
        py::arg("quality") = py::none(), py::arg("colorconvert") = py::none(), py::arg("colorconfig") = py::none(),
        R"(render(input, output, frames=None, range=None, params=None, alpha='filter', depth=None, jobs=None, progress=None, codec=None, fps=None, timecode=None, quality=None, colorconvert=None, colorconfig=None)
--

Runs a frame, a sequence of files or a movie through the filter, exactly as veldra render does.

input and output are image files, movies (.mov, .mp4, .mkv...) or sequence
patterns (shot.####.exr, shot.%04d.png). frames: for a pattern or a movie,
the frames to render ("1-100x2,150", a range(), frame numbers; by default
those on disk, or every frame of the movie, numbered from 0); for a single
image, its frame number (default 0). range=(first, last) is the filter's
active range (default: the frames rendered; for a movie, the whole movie).
params is a veldra.Params or the path of a stored parameter block (default:
the filter's defaults). alpha is "filter" or "keep"; depth "uint8",
"uint16", "half" or "float" (default: the input's); jobs the frames
rendered at once (default: one per core). progress(done, total), if given,
is called on the calling thread after each frame written.

A movie output takes codec ("prores4444", "prores422hq", "dnxhr_hq",
"dnxhr_444", "h264"), fps (24, Fraction(24000, 1001), "24000/1001"),
timecode ("HH:MM:SS:FF") and quality (h264, 0 to 51), each by default the
input movie's or the container's. colorconvert=(from, to) converts the
turned frames' colour before they are written, with the spaces of the
OpenColorIO config colorconfig (default: $OCIO, else the built-in ones).

Every file is written whole or not at all. Returns the list of files written
(for a movie output, the movie).
Raises OSError for files that cannot be read or written, ValueError for
settings veldra cannot take, with veldra render's messages. Ctrl-C starts no
new frame, lets the frames being written finish, and raises
KeyboardInterrupt.)");
}
