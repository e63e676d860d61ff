#include "image/io/DataChannels.h"

#include <OpenImageIO/half.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "image/PixelArrays.h"
#include "image/io/LibraryHeaders.h"
#include "image/io/ReadRows.h"
#include "messages/Failure.h"

namespace {

using Kind = ChannelRange::Kind;

constexpr std::size_t kFramePixel = sizeof(BMM_Color_64);

bool IsFloating(OIIO::TypeDesc type)
{
    return type.basetype == OIIO::TypeDesc::HALF || type.basetype == OIIO::TypeDesc::FLOAT ||
           type.basetype == OIIO::TypeDesc::DOUBLE;
}

bool IsNarrowUnsigned(OIIO::TypeDesc type)
{
    return type.basetype == OIIO::TypeDesc::UINT8 || type.basetype == OIIO::TypeDesc::UINT16;
}

// One value in the library's format `type` at `at`, as a double.
double ValueAt(const unsigned char* at, OIIO::TypeDesc type)
{
    switch (type.basetype) {
    case OIIO::TypeDesc::UINT8: return *at;
    case OIIO::TypeDesc::INT8: return static_cast<std::int8_t>(*at);
    default: break;
    }
    const auto read = [at](auto value) {
        std::memcpy(&value, at, sizeof value);
        return static_cast<double>(value);
    };
    switch (type.basetype) {
    case OIIO::TypeDesc::UINT16: return read(std::uint16_t{});
    case OIIO::TypeDesc::INT16: return read(std::int16_t{});
    case OIIO::TypeDesc::UINT32: return read(std::uint32_t{});
    case OIIO::TypeDesc::INT32: return read(std::int32_t{});
    case OIIO::TypeDesc::HALF: return read(half{});
    case OIIO::TypeDesc::FLOAT: return read(float{});
    case OIIO::TypeDesc::DOUBLE: return read(double{});
    default: return 0;
    }
}

// The range a channel of `type` with these values needs.
ChannelRange RangeOf(OIIO::TypeDesc type, const std::vector<double>& values)
{
    double least = 0, most = 0;
    bool any = false;
    for (const double value : values) {
        if (!std::isfinite(value))
            continue;
        least = any ? std::min(least, value) : value;
        most = any ? std::max(most, value) : value;
        any = true;
    }
    ChannelRange range;
    if (IsNarrowUnsigned(type))
        return range;
    if (IsFloating(type)) {
        if (least >= 0 && most <= 1)
            return range;
        range.kind = Kind::Scaled;
        range.low = std::min(least, 0.0);
        range.high = std::max(most, 1.0);
        return range;
    }
    if (least >= 0 && most <= 65535 &&
        std::all_of(values.begin(), values.end(), [](double v) { return v == std::floor(v); })) {
        range.kind = Kind::Counted;
        return range;
    }
    range.kind = Kind::Scaled;
    range.low = std::min(least, 0.0);
    range.high = std::max(most, 65535.0);
    return range;
}

// The 16-bit step that stands for `value` in `range` (Counted or Scaled).
std::uint16_t StepOf(double value, const ChannelRange& range)
{
    if (std::isnan(value))
        return 0;
    const double step = range.kind == Kind::Counted ? value : (value - range.low) / (range.high - range.low) * 65535;
    return static_cast<std::uint16_t>(std::clamp(std::floor(step + 0.5), 0.0, 65535.0));
}

// `value` in the library's format `type` at `at`, rounded and kept within
// the format where it is whole numbers.
void PutValue(double value, OIIO::TypeDesc type, unsigned char* at)
{
    const auto write = [at, value](auto typed) {
        using Type = decltype(typed);
        if constexpr (std::is_integral_v<Type>)
            typed = static_cast<Type>(std::clamp(std::floor(value + 0.5),
                                                 static_cast<double>(std::numeric_limits<Type>::lowest()),
                                                 static_cast<double>(std::numeric_limits<Type>::max())));
        else
            typed = static_cast<Type>(value);
        std::memcpy(at, &typed, sizeof typed);
    };
    switch (type.basetype) {
    case OIIO::TypeDesc::UINT8: write(std::uint8_t{}); break;
    case OIIO::TypeDesc::INT8: write(std::int8_t{}); break;
    case OIIO::TypeDesc::UINT16: write(std::uint16_t{}); break;
    case OIIO::TypeDesc::INT16: write(std::int16_t{}); break;
    case OIIO::TypeDesc::UINT32: write(std::uint32_t{}); break;
    case OIIO::TypeDesc::INT32: write(std::int32_t{}); break;
    case OIIO::TypeDesc::HALF: write(half{}); break;
    case OIIO::TypeDesc::DOUBLE: write(double{}); break;
    default: write(float{}); break;
    }
}

}  // namespace

ChannelGroup ReadChannelGroup(OIIO::ImageInput& input, int subimage, const OIIO::ImageSpec& header,
                              const std::vector<int>& channels, const Frame& picture, const std::string& path)
{
    const int first = channels.front(), end = channels.back() + 1;
    const std::size_t pixels = picture.PixelCount();
    // Each channel's place within a pixel as the reader packs the span.
    std::vector<std::size_t> offsets(channels.size());
    for (std::size_t k = 0; k < channels.size(); ++k)
        for (int c = first; c < channels[k]; ++c)
            offsets[k] += header.channelformat(c).size();
    const std::size_t pixelBytes = header.pixel_bytes(first, end, true);

    std::vector<std::vector<double>> values(channels.size(), std::vector<double>(pixels));
    const int bandRows = BandRows(header);
    std::vector<unsigned char> band(pixelBytes * header.width * bandRows);
    for (int top = 0; top < header.height; top += bandRows) {
        const int rows = std::min(bandRows, header.height - top);
        if (!ReadRows(input, subimage, header, top, rows, first, end, OIIO::TypeUnknown, band.data()))
            throw FileError(path, "truncated or corrupt: " + input.geterror());
        const std::size_t start = static_cast<std::size_t>(top) * header.width;
        for (std::size_t k = 0; k < channels.size(); ++k) {
            const OIIO::TypeDesc type = header.channelformat(channels[k]);
            for (std::size_t i = 0; i < static_cast<std::size_t>(rows) * header.width; ++i)
                values[k][start + i] = ValueAt(&band[i * pixelBytes + offsets[k]], type);
        }
    }

    ChannelGroup group;
    group.channels = channels;
    group.frame = Frame::Make(picture.Width(), picture.Height());
    for (std::size_t i = 0; i < pixels; ++i)
        group.frame.pixels[i] = {0, 0, 0, picture.pixels[i].a};
    for (std::size_t k = 0; k < channels.size(); ++k) {
        const OIIO::TypeDesc type = header.channelformat(channels[k]);
        ChannelRange& range = group.ranges[k];
        range = RangeOf(type, values[k]);
        std::uint16_t* out = &group.frame.pixels[0].r + k;
        if (range.kind != Kind::Normalized) {
            for (std::size_t i = 0; i < pixels; ++i)
                out[i * 4] = StepOf(values[k][i], range);
        } else if (IsFloating(type)) {
            // As a picture's colour: through the library's own conversion.
            const std::vector<float> floats(values[k].begin(), values[k].end());
            bool clamped = false;
            FloatsToSixteenBits(floats.data(), 1, picture.Width(), picture.Height(), out, kFramePixel, clamped);
        } else {
            for (std::size_t i = 0; i < pixels; ++i)
                out[i * 4] = static_cast<std::uint16_t>(type.basetype == OIIO::TypeDesc::UINT8 ? values[k][i] * 257
                                                                                               : values[k][i]);
        }
    }
    return group;
}

void StoreGroupChannel(const ChannelGroup& group, int index, OIIO::TypeDesc type, unsigned char* out,
                       std::size_t stride)
{
    const ChannelRange& range = group.ranges[index];
    const std::size_t pixels = group.frame.PixelCount();
    const std::uint16_t* steps = &group.frame.pixels[0].r + index;
    if (range.kind == Kind::Normalized) {
        OIIO::convert_image(1, group.frame.Width(), group.frame.Height(), 1, steps, OIIO::TypeDesc::UINT16, kFramePixel,
                            kFramePixel * group.frame.Width(), OIIO::AutoStride, out, type,
                            static_cast<OIIO::stride_t>(stride),
                            static_cast<OIIO::stride_t>(stride) * group.frame.Width(), OIIO::AutoStride);
        return;
    }
    const double step = (range.high - range.low) / 65535;
    for (std::size_t i = 0; i < pixels; ++i) {
        const double value = group.frame.pixels[i].a == 0  ? 0
                             : range.kind == Kind::Counted ? steps[i * 4]
                                                           : range.low + steps[i * 4] * step;
        PutValue(value, type, out + i * stride);
    }
}

void PackChannels(const PictureHeader& header, const Frame& values, int channels, int colours,
                  const LoadedImage& source, std::vector<unsigned char>& native)
{
    const OIIO::ImageSpec libraryHeader = LibraryHeaderOf(header);
    const std::size_t pixelBytes = libraryHeader.pixel_bytes(true);
    native.resize(pixelBytes * values.PixelCount());
    unsigned char* at = native.data();
    const auto next = [&](int channel) {
        unsigned char* start = at;
        at += libraryHeader.channelformat(channel).size();
        return start;
    };
    for (int channel = 0; channel < channels; ++channel) {
        const int frameChannel = channel < colours ? channel : 3;
        OIIO::convert_image(1, values.Width(), values.Height(), 1, &values.pixels[0].r + frameChannel,
                            OIIO::TypeDesc::UINT16, kFramePixel, kFramePixel * values.Width(), OIIO::AutoStride,
                            next(channel), libraryHeader.channelformat(channel),
                            static_cast<OIIO::stride_t>(pixelBytes),
                            static_cast<OIIO::stride_t>(pixelBytes) * values.Width(), OIIO::AutoStride);
    }
    int channel = channels;
    for (const ChannelGroup& group : source.groups)
        for (std::size_t k = 0; k < group.channels.size(); ++k, ++channel)
            StoreGroupChannel(group, static_cast<int>(k), libraryHeader.channelformat(channel), next(channel),
                              pixelBytes);
}
