// Times the whole render pass (capture, fill, warp, write-back) through the
// host stand-in at 1920 x 1080 and 3840 x 2160, single thread, and reports
// nanoseconds per pixel. With OpenCV, also times cv::warpPerspective
// (bilinear, one thread) mapping the same 16-bit RGBA frame onto the same
// corners, and prints our time over OpenCV's.
//
// ProcessFrame writes its result back in place, so each iteration turns the
// previous result; the pixel values do not change the work done.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "filter/RenderPass.h"
#include "filter/RotationFilter.h"

#ifdef VELDRA_WITH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

struct Case {
    const char* name;
    std::int32_t axis;
    std::int32_t pivot;
    float angle;
};

const Case kCases[] = {
    {"angle 0", AxisX, PivotCenter, 0.0f},
    {"X 30 centre", AxisX, PivotCenter, 30.0f},
    {"Y 30 lower", AxisY, PivotLower, 30.0f},
    {"Z 90 centre", AxisZ, PivotCenter, 90.0f},
};

const int kSizes[][2] = {{1920, 1080}, {3840, 2160}};

std::unique_ptr<Bitmap> TestFrame(int width, int height)
{
    auto bitmap = CreateMemoryBitmap(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
    auto* pixels = static_cast<MemoryBitmapStorage*>(bitmap->Storage())->Pixels();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<std::size_t>(y) * width + x] = {static_cast<std::uint16_t>(x * 17),
                                                               static_cast<std::uint16_t>(y * 29),
                                                               static_cast<std::uint16_t>((x ^ y) * 7), 0xFFFF};
    return bitmap;
}

void SetPerPixel(benchmark::State& state, int width, int height)
{
    state.counters["per_px"] = benchmark::Counter(
        static_cast<double>(width) * height,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void RenderPass(benchmark::State& state, Case c, int width, int height)
{
    auto bitmap = TestFrame(width, height);
    ImageFilterInfo info;
    info.filterRange = FrameRange(0, 1, 0);
    RotationFilter filter;
    const RotationParams params{VELDRA_TAG, c.axis, c.pivot, c.angle, c.angle};
    std::uint8_t block[sizeof params];
    std::memcpy(block, &params, sizeof params);
    filter.LoadConfigure(block);
    filter.SetSource(bitmap.get());
    filter.SetFilterInfo(&info);
    for (auto _ : state)
        benchmark::DoNotOptimize(filter.ProcessFrame(nullptr));
    SetPerPixel(state, width, height);
}

#ifdef VELDRA_WITH_OPENCV
QuadCorners CornersOf(const Case& c, int width, int height)
{
    return *FrameCorners(RotationParams{VELDRA_TAG, c.axis, c.pivot, c.angle, c.angle}, width, height, c.angle);
}

void OpenCvWarp(benchmark::State& state, Case c, int width, int height)
{
    cv::setNumThreads(1);
    auto bitmap = TestFrame(width, height);
    const cv::Mat source(height, width, CV_16UC4, static_cast<MemoryBitmapStorage*>(bitmap->Storage())->Pixels());
    cv::Mat target(height, width, CV_16UC4);
    const QuadCorners q = CornersOf(c, width, height);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    const cv::Point2f from[4] = {{0, 0}, {w, h}, {0, h}, {w, 0}};
    const cv::Point2f to[4] = {{q[0].x, q[0].y}, {q[1].x, q[1].y}, {q[2].x, q[2].y}, {q[3].x, q[3].y}};
    const cv::Mat transform = cv::getPerspectiveTransform(from, to);
    for (auto _ : state) {
        cv::warpPerspective(source, target, transform, target.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
        benchmark::DoNotOptimize(target.data);
    }
    SetPerPixel(state, width, height);
}
#endif

std::string Name(const char* what, const Case& c, const int* size)
{
    return std::string(what) + "/" + c.name + "/" + std::to_string(size[0]) + "x" + std::to_string(size[1]);
}

// Keeps the best real time per iteration of each benchmark's repetitions,
// by name, for the ratio table: the machine may be shared, and the least
// disturbed repetition is the one that measures the code.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0)
                continue;
            const double perIteration = run.real_accumulated_time / static_cast<double>(run.iterations);
            const auto [entry, added] = seconds.emplace(run.benchmark_name(), perIteration);
            if (!added && perIteration < entry->second)
                entry->second = perIteration;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv)
{
    for (const auto& size : kSizes) {
        for (const Case& c : kCases) {
            benchmark::RegisterBenchmark(Name("ProcessFrame", c, size).c_str(), RenderPass, c, size[0], size[1])
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(5)
                ->UseRealTime();
#ifdef VELDRA_WITH_OPENCV
            benchmark::RegisterBenchmark(Name("warpPerspective", c, size).c_str(), OpenCvWarp, c, size[0], size[1])
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(5)
                ->UseRealTime();
#endif
        }
    }
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nBest of 5 repetitions, nanoseconds per pixel, single thread:\n");
    std::printf("%-28s %12s %12s %8s\n", "case", "ours ns/px", "OpenCV ns/px", "ratio");
    for (const auto& size : kSizes) {
        const double pixels = static_cast<double>(size[0]) * size[1];
        for (const Case& c : kCases) {
            const auto ours = reporter.seconds.find(Name("ProcessFrame", c, size) + "/repeats:5/real_time");
            const auto theirs = reporter.seconds.find(Name("warpPerspective", c, size) + "/repeats:5/real_time");
            if (ours == reporter.seconds.end())
                continue;
            const std::string label = std::string(c.name) + " " + std::to_string(size[0]) + "x" +
                                      std::to_string(size[1]);
            if (theirs == reporter.seconds.end())
                std::printf("%-28s %12.2f %12s %8s\n", label.c_str(), ours->second * 1e9 / pixels, "-", "-");
            else
                std::printf("%-28s %12.2f %12.2f %8.2f\n", label.c_str(), ours->second * 1e9 / pixels,
                            theirs->second * 1e9 / pixels, ours->second / theirs->second);
        }
    }
    benchmark::Shutdown();
    return 0;
}
