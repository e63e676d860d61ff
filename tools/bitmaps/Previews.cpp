#include "Previews.h"

#include <cctype>
#include <stdexcept>

#include "filter/ParamWords.h"
#include "filter/RotationFilter.h"

namespace {

constexpr int kSquare = 10;  // pixels per checkerboard square

// Near edge-on for the centre pivots of X and Y, so that only a thin band is
// left; tipped well over for the edge pivots, with the sign that makes the
// far edge narrower (so the board stays inside the frame); a clear slant for
// Z.
constexpr float kTipped = 55.0f;
constexpr float kEdgeOn = 80.0f;
constexpr float kSlant = 30.0f;

std::unique_ptr<Bitmap> Checkerboard()
{
    auto bitmap = CreateMemoryBitmap(kPreviewSize, kPreviewSize);
    const BMM_Color_64 red{0xFFFF, 0, 0, 0xFFFF};
    const BMM_Color_64 white{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    std::vector<BMM_Color_64> row(kPreviewSize);
    for (int y = 0; y < kPreviewSize; ++y) {
        for (int x = 0; x < kPreviewSize; ++x)
            row[x] = (x / kSquare + y / kSquare) % 2 ? white : red;
        bitmap->PutPixels(0, y, kPreviewSize, row.data());
    }
    return bitmap;
}

// Where the turned board does not reach, the frame is transparent: shown on
// black.
std::uint8_t OnBlack(std::uint16_t channel, std::uint16_t alpha)
{
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(channel) * alpha / 0xFFFF >> 8);
}

std::string Upper(std::string word)
{
    for (char& letter : word)
        letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    return word;
}

}  // namespace

const PreviewPlan kPreviewPlans[kPreviewCount] = {
    {AxisX, PivotLower, -kTipped}, {AxisX, PivotCenter, kEdgeOn}, {AxisX, PivotUpper, kTipped},
    {AxisY, PivotLower, kTipped},  {AxisY, PivotCenter, kEdgeOn}, {AxisY, PivotUpper, -kTipped},
    {AxisZ, PivotLower, kSlant},   {AxisZ, PivotCenter, kSlant},  {AxisZ, PivotUpper, kSlant},
};

std::string PreviewFile(const PreviewPlan& plan)
{
    return std::string("preview-") + AxisWordOf(plan.axis) + "-" + PivotWordOf(plan.pivot) + ".bmp";
}

std::string PreviewResourceId(const PreviewPlan& plan)
{
    return "IDB_PREVIEW_" + Upper(AxisWordOf(plan.axis)) + "_" + Upper(PivotWordOf(plan.pivot));
}

RgbPicture RenderPreview(const PreviewPlan& plan)
{
    std::unique_ptr<Bitmap> bitmap = Checkerboard();
    // A one-frame range: the frame is at 0 percent, so the angle is the
    // starting angle.
    ImageFilterInfo info;
    info.queueRange = FrameRange(0, 1, 0);
    info.filterRange = FrameRange(0, 1, 0);
    RotationParams params{VELDRA_TAG, plan.axis, plan.pivot, plan.angle, plan.angle};
    RotationFilter filter;
    filter.LoadConfigure(&params);
    filter.SetSource(bitmap.get());
    filter.SetFilterInfo(&info);
    if (filter.ProcessFrame(nullptr) != 1)
        throw std::runtime_error(PreviewFile(plan) + ": the filter did not render the preview");

    RgbPicture picture;
    picture.width = kPreviewSize;
    picture.height = kPreviewSize;
    std::vector<BMM_Color_64> row(kPreviewSize);
    for (int y = 0; y < kPreviewSize; ++y) {
        bitmap->GetPixels(0, y, kPreviewSize, row.data());
        for (const BMM_Color_64& pixel : row)
            picture.pixels.push_back({OnBlack(pixel.r, pixel.a), OnBlack(pixel.g, pixel.a), OnBlack(pixel.b, pixel.a)});
    }
    return picture;
}
