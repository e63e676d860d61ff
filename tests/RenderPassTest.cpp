// ProcessFrame end to end: the angle for each frame of the range, axis and
// pivot dispatch, and what happens with codes no dialog writes.
#include <gtest/gtest.h>

#include <limits>

#include "EngineTestSupport.h"
#include "engine/AxisCorners.h"
#include "engine/ImageWarper.h"
#include "filter/FrameAngle.h"
#include "filter/RenderPass.h"
#include "filter/RotationFilter.h"

namespace {

const int kWidth = 23, kHeight = 17;

RotationParams Block(std::int32_t axis, std::int32_t pivot, float start, float end)
{
    return RotationParams{VELDRA_TAG, axis, pivot, start, end};
}

// Renders the coordinate picture with the given parameters as frame
// `current` of a filter range; returns ProcessFrame's result and the frame.
std::pair<int, Pixels> Render(RotationParams block, int current, int first = 0, int count = 1)
{
    TestBitmap frame(kWidth, kHeight, CoordinatePicture(kWidth, kHeight));
    ImageFilterInfo info = FrameInfo(current, first, count);
    RotationFilter filter;
    EXPECT_EQ(filter.LoadConfigure(&block), 1);
    filter.SetSource(&frame.bitmap);
    filter.SetFilterInfo(&info);
    const int result = filter.ProcessFrame(nullptr);
    return {result, frame.Contents()};
}

Pixels RenderAt(std::int32_t axis, float angle) { return Render(Block(axis, PivotCenter, angle, angle), 0).second; }

}  // namespace

// Each frame of the range renders exactly as a fixed turn by the angle that
// belongs to its percent.
TEST(RenderPass, AngleFollowsTheFrameRange)
{
    struct Case {
        int current, first, count;
        float start, end, angle;
    };
    const Case cases[] = {
        {0, 0, 101, 0, 90, 0},   {50, 0, 101, 0, 90, 45},  {100, 0, 101, 0, 90, 90}, {11, 10, 4, 0, 100, 33},
        {12, 10, 4, 0, 100, 66}, {13, 10, 4, 0, 100, 100}, {1, 0, 201, 0, 90, 0},    {2, 0, 201, 0, 100, 1},
        {5, 10, 11, 0, 90, -45}, {8, 7, 1, 20, 50, 50},    {3, 0, 9, 35, 35, 35},
    };
    for (const Case& c : cases) {
        const auto [result, out] = Render(Block(AxisZ, PivotCenter, c.start, c.end), c.current, c.first, c.count);
        EXPECT_EQ(result, 1);
        EXPECT_EQ(out, RenderAt(AxisZ, c.angle)) << "frame " << c.current << " of " << c.first << "+" << c.count;
    }
    // A turn that does something: the cases above would not notice if the
    // angle were ignored.
    EXPECT_NE(RenderAt(AxisZ, 45), RenderAt(AxisZ, 0));
}

// Angles and percents that are not round, where a span taken in float or a
// percent divided by 100 before the multiplication gives other bits than the
// exact double computation rounded once; the frame at that percent renders
// with exactly that angle.
TEST(RenderPass, FrameAngleIsExactToTheBit)
{
    struct Case {
        float start, end;
        int percent;
        float angle;
    };
    const Case cases[] = {
        {-343.15f, 196.45f, 47, -0x1.6626e8p+6f},
        {-359.25f, 66.45f, 57, -0x1.d2676cp+6f},
        {-330.55f, 72.95f, 57, -0x1.923850p+6f},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FrameAngle(c.start, c.end, c.percent), c.angle) << c.start << " to " << c.end << " at " << c.percent;
        const Pixels out = Render(Block(AxisZ, PivotCenter, c.start, c.end), c.percent, 0, 101).second;
        EXPECT_EQ(out, RenderAt(AxisZ, c.angle));
    }
}

// The axis code picks the projection; the centre pivot halves the
// perspective; the default parameters give the identity warp.
TEST(RenderPass, AxisAndPivotPickTheProjection)
{
    const Pixels picture = CoordinatePicture(kWidth, kHeight);
    auto warped = [&](const QuadCorners& q) { return EngineWarp(kWidth, kHeight, picture, q); };
    for (int offset = -1; offset <= 1; ++offset) {
        const std::int32_t pivot = PivotCenter + offset;
        EXPECT_EQ(Render(Block(AxisX, pivot, 30, 30), 0).second,
                  warped(*CornersAboutX(kWidth, kHeight, offset, 30, 0.25f)));
        EXPECT_EQ(Render(Block(AxisY, pivot, 30, 30), 0).second,
                  warped(*CornersAboutY(kWidth, kHeight, offset, 30, 0.25f)));
        EXPECT_EQ(Render(Block(AxisZ, pivot, 30, 30), 0).second, warped(*CornersAboutZ(kWidth, kHeight, offset, 30)));
    }
    EXPECT_EQ(Render(Block(AxisX, PivotCenter, 0, 0), 0).second, warped(*CornersAboutX(kWidth, kHeight, 0, 0, 0.25f)));
    EXPECT_NE(Render(Block(AxisX, PivotCenter, 30, 30), 0).second,
              warped(*CornersAboutX(kWidth, kHeight, 0, 30, 0.5f)));
}

// Codes that no dialog writes: an unknown axis or pivot writes the frame back
// as captured and succeeds; no stored angle crashes.
TEST(RenderPass, UnknownCodesKeepTheFrame)
{
    const Pixels picture = CoordinatePicture(kWidth, kHeight);
    for (std::int32_t axis : {0, 1009, 1013, -1}) {
        const auto [result, out] = Render(Block(axis, PivotCenter, 30, 60), 0);
        EXPECT_EQ(result, 1);
        EXPECT_EQ(out, picture) << "axis " << axis;
    }
    for (std::int32_t pivot : {0, 1012, 1016, std::numeric_limits<std::int32_t>::min()})
        for (std::int32_t axis : {AxisX, AxisY, AxisZ})
            EXPECT_EQ(Render(Block(axis, pivot, 30, 60), 0), std::make_pair(1, picture)) << pivot << " " << axis;
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    for (float angle : {nan, inf, -inf, 3e38f})
        for (std::int32_t axis : {AxisX, AxisY, AxisZ})
            EXPECT_EQ(Render(Block(axis, PivotLower, 0, angle), 1, 0, 2).first, 1);
}

// Per frame: rows in and out whole, and exactly one single-pixel read per
// source pixel.
TEST(RenderPass, HostCallPattern)
{
    TestBitmap frame(kWidth, kHeight, CoordinatePicture(kWidth, kHeight));
    ImageFilterInfo info = FrameInfo(0, 0, 1);
    RotationFilter filter;
    filter.SetSource(&frame.bitmap);
    filter.SetFilterInfo(&info);
    ASSERT_EQ(filter.ProcessFrame(nullptr), 1);
    EXPECT_EQ(frame.storage->runReads, kHeight);
    EXPECT_EQ(frame.storage->singleReads, kWidth * kHeight);
    EXPECT_EQ(frame.storage->writes, kHeight);
}
