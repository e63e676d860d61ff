// The work buffer: capture, background fill, write-back, pixel access and
// the frame-progress percent.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "EngineTestSupport.h"
#include "engine/ImageWarper.h"
#include "filter/RotationFilter.h"

namespace {

const BMM_Color_64 kClear{0, 0, 0, 0};

// Reports a frame of the given size without holding its pixels; counts the
// host calls made on it.
class HugeStorage : public BitmapStorage {
public:
    HugeStorage(std::uint16_t width, std::uint16_t height) : BitmapStorage(BitmapInfo(width, height)) {}
    int GetPixels(int, int, int, BMM_Color_64*) override { return ++calls, 0; }
    int PutPixels(int, int, int, const BMM_Color_64*) override { return ++calls, 0; }
    int calls = 0;
};

}  // namespace

// Capture copies the frame row by row, an unused engine writes it back
// unchanged, and dropping an engine without WriteBack writes nothing.
TEST(EngineBuffer, CaptureAndWriteBackRoundTrip)
{
    const Pixels picture = CoordinatePicture(7, 5);
    TestBitmap frame(7, 5, picture);
    ImageFilterInfo info = FrameInfo(0, 0, 1);
    {
        PixelProcessor engine(nullptr, &info, &frame.bitmap);
        ASSERT_TRUE(engine.HasBuffer());
        EXPECT_EQ(frame.storage->runReads, 5);
        EXPECT_EQ(frame.storage->singleReads, 0);
        BMM_Color_64 pixel{};
        EXPECT_EQ(engine.ReadPixel(6, 4, &pixel), 1);
        EXPECT_EQ(pixel, CoordinatePixel(6, 4));
        EXPECT_EQ(engine.ReadPixel(3.9f, 2.99f, &pixel), 1);
        EXPECT_EQ(pixel, CoordinatePixel(3, 2));
    }
    EXPECT_EQ(frame.storage->writes, 0);
    {
        PixelProcessor engine(nullptr, &info, &frame.bitmap);
        engine.WriteBack();
    }
    EXPECT_EQ(frame.storage->writes, 5);
    EXPECT_EQ(frame.Contents(), picture);
}

// After the background fill every pixel, alpha included, is written back as
// transparent black.
TEST(EngineBuffer, FilledBufferWritesTransparentBlack)
{
    TestBitmap frame(3, 4, CoordinatePicture(3, 4));
    ImageFilterInfo info = FrameInfo(0, 0, 1);
    PixelProcessor engine(nullptr, &info, &frame.bitmap);
    engine.FillBackground();
    BMM_Color_64 pixel{1, 1, 1, 1};
    EXPECT_EQ(engine.ReadPixel(2, 3, &pixel), 0);
    EXPECT_EQ(pixel, kClear);
    engine.WriteBack();
    EXPECT_EQ(frame.Contents(), Pixels(12, kClear));
}

// Single-pixel access: outside the frame (or not a number) reads nothing and
// writes are dropped; an uncovered pixel reads 0 but is still copied.
TEST(EngineBuffer, PixelAccessStaysInsideTheFrame)
{
    TestBitmap frame(4, 3, Pixels(12, kClear));
    ImageFilterInfo info = FrameInfo(0, 0, 1);
    PixelProcessor engine(nullptr, &info, &frame.bitmap);
    const BMM_Color_64 marker{9, 9, 9, 9};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (auto [x, y] : {std::pair{-0.5f, 0.0f}, {4.0f, 0.0f}, {0.0f, 3.0f}, {0.0f, -1.0f}, {nan, 1.0f}, {1.0f, nan}}) {
        BMM_Color_64 pixel = marker;
        EXPECT_EQ(engine.ReadPixel(x, y, &pixel), 0) << x << "," << y;
        EXPECT_EQ(pixel, marker);
    }
    for (auto [x, y] : {std::pair{-1, 0}, {4, 0}, {0, 3}, {0, -1}, {INT_MIN, INT_MAX}})
        engine.WritePixel(x, y, marker);
    engine.WritePixel(3, 2, marker);
    engine.WriteBack();
    Pixels expected(12, kClear);
    expected[11] = marker;
    EXPECT_EQ(frame.Contents(), expected);
}

// Empty and storage-less frames: nothing is read or written, the render pass
// still succeeds.
TEST(EngineBuffer, EmptyFramesTouchNothing)
{
    ImageFilterInfo info = FrameInfo(0, 0, 1);
    for (auto [w, h] : {std::pair{0, 0}, {0, 3}, {3, 0}}) {
        auto storage = std::make_unique<HugeStorage>(w, h);
        HugeStorage* counted = storage.get();
        Bitmap bitmap(std::move(storage));
        RotationFilter filter;
        filter.SetSource(&bitmap);
        filter.SetFilterInfo(&info);
        EXPECT_EQ(filter.ProcessFrame(nullptr), 1);
        EXPECT_EQ(counted->calls, 0) << w << "x" << h;
    }
    Bitmap noStorage;
    ImageWarper engine(nullptr, &info, &noStorage);
    EXPECT_TRUE(engine.HasBuffer());
    engine.TurnAboutZ(0, 30.0f);
    engine.WriteBack();
}

// A 65535 x 65535 frame (32 GiB of work buffer) is legal for the host but
// cannot be held: the render pass refuses it and leaves the bitmap alone.
TEST(EngineBuffer, FrameTooLargeForMemoryIsRefused)
{
    auto storage = std::make_unique<HugeStorage>(65535, 65535);
    HugeStorage* counted = storage.get();
    Bitmap bitmap(std::move(storage));
    ImageFilterInfo info = FrameInfo(0, 0, 1);
    {
        PixelProcessor probe(nullptr, &info, &bitmap);
        if (probe.HasBuffer())
            GTEST_SKIP() << "this machine lends 32 GiB; the refusal cannot be provoked here";
    }
    counted->calls = 0;
    RotationFilter filter;
    filter.SetSource(&bitmap);
    filter.SetFilterInfo(&info);
    EXPECT_EQ(filter.ProcessFrame(nullptr), 0);
    EXPECT_EQ(counted->calls, 0);
}

// The percent for a frame's place in the filter's range, truncated toward
// zero and not clamped.
TEST(EngineProgress, PercentThroughTheRange)
{
    struct Case {
        int current, first, count, percent;
    };
    const Case cases[] = {
        {0, 0, 101, 0},   {50, 0, 101, 50}, {100, 0, 101, 100},                    // 0 to 100 in steps of 1
        {10, 10, 4, 0},   {11, 10, 4, 33},  {12, 10, 4, 66},    {13, 10, 4, 100},  // truncation
        {0, 0, 201, 0},   {1, 0, 201, 0},   {2, 0, 201, 1},     {-1, 0, 201, 0},   // toward zero both ways
        {5, 10, 11, -50},                                                          // before the range
        {7, 7, 1, 0},     {8, 7, 1, 100},   {8, 7, 0, 100},     {8, 7, 2, 100},    // divisor 1
        {8, 7, -5, 100},
    };
    TestBitmap frame(1, 1, Pixels(1, kClear));
    for (const Case& c : cases) {
        ImageFilterInfo info = FrameInfo(c.current, c.first, c.count);
        PixelProcessor engine(nullptr, &info, &frame.bitmap);
        EXPECT_EQ(engine.ProgressPercent(), c.percent) << c.current << " in " << c.first << "+" << c.count;
    }
}

// Frame numbers far from the range neither overflow nor wrap: the percent
// saturates at the ends of the int range.
TEST(EngineProgress, FarFramesSaturate)
{
    struct Case {
        int current, first, count, percent;
    };
    const Case cases[] = {
        {INT_MAX, INT_MIN, 1, INT_MAX},    // far after the range
        {INT_MIN, INT_MAX, 1, INT_MIN},    // far before it
        {INT_MAX, 0, INT_MIN, INT_MAX},    // count - 1 would overflow
        {INT_MAX, INT_MIN, INT_MAX, 200},  // (2^32 - 1) * 100 / (2^31 - 2)
        {30000000, 0, 101, 30000000},      // ordinary range, large frame: exact
    };
    TestBitmap frame(1, 1, Pixels(1, kClear));
    for (const Case& c : cases) {
        ImageFilterInfo info = FrameInfo(c.current, c.first, c.count);
        PixelProcessor engine(nullptr, &info, &frame.bitmap);
        EXPECT_EQ(engine.ProgressPercent(), c.percent) << c.current << " in " << c.first << "+" << c.count;
    }
}
