// Where each axis projection sends the frame's corners, and what an unknown
// pivot does.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "EngineTestSupport.h"
#include "engine/AxisCorners.h"
#include "engine/ImageWarper.h"

namespace {

struct Expected {
    double x, y;
};

void ExpectCorners(const std::optional<QuadCorners>& corners, std::initializer_list<Expected> expected,
                   const char* what)
{
    ASSERT_TRUE(corners.has_value()) << what;
    int index = 0;
    for (const Expected& e : expected) {
        const Point2& corner = (*corners)[index];
        EXPECT_NEAR(corner.x, e.x, 0.0005) << what << ", corner " << index;
        EXPECT_NEAR(corner.y, e.y, 0.0005) << what << ", corner " << index;
        ++index;
    }
}

}  // namespace

// The published corner figures, to three decimals.
TEST(AxisCorners, KnownTurns)
{
    ExpectCorners(CornersAboutX(640, 480, 0, 30.0f, 0.25f),
                  {{-20, 32.154}, {620, 447.846}, {20, 447.846}, {660, 32.154}}, "X centre 30");
    ExpectCorners(CornersAboutX(100, 50, 1, 90.0f, 0.25f), {{0, 0}, {75, 0}, {25, 0}, {100, 0}}, "X upper 90");
    ExpectCorners(CornersAboutX(640, 480, 0, 180.0f, 0.25f), {{0, 480}, {640, 0}, {0, 0}, {640, 480}}, "X centre 180");
    ExpectCorners(CornersAboutY(640, 480, 1, 30.0f, 0.25f), {{85.744, -60}, {640, 480}, {85.744, 540}, {640, 0}},
                  "Y upper 30");
    ExpectCorners(CornersAboutY(640, 480, -1, 30.0f, 0.25f), {{0, 0}, {554.256, 420}, {0, 480}, {554.256, 60}},
                  "Y lower 30");
    ExpectCorners(CornersAboutZ(640, 480, 0, 90.0f), {{80, 560}, {560, -80}, {560, 560}, {80, -80}}, "Z centre 90");
    ExpectCorners(CornersAboutZ(640, 480, 1, 90.0f), {{640, 640}, {1120, 0}, {1120, 640}, {640, 0}}, "Z upper 90");
    ExpectCorners(CornersAboutZ(640, 480, -1, 30.0f), {{-240, 64.308}, {554.256, 160}, {0, 480}, {314.256, -255.692}},
                  "Z lower 30");
}

// Angle 0 leaves the corners exactly where they were, for every axis and
// pivot.
TEST(AxisCorners, ZeroAngleIsTheIdentity)
{
    for (int pivot = -1; pivot <= 1; ++pivot) {
        const QuadCorners identity = {Point2(0.0f, 0.0f), Point2(37.0f, 23.0f), Point2(0.0f, 23.0f),
                                      Point2(37.0f, 0.0f)};
        for (const auto& corners : {CornersAboutX(37, 23, pivot, 0.0f, 0.25f),
                                    CornersAboutY(37, 23, pivot, 0.0f, 0.25f), CornersAboutZ(37, 23, pivot, 0.0f)}) {
            ASSERT_TRUE(corners.has_value());
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ((*corners)[i].x, identity[i].x) << "pivot " << pivot << ", corner " << i;
                EXPECT_EQ((*corners)[i].y, identity[i].y) << "pivot " << pivot << ", corner " << i;
            }
        }
    }
}

// A pivot offset outside -1..1 has no pivot: no corners, and the turn leaves
// the captured frame in the buffer as it was. Wild angles never crash.
TEST(AxisCorners, UnknownPivotLeavesTheFrameAsCaptured)
{
    for (int pivot : {2, -2, INT_MAX, INT_MIN}) {
        EXPECT_FALSE(CornersAboutX(8, 8, pivot, 30.0f, 0.25f).has_value());
        EXPECT_FALSE(CornersAboutY(8, 8, pivot, 30.0f, 0.25f).has_value());
        EXPECT_FALSE(CornersAboutZ(8, 8, pivot, 30.0f).has_value());
    }
    const Pixels picture = CoordinatePicture(5, 3);
    TestBitmap frame(5, 3, picture);
    ImageFilterInfo info = FrameInfo(0, 0, 1);
    ImageWarper engine(nullptr, &info, &frame.bitmap);
    engine.TurnAboutX(2, 30.0f, 0.25f);
    engine.TurnAboutY(-3, 30.0f, 0.25f);
    engine.TurnAboutZ(1000, 30.0f);
    engine.WriteBack();
    EXPECT_EQ(frame.Contents(), picture);
    EXPECT_EQ(frame.storage->singleReads, 0);

    for (float angle : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 1e30f}) {
        engine.TurnAboutX(0, angle, 0.25f);
        engine.TurnAboutY(1, angle, std::numeric_limits<float>::infinity());
        engine.TurnAboutZ(-1, angle);
    }
}
