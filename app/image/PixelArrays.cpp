#include "image/PixelArrays.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/io/ChannelPlan.h"

namespace {

constexpr OIIO::stride_t kFramePixel = sizeof(BMM_Color_64);
// Rows converted at a time: the buffers a band needs stay a few rows long
// whatever the frame's size.
constexpr int kBandRows = 64;

// 16-bit RGBA: the array's values lie as the frame's pixels do, and are
// copied as they are, far faster than converted value by value.
bool IsFrameLayout(const PixelArray& pixels) { return pixels.type == OIIO::TypeDesc::UINT16 && pixels.channels == 4; }

// The channels of an array as those of a file with the same channels: the
// second of two and the fourth of four are alpha.
ChannelPlan PlanOf(const PixelArray& pixels)
{
    PictureHeader layout(pixels.width, pixels.height, pixels.channels, pixels.type);
    layout.alpha_channel = pixels.channels == 2 || pixels.channels == 4 ? pixels.channels - 1 : -1;
    return ChannelPlan::For(layout);
}

// `rows` rows of the array's values from `band` into 16-bit values at
// `out`, each pixel `outStride` bytes after the one before. Half values
// become float first, exactly, as the file reader reads them, through
// `floats`, a band's worth. False when the library fails.
bool BandToSixteenBits(const PixelArray& pixels, const void* band, int rows, std::vector<float>& floats,
                       std::uint16_t* out, OIIO::stride_t outStride, bool& clamped)
{
    clamped = false;
    if (pixels.type == OIIO::TypeDesc::FLOAT)
        return FloatsToSixteenBits(static_cast<const float*>(band), pixels.channels, pixels.width, rows, out, outStride,
                                   clamped);
    if (pixels.type == OIIO::TypeDesc::HALF)
        return OIIO::convert_image(pixels.channels, pixels.width, rows, 1, band, OIIO::TypeDesc::HALF, OIIO::AutoStride,
                                   OIIO::AutoStride, OIIO::AutoStride, floats.data(), OIIO::TypeDesc::FLOAT,
                                   OIIO::AutoStride, OIIO::AutoStride, OIIO::AutoStride) &&
               FloatsToSixteenBits(floats.data(), pixels.channels, pixels.width, rows, out, outStride, clamped);
    return OIIO::convert_image(pixels.channels, pixels.width, rows, 1, band, pixels.type, OIIO::AutoStride,
                               OIIO::AutoStride, OIIO::AutoStride, out, OIIO::TypeDesc::UINT16, outStride,
                               OIIO::AutoStride, OIIO::AutoStride);
}

// `channels` of each of the frame's pixels, from `from` on (a channel of
// its first pixel), into the array at `to`, each array pixel `toStride`
// bytes after the one before.
void StoreChannels(const std::uint16_t* from, int channels, const PixelArray& pixels, char* to, OIIO::stride_t toStride)
{
    OIIO::convert_image(channels, pixels.width, pixels.height, 1, from, OIIO::TypeDesc::UINT16, kFramePixel,
                        OIIO::AutoStride, OIIO::AutoStride, to, pixels.type, toStride, OIIO::AutoStride,
                        OIIO::AutoStride);
}

}  // namespace

bool FloatsToSixteenBits(const float* values, int channels, int width, int height, std::uint16_t* out,
                         OIIO::stride_t outStride, bool& clamped)
{
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * channels;
    clamped = std::any_of(values, values + count, [](float v) { return !(v >= 0.0f && v <= 1.0f); });
    return OIIO::convert_image(channels, width, height, 1, values, OIIO::TypeDesc::FLOAT, OIIO::AutoStride,
                               OIIO::AutoStride, OIIO::AutoStride, out, OIIO::TypeDesc::UINT16, outStride,
                               OIIO::AutoStride, OIIO::AutoStride);
}

void HalvesToSixteenBits(std::uint16_t* values, std::size_t count, bool& clamped)
{
    struct Table {
        std::uint16_t sixteenBits[65536];
        bool outside[65536];
    };
    static const std::unique_ptr<const Table> table = [] {
        auto made = std::make_unique<Table>();
        std::vector<std::uint16_t> halves(65536);
        for (std::size_t i = 0; i < halves.size(); ++i)
            halves[i] = static_cast<std::uint16_t>(i);
        std::vector<float> floats(halves.size());
        bool anyOutside = false;
        if (!OIIO::convert_pixel_values(OIIO::TypeDesc::HALF, halves.data(), OIIO::TypeDesc::FLOAT, floats.data(),
                                        static_cast<int>(floats.size())) ||
            !FloatsToSixteenBits(floats.data(), 1, static_cast<int>(floats.size()), 1, made->sixteenBits,
                                 OIIO::AutoStride, anyOutside))
            throw std::logic_error("no conversion from half values");
        for (std::size_t i = 0; i < floats.size(); ++i)
            made->outside[i] = !(floats[i] >= 0.0f && floats[i] <= 1.0f);
        return made;
    }();
    bool outside = false;
    for (std::size_t i = 0; i < count; ++i) {
        outside |= table->outside[values[i]];
        values[i] = table->sixteenBits[values[i]];
    }
    clamped = outside;
}

void SixteenBitsToHalves(const std::uint16_t* values, std::size_t stride, int channels, std::size_t count,
                         std::uint16_t* halves)
{
    static const std::vector<std::uint16_t> table = [] {
        std::vector<std::uint16_t> all(65536), made(65536);
        for (std::size_t i = 0; i < all.size(); ++i)
            all[i] = static_cast<std::uint16_t>(i);
        if (!OIIO::convert_pixel_values(OIIO::TypeDesc::UINT16, all.data(), OIIO::TypeDesc::HALF, made.data(),
                                        static_cast<int>(made.size())))
            throw std::logic_error("no conversion to half values");
        return made;
    }();
    for (std::size_t i = 0; i < count; ++i, values += stride)
        for (int c = 0; c < channels; ++c)
            *halves++ = table[values[c]];
}

Frame FrameOfPixels(const PixelArray& pixels, bool& clamped, const PixelArray* place)
{
    const auto width = static_cast<std::uint16_t>(pixels.width), height = static_cast<std::uint16_t>(pixels.height);
    clamped = false;
    if (IsFrameLayout(pixels)) {
        Frame frame = place ? Frame::Over(static_cast<BMM_Color_64*>(place->data), width, height)
                            : Frame::Make(width, height);
        std::memcpy(frame.pixels, pixels.data, frame.PixelCount() * sizeof(BMM_Color_64));
        return frame;
    }
    Frame frame = Frame::Make(width, height);
    // Red, green and blue lead each of the frame's pixels, so colour is
    // converted into the frame in place; grey goes through a band of 16-bit
    // values spread as a grey file's are.
    const ChannelPlan plan = PlanOf(pixels);
    const bool inPlace = pixels.channels >= 3;
    const std::size_t rowValues = static_cast<std::size_t>(pixels.width) * pixels.channels;
    const std::size_t bandValues = rowValues * std::min(pixels.height, kBandRows);
    std::vector<float> floats(pixels.type == OIIO::TypeDesc::HALF ? bandValues : 0);
    std::vector<std::uint16_t> values(inPlace ? 0 : bandValues);
    for (int first = 0; first < pixels.height; first += kBandRows) {
        const int rows = std::min(kBandRows, pixels.height - first);
        const char* band = static_cast<const char*>(pixels.data) + first * rowValues * pixels.type.size();
        BMM_Color_64* target = frame.pixels + static_cast<std::size_t>(first) * pixels.width;
        bool bandClamped = false;
        // The library fails only for types it does not know.
        if (!BandToSixteenBits(pixels, band, rows, floats, inPlace ? &target->r : values.data(),
                               inPlace ? kFramePixel : OIIO::AutoStride, bandClamped))
            throw std::logic_error(std::string("no conversion from ") + pixels.type.c_str());
        clamped = clamped || bandClamped;
        if (!inPlace)
            plan.Spread(values.data(), pixels.channels, target, static_cast<std::size_t>(rows) * pixels.width);
    }
    if (pixels.channels == 3)
        for (std::size_t i = 0; i < frame.PixelCount(); ++i)
            frame.pixels[i].a = 0xFFFF;
    return frame;
}

void StorePixels(const Frame& frame, const PixelArray& pixels)
{
    if (frame.pixels == pixels.data)
        return;
    if (IsFrameLayout(pixels)) {
        std::memcpy(pixels.data, frame.pixels, frame.PixelCount() * sizeof(BMM_Color_64));
        return;
    }
    // Grey with alpha takes red and alpha, which are not side by side in
    // the frame's pixels: each is stored on its own.
    const OIIO::stride_t arrayPixel = static_cast<OIIO::stride_t>(pixels.channels * pixels.type.size());
    char* out = static_cast<char*>(pixels.data);
    StoreChannels(&frame.pixels[0].r, pixels.channels == 2 ? 1 : pixels.channels, pixels, out, arrayPixel);
    if (pixels.channels == 2)
        StoreChannels(&frame.pixels[0].a, 1, pixels, out + pixels.type.size(), arrayPixel);
}
