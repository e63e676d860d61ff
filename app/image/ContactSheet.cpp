#include "image/ContactSheet.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>

#include <algorithm>

#include "image/ImageFiles.h"

namespace {

constexpr int kLabelWidth = 120;
constexpr int kHeaderHeight = 24;
constexpr int kGap = 4;
constexpr int kChecker = 8;
constexpr std::uint16_t kBackground = 0x2000;

// The checkerboard behind a reduced frame, light and dark grey.
double CheckerAt(int x, int y) { return ((x / kChecker + y / kChecker) % 2) ? 0.62 : 0.38; }

}  // namespace

ContactSheet::ContactSheet(int rows, int columns, int cellWidth, int cellHeight)
    : rows_(rows), columns_(columns), cellWidth_(cellWidth), cellHeight_(cellHeight), rowLabels_(rows),
      columnLabels_(columns),
      sheet_(Frame::Make(static_cast<std::uint16_t>(kLabelWidth + columns * (cellWidth + kGap)),
                         static_cast<std::uint16_t>(kHeaderHeight + rows * (cellHeight + kGap))))
{
    std::fill(sheet_.pixels, sheet_.pixels + sheet_.PixelCount(),
              BMM_Color_64{kBackground, kBackground, kBackground, 0xFFFF});
}

void ContactSheet::Place(int row, int column, const Frame& frame)
{
    const int factor = std::max({1, (frame.Width() + cellWidth_ - 1) / cellWidth_,
                                 (frame.Height() + cellHeight_ - 1) / cellHeight_});
    const int width = frame.Width() / factor, height = frame.Height() / factor;
    const int left = kLabelWidth + column * (cellWidth_ + kGap) + (cellWidth_ - width) / 2;
    const int top = kHeaderHeight + row * (cellHeight_ + kGap) + (cellHeight_ - height) / 2;

    for (int y = 0; y < height; ++y) {
        BMM_Color_64* out = sheet_.pixels + static_cast<std::size_t>(top + y) * sheet_.Width() + left;
        for (int x = 0; x < width; ++x) {
            const double behind = CheckerAt(x, y) * 65535.0;
            double sum[3] = {0, 0, 0};
            for (int sy = 0; sy < factor; ++sy) {
                const BMM_Color_64* in = frame.pixels + static_cast<std::size_t>(y * factor + sy) * frame.Width() +
                                         static_cast<std::size_t>(x) * factor;
                for (int sx = 0; sx < factor; ++sx) {
                    const double alpha = in[sx].a / 65535.0;
                    sum[0] += in[sx].r * alpha + behind * (1 - alpha);
                    sum[1] += in[sx].g * alpha + behind * (1 - alpha);
                    sum[2] += in[sx].b * alpha + behind * (1 - alpha);
                }
            }
            const double samples = static_cast<double>(factor) * factor;
            out[x] = {static_cast<std::uint16_t>(sum[0] / samples + 0.5),
                      static_cast<std::uint16_t>(sum[1] / samples + 0.5),
                      static_cast<std::uint16_t>(sum[2] / samples + 0.5), 0xFFFF};
        }
    }
}

void ContactSheet::Write(const std::string& path)
{
    OIIO::ImageBuf canvas(OIIO::ImageSpec(sheet_.Width(), sheet_.Height(), 4, OIIO::TypeDesc::UINT16),
                          sheet_.pixels);
    const float white[4] = {0.9f, 0.9f, 0.9f, 1};
    for (int row = 0; row < rows_; ++row)
        OIIO::ImageBufAlgo::render_text(canvas, 8, kHeaderHeight + row * (cellHeight_ + kGap) + cellHeight_ / 2 + 5,
                                        rowLabels_[row], 14, "DejaVuSans", white);
    for (int column = 0; column < columns_; ++column)
        OIIO::ImageBufAlgo::render_text(canvas, kLabelWidth + column * (cellWidth_ + kGap) + 4, kHeaderHeight - 7,
                                        columnLabels_[column], 14, "DejaVuSans", white);
    canvas.geterror();  // without a font the sheet is still worth writing
    WriteImage(path, sheet_, WriteSettings{});
}
