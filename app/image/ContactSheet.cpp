#include "image/ContactSheet.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>

#include <algorithm>
#include <string>

#include "image/ImageFiles.h"
#include "messages/Failure.h"

namespace {

constexpr int kLabelWidth = 120;
constexpr int kHeaderHeight = 24;
constexpr int kGap = 4;
constexpr int kChecker = 8;
constexpr std::uint16_t kBackground = 0x2000;

class DrawnContactSheet final : public ContactSheet {
public:
    DrawnContactSheet(int rows, int columns, int cellWidth, int cellHeight);

    void LabelRow(int row, std::string text) override { rowLabels_[row] = std::move(text); }
    void LabelColumn(int column, std::string text) override { columnLabels_[column] = std::move(text); }
    void Place(int row, int column, const Frame& frame) override;
    void Write(const std::string& path) override;

private:
    int rows_, columns_, cellWidth_, cellHeight_;
    std::vector<std::string> rowLabels_, columnLabels_;
    Frame sheet_;
};

DrawnContactSheet::DrawnContactSheet(int rows, int columns, int cellWidth, int cellHeight)
    : rows_(rows), columns_(columns), cellWidth_(cellWidth), cellHeight_(cellHeight), rowLabels_(rows),
      columnLabels_(columns),
      sheet_(Frame::Make(static_cast<std::uint16_t>(kLabelWidth + columns * (cellWidth + kGap)),
                         static_cast<std::uint16_t>(kHeaderHeight + rows * (cellHeight + kGap))))
{
    std::fill(sheet_.pixels, sheet_.pixels + sheet_.PixelCount(),
              BMM_Color_64{kBackground, kBackground, kBackground, 0xFFFF});
}

void DrawnContactSheet::Place(int row, int column, const Frame& frame)
{
    namespace IBA = OIIO::ImageBufAlgo;
    const int factor = std::max(
        {1, (frame.Width() + cellWidth_ - 1) / cellWidth_, (frame.Height() + cellHeight_ - 1) / cellHeight_});
    const int width = frame.Width() / factor, height = frame.Height() / factor;
    if (width == 0 || height == 0)
        return;
    const int left = kLabelWidth + column * (cellWidth_ + kGap) + (cellWidth_ - width) / 2;
    const int top = kHeaderHeight + row * (cellHeight_ + kGap) + (cellHeight_ - height) / 2;
    const OIIO::ROI cellArea(0, width, 0, height, 0, 1, 0, 4);

    // Each factor x factor block of the frame (a remainder row or column is
    // left out) averaged with premultiplied alpha, over a checkerboard of
    // dark and light grey so that transparency shows.
    const OIIO::ImageBuf source(OIIO::ImageSpec(frame.Width(), frame.Height(), 4, OIIO::TypeDesc::UINT16),
                                frame.pixels);
    const OIIO::ImageBuf blocks = IBA::premult(IBA::cut(source, OIIO::ROI(0, width * factor, 0, height * factor)));
    const OIIO::ImageBuf reduced = IBA::resize(blocks, "box", 1.0f, cellArea);
    const float dark[4] = {0.38f, 0.38f, 0.38f, 1}, light[4] = {0.62f, 0.62f, 0.62f, 1};
    const OIIO::ImageBuf cell = IBA::over(reduced, IBA::checker(kChecker, kChecker, 1, dark, light, 0, 0, 0, cellArea));

    // Cells do not overlap, so threads may paste into the sheet at once.
    OIIO::ImageBuf canvas(OIIO::ImageSpec(sheet_.Width(), sheet_.Height(), 4, OIIO::TypeDesc::UINT16), sheet_.pixels);
    if (cell.has_error() || !IBA::paste(canvas, left, top, 0, 0, cell))
        throw Failure("contact sheet", "cannot place the frame of row " + std::to_string(row + 1) + ", column " +
                                           std::to_string(column + 1));
}

void DrawnContactSheet::Write(const std::string& path)
{
    OIIO::ImageBuf canvas(OIIO::ImageSpec(sheet_.Width(), sheet_.Height(), 4, OIIO::TypeDesc::UINT16), sheet_.pixels);
    const float white[4] = {0.9f, 0.9f, 0.9f, 1};
    for (int row = 0; row < rows_; ++row)
        OIIO::ImageBufAlgo::render_text(canvas, 8, kHeaderHeight + row * (cellHeight_ + kGap) + cellHeight_ / 2 + 5,
                                        rowLabels_[row], 14, "DejaVuSans", white);
    for (int column = 0; column < columns_; ++column)
        OIIO::ImageBufAlgo::render_text(canvas, kLabelWidth + column * (cellWidth_ + kGap) + 4, kHeaderHeight - 7,
                                        columnLabels_[column], 14, "DejaVuSans", white);
    canvas.geterror();  // without a font the sheet is still worth writing
    WriteImage(path, "png", sheet_, WriteSettings{});
}

}  // namespace

std::unique_ptr<ContactSheet> MakeContactSheet(int rows, int columns, int cellWidth, int cellHeight)
{
    return std::make_unique<DrawnContactSheet>(rows, columns, cellWidth, cellHeight);
}
