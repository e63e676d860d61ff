// Times ProcessFrame of the real module, loaded as a host loads it, on noise
// frames, one thread: every turn of BenchFrames.h at 1920 x 1080 and
// 3840 x 2160 and the size curve. With OpenCV, each frame of ours alternates
// with a cv::warpPerspective (bilinear, 16-bit RGBA, one thread) of the same
// frame onto the same corners, so that both see the same machine; the
// benchmarks' repetitions are interleaved at random as well. With
// --windows=FILE and --windows64=FILE (what the 32-bit and the 64-bit
// windows_benchmark.exe printed) the Windows modules' figures stand beside
// the native ones.
//
//   render_benchmark [--module=VELDRA.FLT] [--windows=FILE] [--windows64=FILE] [Google Benchmark flags]
//
// The table at the end gives each figure as the best frame's nanoseconds per
// pixel: the machine may be shared, and the least disturbed frame is the one
// that measures the code.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "BenchFrames.h"
#include "engine/AxisCorners.h"
#include "filter/RenderPass.h"
#include "loader/ModuleLoader.h"

#ifdef VELDRA_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Clock = std::chrono::steady_clock;

std::string SizeName(const FrameSize& size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

std::string Key(const char* name, const FrameSize& size) { return std::string(name) + "\t" + SizeName(size); }
std::string Key(const TurnCase& turn, const FrameSize& size) { return Key(turn.name, size); }

// The best seconds per frame seen so far, by Key(), over every repetition.
// Wall-clock time is the table's measure; the thread's processor time is
// kept beside it for the ratio, which a busy machine then disturbs less.
struct Figures {
    std::map<std::string, double> ours, openCv, oursProcessor, openCvProcessor;
    static void Keep(std::map<std::string, double>& figures, const std::string& key, double seconds)
    {
        const auto [entry, added] = figures.emplace(key, seconds);
        if (!added && seconds < entry->second)
            entry->second = seconds;
    }
};
Figures figures;

std::unique_ptr<Bitmap> NoiseFrame(const FrameSize& size)
{
    auto bitmap = CreateMemoryBitmap(static_cast<std::uint16_t>(size.width), static_cast<std::uint16_t>(size.height));
    auto* pixels = static_cast<MemoryBitmapStorage*>(bitmap->Storage())->Pixels();
    Noise noise(size);
    for (std::size_t i = 0; i < static_cast<std::size_t>(size.width) * size.height; ++i)
        pixels[i] = {noise.Next(), noise.Next(), noise.Next(), noise.Next()};
    return bitmap;
}

RotationParams Block(const TurnCase& turn)
{
    static_assert(AxisY == AxisX + 1 && AxisZ == AxisX + 2, "axis codes follow the axes' letters");
    return {VELDRA_TAG, AxisX + (turn.axis - 'X'), PivotCenter + turn.pivotOffset, turn.angle, turn.angle};
}

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Seconds of wall-clock and of this thread's processor time since it was made.
class Stopwatch {
public:
    struct Seconds {
        double wall, processor;
    };
    Seconds Elapsed() const { return {Since(wall), ThreadSeconds() - processor}; }

private:
    static double ThreadSeconds()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }
    Clock::time_point wall = Clock::now();
    double processor = ThreadSeconds();
};

#ifdef VELDRA_WITH_OPENCV
// warpPerspective onto the corners the render pass gives the turn.
class OpenCvTurn {
public:
    OpenCvTurn(const TurnCase& turn, const FrameSize& size, Bitmap& frame)
        : source(size.height, size.width, CV_16UC4), target(size.height, size.width, CV_16UC4)
    {
        cv::setNumThreads(1);
        std::memcpy(source.data, static_cast<MemoryBitmapStorage*>(frame.Storage())->Pixels(),
                    source.total() * source.elemSize());
        const int w = size.width, h = size.height;
        const std::optional<QuadCorners> q = turn.axis == 'X'
                                                 ? CornersAboutX(w, h, turn.pivotOffset, turn.angle, kRenderPerspective)
                                             : turn.axis == 'Y'
                                                 ? CornersAboutY(w, h, turn.pivotOffset, turn.angle, kRenderPerspective)
                                                 : CornersAboutZ(w, h, turn.pivotOffset, turn.angle);
        const float fw = static_cast<float>(w), fh = static_cast<float>(h);
        const cv::Point2f from[4] = {{0, 0}, {fw, fh}, {0, fh}, {fw, 0}};
        const cv::Point2f to[4] = {
            {(*q)[0].x, (*q)[0].y}, {(*q)[1].x, (*q)[1].y}, {(*q)[2].x, (*q)[2].y}, {(*q)[3].x, (*q)[3].y}};
        transform = cv::getPerspectiveTransform(from, to);
    }
    Stopwatch::Seconds Time()
    {
        const Stopwatch watch;
        cv::warpPerspective(source, target, transform, target.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
        benchmark::DoNotOptimize(target.data);
        return watch.Elapsed();
    }

private:
    cv::Mat source, target, transform;
};
#endif

// Frames of ours, each followed by OpenCV's on the same frame when
// `beside` is set.
void Turn(benchmark::State& state, const LoadedModule* module, TurnCase turn, FrameSize size, bool beside)
{
    auto frame = NoiseFrame(size);
    ImageFilterInfo info;
    info.filterRange = FrameRange(0, 1, 0);
    auto filter = module->CreateFilter();
    RotationParams params = Block(turn);
    filter->LoadConfigure(&params);
    filter->SetSource(frame.get());
    filter->SetFilterInfo(&info);
#ifdef VELDRA_WITH_OPENCV
    std::unique_ptr<OpenCvTurn> openCv = beside ? std::make_unique<OpenCvTurn>(turn, size, *frame) : nullptr;
#else
    (void)beside;
#endif
    const std::string key = Key(turn, size);
    for (auto _ : state) {
        const Stopwatch watch;
        benchmark::DoNotOptimize(filter->ProcessFrame(nullptr));
        const Stopwatch::Seconds ours = watch.Elapsed();
        state.SetIterationTime(ours.wall);
        Figures::Keep(figures.ours, key, ours.wall);
        Figures::Keep(figures.oursProcessor, key, ours.processor);
#ifdef VELDRA_WITH_OPENCV
        if (openCv) {
            const Stopwatch::Seconds theirs = openCv->Time();
            Figures::Keep(figures.openCv, key, theirs.wall);
            Figures::Keep(figures.openCvProcessor, key, theirs.processor);
        }
#endif
    }
    state.counters["ns_per_px"] = benchmark::Counter(
        static_cast<double>(size.width) * size.height,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Sizes of the table are on the curve too, measured once.
bool InTable(const FrameSize& size)
{
    for (const FrameSize& table : kTableSizes)
        if (table.width == size.width && table.height == size.height)
            return true;
    return false;
}

// What windows_benchmark.exe printed: seconds per frame by Key(); none
// without a file.
std::map<std::string, double> ReadWindowsFigures(const std::string& file)
{
    std::map<std::string, double> seconds;
    if (file.empty())
        return seconds;
    std::ifstream in(file);
    if (!in)
        std::fprintf(stderr, "%s: cannot open the Windows figures\n", file.c_str());
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, size, value;
        if (!std::getline(fields, name, '\t') || !std::getline(fields, size, '\t') || !std::getline(fields, value))
            continue;
        int width = 0, height = 0;
        if (std::sscanf(size.c_str(), "%dx%d", &width, &height) == 2)
            seconds[name + "\t" + size] = std::stod(value) * 1e-9 * width * height;
    }
    return seconds;
}

// Turns seconds per frame into nanoseconds per pixel.
double NanosecondsPerPixel(const FrameSize& size) { return 1e9 / (static_cast<double>(size.width) * size.height); }

// "-" when a figure is missing.
std::string Cell(const std::map<std::string, double>& seconds, const std::string& key, double scale)
{
    const auto found = seconds.find(key);
    char text[32];
    if (found == seconds.end())
        return "-";
    std::snprintf(text, sizeof text, "%.2f", found->second * scale);
    return text;
}

std::string Ratio(const std::map<std::string, double>& top, const std::map<std::string, double>& bottom,
                  const std::string& key)
{
    const auto a = top.find(key), b = bottom.find(key);
    if (a == top.end() || b == bottom.end())
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", a->second / b->second);
    return text;
}

// `windows32` and `windows64`: the 32-bit and 64-bit Windows modules' figures.
void PrintTable(const std::map<std::string, double>& windows32, const std::map<std::string, double>& windows64)
{
    std::printf(
        "\nProcessFrame, best frame, nanoseconds per pixel, one thread (targets: ours/OpenCV <= 0.80, "
        "Windows/native <= 1.30)\n");
    std::printf("%-14s %-10s %8s %8s %11s %9s %8s %9s %8s %9s\n", "case", "size", "native", "OpenCV", "ours/OpenCV",
                "(CPU time)", "Win32", "Win32/nat", "Win64", "Win64/nat");
    for (const FrameSize& size : kTableSizes) {
        const double perPixel = NanosecondsPerPixel(size);
        for (const TurnCase& turn : kTurnCases) {
            const std::string key = Key(turn, size);
            std::printf("%-14s %-10s %8s %8s %11s %9s %8s %9s %8s %9s\n", turn.name, SizeName(size).c_str(),
                        Cell(figures.ours, key, perPixel).c_str(), Cell(figures.openCv, key, perPixel).c_str(),
                        Ratio(figures.ours, figures.openCv, key).c_str(),
                        Ratio(figures.oursProcessor, figures.openCvProcessor, key).c_str(),
                        Cell(windows32, key, perPixel).c_str(), Ratio(windows32, figures.ours, key).c_str(),
                        Cell(windows64, key, perPixel).c_str(), Ratio(windows64, figures.ours, key).c_str());
        }
    }
    for (const auto& [width, windows] : {std::pair{"32-bit", &windows32}, std::pair{"64-bit", &windows64}}) {
        if (windows->empty())
            continue;
        std::printf(
            "Of each %s Windows frame, its memory fresh from the C library (calloc, a write to each page, free):",
            width);
        for (const FrameSize& size : kTableSizes)
            std::printf(" %s %s ns/px", SizeName(size).c_str(),
                        Cell(*windows, Key(kFreshMemory, size), NanosecondsPerPixel(size)).c_str());
        std::printf("\n");
    }
    std::printf("\nSize curve, native, best frame, nanoseconds per pixel\n%-10s", "size");
    for (int c : kCurveCases)
        std::printf(" %14s", kTurnCases[c].name);
    std::printf("\n");
    for (const FrameSize& size : kCurveSizes) {
        std::printf("%-10s", SizeName(size).c_str());
        for (int c : kCurveCases)
            std::printf(" %14s", Cell(figures.ours, Key(kTurnCases[c], size), NanosecondsPerPixel(size)).c_str());
        std::printf("\n");
    }
}

// Takes --NAME=VALUE out of the arguments, leaving the rest for Google
// Benchmark; `fallback` when it is not there.
std::string TakeOption(int& argc, char** argv, const std::string& name, const std::string& fallback)
{
    const std::string prefix = "--" + name + "=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) != 0)
            continue;
        const std::string value = argv[i] + prefix.size();
        std::copy(argv + i + 1, argv + argc + 1, argv + i);
        --argc;
        return value;
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string modulePath = TakeOption(argc, argv, "module", VELDRA_BENCH_MODULE);
    const std::string windowsFile = TakeOption(argc, argv, "windows", "");
    const std::string windows64File = TakeOption(argc, argv, "windows64", "");
    std::vector<char*> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);  // flags given later win
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    try {
        const LoadedModule module(modulePath);
        auto add = [&](const char* what, const TurnCase& turn, const FrameSize& size, bool beside) {
            const std::string name = std::string(what) + "/" + turn.name + "/" + SizeName(size);
            benchmark::RegisterBenchmark(name.c_str(), Turn, &module, turn, size, beside)
                ->Unit(benchmark::kMillisecond)
                ->UseManualTime()
                ->Repetitions(3);
        };
        for (const FrameSize& size : kTableSizes)
            for (const TurnCase& turn : kTurnCases)
                add("turn", turn, size, true);
        for (const FrameSize& size : kCurveSizes)
            if (!InTable(size))
                for (int c : kCurveCases)
                    add("curve", kTurnCases[c], size, false);
        benchmark::Initialize(&count, arguments.data());
        benchmark::RunSpecifiedBenchmarks();
        PrintTable(ReadWindowsFigures(windowsFile), ReadWindowsFigures(windows64File));
        benchmark::Shutdown();
    } catch (const ModuleLoadError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }
    return 0;
}
