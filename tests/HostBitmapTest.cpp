// The host stand-in's bitmap: runs of pixels clipped to the bitmap, so a
// filter's reads and writes near the borders never reach outside it.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "bmm/Bitmap.h"

namespace {

BMM_Color_64 Marked(int x, int y) { return {static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y), 7, 0xFFFF}; }

bool Same(const BMM_Color_64& a, const BMM_Color_64& b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

std::unique_ptr<Bitmap> MarkedBitmap(int width, int height)
{
    auto bitmap = CreateMemoryBitmap(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const BMM_Color_64 pixel = Marked(x, y);
            bitmap->PutPixels(x, y, 1, &pixel);
        }
    return bitmap;
}

}  // namespace

// Runs that start left of column 0 or end past the last column move only the
// part inside, at the right place in the caller's array.
TEST(HostBitmap, RunsAreClippedToTheRow)
{
    auto bitmap = MarkedBitmap(5, 3);
    const BMM_Color_64 untouched{1, 2, 3, 4};

    std::vector<BMM_Color_64> run(4, untouched);
    EXPECT_EQ(bitmap->GetPixels(-2, 1, 4, run.data()), 1);
    EXPECT_TRUE(Same(run[0], untouched));
    EXPECT_TRUE(Same(run[1], untouched));
    EXPECT_TRUE(Same(run[2], Marked(0, 1)));
    EXPECT_TRUE(Same(run[3], Marked(1, 1)));

    run.assign(4, untouched);
    EXPECT_EQ(bitmap->GetPixels(3, 2, 4, run.data()), 1);
    EXPECT_TRUE(Same(run[0], Marked(3, 2)));
    EXPECT_TRUE(Same(run[1], Marked(4, 2)));
    EXPECT_TRUE(Same(run[2], untouched));

    const std::vector<BMM_Color_64> blank(4, BMM_Color_64{0, 0, 0, 0});
    EXPECT_EQ(bitmap->PutPixels(-3, 0, 4, blank.data()), 1);
    BMM_Color_64 pixel = untouched;
    bitmap->GetPixels(0, 0, 1, &pixel);
    EXPECT_TRUE(Same(pixel, blank[3]));
    bitmap->GetPixels(1, 0, 1, &pixel);
    EXPECT_TRUE(Same(pixel, Marked(1, 0)));
}

// Runs wholly outside, empty runs and bitmaps without storage move nothing.
TEST(HostBitmap, NothingMovesOutsideTheBitmap)
{
    auto bitmap = MarkedBitmap(5, 3);
    BMM_Color_64 pixel{9, 9, 9, 9};
    EXPECT_EQ(bitmap->GetPixels(5, 0, 1, &pixel), 0);
    EXPECT_EQ(bitmap->GetPixels(0, 3, 1, &pixel), 0);
    EXPECT_EQ(bitmap->GetPixels(0, -1, 1, &pixel), 0);
    EXPECT_EQ(bitmap->GetPixels(-4, 0, 4, &pixel), 0);
    EXPECT_EQ(bitmap->GetPixels(0, 0, 0, &pixel), 0);
    EXPECT_EQ(bitmap->GetPixels(-2147483647 - 1, 0, 2147483647, &pixel), 0);
    EXPECT_TRUE(Same(pixel, BMM_Color_64{9, 9, 9, 9}));

    Bitmap empty;
    EXPECT_EQ(empty.Width(), 0);
    EXPECT_EQ(empty.Height(), 0);
    EXPECT_EQ(empty.GetPixels(0, 0, 1, &pixel), 0);
    EXPECT_EQ(empty.PutPixels(0, 0, 1, &pixel), 0);
}

// A bitmap over the caller's pixels reads and writes them in place, rows
// packed, and leaves them to the caller when it ends.
TEST(HostBitmap, ABitmapOverThePixelsOfItsCaller)
{
    std::vector<BMM_Color_64> pixels(4 * 3 + 1, BMM_Color_64{9, 9, 9, 9});
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            pixels[static_cast<std::size_t>(y) * 4 + x] = Marked(x, y);
    {
        auto bitmap = CreateBitmapOver(pixels.data(), 4, 3);
        EXPECT_EQ(bitmap->Width(), 4);
        EXPECT_EQ(bitmap->Height(), 3);
        BMM_Color_64 got{};
        EXPECT_EQ(bitmap->GetPixels(3, 2, 1, &got), 1);
        EXPECT_TRUE(Same(got, Marked(3, 2)));
        const BMM_Color_64 put[2] = {{1, 1, 1, 1}, {2, 2, 2, 2}};
        EXPECT_EQ(bitmap->PutPixels(3, 1, 2, put), 1);  // the second lies past the row: clipped
    }
    EXPECT_TRUE(Same(pixels[1 * 4 + 3], BMM_Color_64{1, 1, 1, 1}));
    EXPECT_TRUE(Same(pixels[2 * 4 + 0], Marked(0, 2)));
    EXPECT_TRUE(Same(pixels[12], BMM_Color_64{9, 9, 9, 9}));
}
