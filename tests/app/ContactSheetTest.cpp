// The contact sheet's cells: frames reduced by block averaging with
// premultiplied alpha, over a checkerboard that shows transparency.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "image/ContactSheet.h"
#include "image/ImageFiles.h"

namespace {

constexpr std::uint16_t kDark = 24903;   // 0.38 of full scale
constexpr std::uint16_t kLight = 40632;  // 0.62 of full scale

// A one-cell sheet (cell 16 x 8) holding `frame`, written and read back;
// returns the cell's pixels, found as the area that is not the sheet's
// background.
struct Cell {
    int left = -1, top = -1, width = 0, height = 0;
    LoadedImage sheet;
    const BMM_Color_64& At(int x, int y) const
    {
        return sheet.frame.pixels[static_cast<std::size_t>(top + y) * sheet.frame.Width() + left + x];
    }
};

Cell PlaceAlone(const Frame& frame)
{
    const std::unique_ptr<ContactSheet> sheet = MakeContactSheet(1, 1, 16, 8);
    sheet->Place(0, 0, frame);
    const std::string path = "contact-sheet-test.png";
    sheet->Write(path);
    Cell cell;
    cell.sheet = ReadImage(path);
    std::remove(path.c_str());
    const Frame& out = cell.sheet.frame;
    const BMM_Color_64 background = out.pixels[0];
    for (int y = 0; y < out.Height(); ++y)
        for (int x = 0; x < out.Width(); ++x) {
            const BMM_Color_64& p = out.pixels[static_cast<std::size_t>(y) * out.Width() + x];
            if (p.r == background.r && p.g == background.g && p.b == background.b)
                continue;
            if (cell.left < 0)
                cell.left = x, cell.top = y;
            cell.width = std::max(cell.width, x - cell.left + 1);
            cell.height = std::max(cell.height, y - cell.top + 1);
        }
    return cell;
}

Frame Uniform(std::uint16_t width, std::uint16_t height, BMM_Color_64 pixel)
{
    Frame frame = Frame::Make(width, height);
    for (std::size_t i = 0; i < frame.PixelCount(); ++i)
        frame.pixels[i] = pixel;
    return frame;
}

}  // namespace

// A transparent frame shows only the checkerboard, in 8-pixel squares from
// the cell's corner; a 32 x 16 frame is halved to fill the 16 x 8 cell.
TEST(ContactSheet, TransparentFrameShowsTheCheckerboard)
{
    const Cell cell = PlaceAlone(Uniform(32, 16, {0xFFFF, 0, 0, 0}));
    ASSERT_EQ(cell.width, 16);
    ASSERT_EQ(cell.height, 8);
    for (int x = 0; x < 16; ++x) {
        const std::uint16_t expected = x < 8 ? kDark : kLight;
        EXPECT_EQ(cell.At(x, 3).r, expected) << x;
        EXPECT_EQ(cell.At(x, 3).g, expected) << x;
        EXPECT_EQ(cell.At(x, 3).a, 0xFFFF) << x;
    }
}

// Each cell pixel is the mean of its block composited over the board: an
// opaque block keeps its colour, a block half transparent and half opaque
// white lands halfway between the board and white.
TEST(ContactSheet, BlocksAverageWithTheirAlpha)
{
    const BMM_Color_64 colour{1000, 30000, 65535, 0xFFFF};
    Cell cell = PlaceAlone(Uniform(48, 24, colour));  // a factor of 3
    ASSERT_EQ(cell.width, 16);
    EXPECT_EQ(cell.At(5, 5).r, colour.r);
    EXPECT_EQ(cell.At(5, 5).g, colour.g);
    EXPECT_EQ(cell.At(5, 5).b, colour.b);

    // Columns alternate transparent red and opaque white: each 2 x 2 block
    // holds one of each.
    Frame mixed = Uniform(32, 16, {0xFFFF, 0, 0, 0});
    for (int y = 0; y < 16; ++y)
        for (int x = 1; x < 32; x += 2)
            mixed.pixels[y * 32 + x] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    cell = PlaceAlone(mixed);
    const double halfway = (kDark + 65535.0) / 2;
    EXPECT_LE(std::abs(cell.At(2, 2).g - halfway), 1.0);
    EXPECT_EQ(cell.At(2, 2).r, cell.At(2, 2).g);  // the transparent red does not show
}
