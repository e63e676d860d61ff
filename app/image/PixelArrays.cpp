#include "image/PixelArrays.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr OIIO::stride_t kFramePixel = sizeof(BMM_Color_64);
// Rows of half values turned into floats at a time.
constexpr int kBandRows = 64;

// 16-bit RGBA: the array's values lie as the frame's pixels do, and are
// copied as they are, far faster than converted value by value.
bool IsFrameLayout(const PixelArray& pixels) { return pixels.type == OIIO::TypeDesc::UINT16 && pixels.channels == 4; }

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
    std::uint16_t* out = &frame.pixels[0].r;
    bool converted = false;
    if (pixels.type == OIIO::TypeDesc::FLOAT) {
        converted = FloatsToSixteenBits(static_cast<const float*>(pixels.data), pixels.channels, pixels.width,
                                        pixels.height, out, kFramePixel, clamped);
    } else if (pixels.type == OIIO::TypeDesc::HALF) {
        // Half values become float exactly, as the file reader reads them, a
        // band of rows at a time, so that no whole frame of floats is held.
        const std::size_t rowValues = static_cast<std::size_t>(pixels.width) * pixels.channels;
        std::vector<float> values(rowValues * std::min(pixels.height, kBandRows));
        converted = true;
        for (int first = 0; converted && first < pixels.height; first += kBandRows) {
            const int rows = std::min(kBandRows, pixels.height - first);
            const char* band = static_cast<const char*>(pixels.data) + first * rowValues * sizeof(std::uint16_t);
            bool bandClamped = false;
            converted = OIIO::convert_image(pixels.channels, pixels.width, rows, 1, band, OIIO::TypeDesc::HALF,
                                            OIIO::AutoStride, OIIO::AutoStride, OIIO::AutoStride, values.data(),
                                            OIIO::TypeDesc::FLOAT, OIIO::AutoStride, OIIO::AutoStride,
                                            OIIO::AutoStride) &&
                        FloatsToSixteenBits(values.data(), pixels.channels, pixels.width, rows,
                                            &frame.pixels[static_cast<std::size_t>(first) * pixels.width].r,
                                            kFramePixel, bandClamped);
            clamped = clamped || bandClamped;
        }
    } else {
        converted = OIIO::convert_image(pixels.channels, pixels.width, pixels.height, 1, pixels.data, pixels.type,
                                        OIIO::AutoStride, OIIO::AutoStride, OIIO::AutoStride, out,
                                        OIIO::TypeDesc::UINT16, kFramePixel, OIIO::AutoStride, OIIO::AutoStride);
    }
    // The library fails only for types it does not know.
    if (!converted)
        throw std::logic_error(std::string("no conversion from ") + pixels.type.c_str());
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
    OIIO::convert_image(pixels.channels, pixels.width, pixels.height, 1, &frame.pixels[0].r, OIIO::TypeDesc::UINT16,
                        kFramePixel, OIIO::AutoStride, OIIO::AutoStride, pixels.data, pixels.type, OIIO::AutoStride,
                        OIIO::AutoStride, OIIO::AutoStride);
}
