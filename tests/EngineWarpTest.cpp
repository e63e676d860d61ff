// The quad warp: where deposits land, how they average, what stays clear,
// and the fast warp against the plain reference, byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "EngineTestSupport.h"
#include "ReferenceWarp.h"
#include "engine/AxisCorners.h"
#include "engine/ImageWarper.h"

namespace {

const BMM_Color_64 kClear{0, 0, 0, 0};

BMM_Color_64 Mean(BMM_Color_64 a, BMM_Color_64 b)
{
    return {static_cast<std::uint16_t>((a.r + b.r) / 2), static_cast<std::uint16_t>((a.g + b.g) / 2),
            static_cast<std::uint16_t>((a.b + b.b) / 2), 0xFFFF};
}

BMM_Color_64 Opaque(BMM_Color_64 pixel)
{
    pixel.a = 0xFFFF;
    return pixel;
}

QuadCorners Shifted(int width, int height, float dx, float dy)
{
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    return {Point2(dx, dy), Point2(w + dx, h + dy), Point2(dx, h + dy), Point2(w + dx, dy)};
}

// Columns of row 0 that a one-pixel picture placed at (x, 0.5) covers.
std::vector<int> CoveredColumns(float x)
{
    TestBitmap frame(10, 3, Pixels(30, BMM_Color_64{5, 6, 7, 8}));
    ImageFilterInfo info = FrameInfo(0, 0, 1);
    ImageWarper engine(nullptr, &info, &frame.bitmap);
    engine.FillBackground();
    engine.SplatPixel(x, 0.5f, BMM_Color_64{5, 6, 7, 0xFFFF});
    engine.WriteBack();
    std::vector<int> columns;
    for (int column = 0; column < 10; ++column)
        if (frame.Contents()[column].a != 0)
            columns.push_back(column);
    return columns;
}

}  // namespace

// The identity corners blur toward the lower right: output (x, y) averages
// sources (x, y), (x + 1, y), (x, y + 1), (x + 1, y + 1) in that order, and
// every pixel becomes opaque whatever its source alpha.
TEST(QuadWarp, IdentityCornersAverageTowardTheLowerRight)
{
    const int w = 6, h = 4;
    const Pixels picture = CoordinatePicture(w, h);
    const Pixels out = EngineWarp(w, h, picture, Shifted(w, h, 0, 0));
    auto source = [&](int x, int y) { return Opaque(picture[y * w + x]); };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            BMM_Color_64 expected = source(x, y);
            if (x + 1 < w)
                expected = Mean(expected, source(x + 1, y));
            if (y + 1 < h)
                expected = Mean(expected, source(x, y + 1));
            if (x + 1 < w && y + 1 < h)
                expected = Mean(expected, source(x + 1, y + 1));
            EXPECT_EQ(out[y * w + x], expected) << x << "," << y;
        }
    }

    const Pixels uniform(w * h, BMM_Color_64{300, 40000, 65535, 0});
    EXPECT_EQ(EngineWarp(w, h, uniform, Shifted(w, h, 0, 0)), Pixels(w * h, BMM_Color_64{300, 40000, 65535, 0xFFFF}));

    const BMM_Color_64 a{1001, 65535, 0, 0}, b{2000, 65534, 7, 0xFFFF};
    EXPECT_EQ(EngineWarp(2, 1, {a, b}, Shifted(2, 1, 0, 0)), (Pixels{BMM_Color_64{1500, 65534, 3, 0xFFFF}, b}));
}

// A turn of 180 degrees about X through the centre mirrors exactly: source
// (i, j) lands on (i, H - j), so output (x, y) averages sources
// (x, H-y-1), (x+1, H-y-1), (x, H-y), (x+1, H-y) in source order.
TEST(QuadWarp, MirrorAboutXLandsEachRowExactly)
{
    const int w = 9, h = 7;
    const Pixels picture = CoordinatePicture(w, h);
    TestBitmap frame(w, h, picture);
    ImageFilterInfo info = FrameInfo(0, 0, 1);
    ImageWarper engine(nullptr, &info, &frame.bitmap);
    engine.TurnAboutX(0, 180.0f, 0.25f);
    engine.WriteBack();
    const Pixels out = frame.Contents();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            bool any = false;
            BMM_Color_64 expected = kClear;
            for (auto [i, j] : {std::pair{x, h - y - 1}, {x + 1, h - y - 1}, {x, h - y}, {x + 1, h - y}}) {
                if (i >= w || j < 0 || j >= h)
                    continue;
                const BMM_Color_64 source = Opaque(picture[j * w + i]);
                expected = any ? Mean(expected, source) : source;
                any = true;
            }
            EXPECT_EQ(out[y * w + x], expected) << x << "," << y;
        }
    }
}

// Which columns a deposit reaches: x = 5.0 gives 4 and 5, x = 5.25 gives 5
// and 6, anything in (-1, 0] only column 0, and the right border drops the
// outer column.
TEST(QuadWarp, DepositColumns)
{
    EXPECT_EQ(CoveredColumns(5.0f), (std::vector<int>{4, 5}));
    EXPECT_EQ(CoveredColumns(5.25f), (std::vector<int>{5, 6}));
    for (float x : {-0.999f, -0.5f, -0.0f, 0.0f})
        EXPECT_EQ(CoveredColumns(x), (std::vector<int>{0})) << x;
    EXPECT_EQ(CoveredColumns(-1.0f), (std::vector<int>{}));
    EXPECT_EQ(CoveredColumns(10.0f), (std::vector<int>{9}));
    EXPECT_EQ(CoveredColumns(10.001f), (std::vector<int>{}));
}

// Quads wholly beyond a border leave the frame clear; a quad whose left edge
// lies exactly on x = W still fills the last column, and shrunk corners keep
// the border beyond the deposit's one-pixel reach clear.
TEST(QuadWarp, QuadsBeyondTheBordersLeaveTheFrameClear)
{
    const int w = 8, h = 6;
    const Pixels picture = CoordinatePicture(w, h);
    const Pixels clear(w * h, kClear);
    EXPECT_EQ(EngineWarp(w, h, picture, Shifted(w, h, w + 0.01f, 0)), clear);
    EXPECT_EQ(EngineWarp(w, h, picture, Shifted(w, h, -w - 1.0f, 0)), clear);  // right edge on x = -1
    EXPECT_EQ(EngineWarp(w, h, picture, Shifted(w, h, 0, h + 0.01f)), clear);
    EXPECT_EQ(EngineWarp(w, h, picture, Shifted(w, h, 0, -h - 1.0f)), clear);

    const Pixels edge = EngineWarp(w, h, picture, Shifted(w, h, static_cast<float>(w), 0));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(edge[y * w + x].a, x == w - 1 ? 0xFFFF : 0) << x << "," << y;

    const QuadCorners shrunk = {Point2(3.0f, 2.0f), Point2(5.0f, 4.0f), Point2(3.0f, 4.0f), Point2(5.0f, 2.0f)};
    const Pixels inner = EngineWarp(w, h, picture, shrunk);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(inner[y * w + x].a, (x >= 2 && x <= 5 && y >= 1 && y <= 4) ? 0xFFFF : 0) << x << "," << y;
}

// Corners that are not numbers, infinite, or far beyond any int deposit
// nothing and do not crash.
TEST(QuadWarp, UnrepresentablePositionsDepositNothing)
{
    const int w = 5, h = 4;
    const Pixels picture = CoordinatePicture(w, h);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float v : {nan, inf, -inf, 3e9f, -3e9f, 1e38f}) {
        const QuadCorners q = {Point2(v, 0.0f), Point2(v, v), Point2(0.0f, v), Point2(v, v)};
        EXPECT_EQ(EngineWarp(w, h, picture, q), Pixels(w * h, kClear)) << v;
    }
}

// BlendPixel's weight scales colour only, truncating, and stays within the
// channel's range for any weight.
TEST(QuadWarp, BlendWeightScalesColour)
{
    TestBitmap frame(2, 1, Pixels(2, kClear));
    ImageFilterInfo info = FrameInfo(0, 0, 1);
    ImageWarper engine(nullptr, &info, &frame.bitmap);
    engine.FillBackground();
    engine.BlendPixel(0, 0, BMM_Color_64{1001, 65535, 3, 0x7000}, 0.5f);
    engine.BlendPixel(1, 0, BMM_Color_64{100, 200, 300, 0xFFFF}, 1.0f);
    engine.BlendPixel(1, 0, BMM_Color_64{1000, 65535, 50000, 0xFFFF}, 2.0f);
    engine.BlendPixel(-1, 0, BMM_Color_64{1, 1, 1, 1}, std::numeric_limits<float>::quiet_NaN());
    engine.WriteBack();
    EXPECT_EQ(frame.Contents(),
              (Pixels{BMM_Color_64{500, 32767, 1, 0x7000}, BMM_Color_64{1050, 32867, 32917, 0xFFFF}}));
}

// The fast warp matches the plain reference byte for byte: turns through
// every pivot, exact quarter turns (whole-number positions, blocks walking
// straight along rows and columns in every direction), random quads
// reaching past the borders, and quads on whole and half pixel lines where
// the fast path's inside test is decided exactly. Every fifth frame is wide
// enough that its rows are read and deposited in several runs, the last of
// odd length.
TEST(QuadWarp, FastWarpMatchesReferenceByteForByte)
{
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> size(1, 33);
    std::uniform_int_distribution<int> wide(60, 200);
    std::uniform_real_distribution<float> angle(-400.0f, 400.0f);
    std::uniform_int_distribution<int> quarter(-4, 4);
    std::uniform_int_distribution<int> pivot(-1, 1);
    for (int round = 0; round < 400; ++round) {
        const int w = round % 5 == 4 ? wide(random) | 1 : size(random), h = size(random);
        const Pixels picture = RandomPicture(w, h, random);
        std::uniform_real_distribution<float> coordinate(-1.5f * w, 2.5f * w);
        std::uniform_int_distribution<int> halfLine(-4, 2 * w + 4);
        const float turn = round % 3 == 0 ? 90.0f * quarter(random) : angle(random);
        QuadCorners q;
        switch (round % 4) {
        case 0: q = *CornersAboutX(w, h, pivot(random), turn, 0.25f); break;
        case 1: q = *CornersAboutY(w, h, pivot(random), turn, 0.25f); break;
        case 2: q = *CornersAboutZ(w, h, pivot(random), turn); break;
        default:
            for (Point2& corner : q)
                corner = round % 8 == 3 ? Point2(coordinate(random), coordinate(random))
                                        : Point2(halfLine(random) / 2.0f, halfLine(random) / 2.0f);
        }
        const Pixels expected = ReferenceWarp(w, h, picture).Warp(q[0], q[1], q[2], q[3]);
        ASSERT_EQ(EngineWarp(w, h, picture, q), expected) << "round " << round << ", " << w << "x" << h;
    }
}
