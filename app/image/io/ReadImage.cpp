#include "image/ImageFiles.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <vector>

#include "image/io/ChannelPlan.h"
#include "files/WholeFile.h"
#include "image/io/InputChecks.h"
#include "messages/Failure.h"
#include "messages/LibraryMessages.h"

namespace {

bool IsFloat(OIIO::TypeDesc type)
{
    return type.basetype == OIIO::TypeDesc::FLOAT || type.basetype == OIIO::TypeDesc::HALF ||
           type.basetype == OIIO::TypeDesc::DOUBLE;
}

// Reads the first `channels` channels as 16-bit values into `out`. Float
// pictures are read as float first, to find values the 16-bit frame must
// clamp, then converted as the library converts.
bool ReadChannels(OIIO::ImageInput& input, int channels, std::uint16_t* out, bool& clamped)
{
    const OIIO::ImageSpec& header = input.spec();
    if (!IsFloat(header.format))
        return input.read_image(0, 0, 0, channels, OIIO::TypeDesc::UINT16, out);
    std::vector<float> values(static_cast<std::size_t>(header.width) * header.height * channels);
    if (!input.read_image(0, 0, 0, channels, OIIO::TypeDesc::FLOAT, values.data()))
        return false;
    clamped = std::any_of(values.begin(), values.end(), [](float v) { return !(v >= 0.0f && v <= 1.0f); });
    return OIIO::convert_image(channels, header.width, header.height, 1, values.data(), OIIO::TypeDesc::FLOAT,
                               OIIO::AutoStride, OIIO::AutoStride, OIIO::AutoStride, out, OIIO::TypeDesc::UINT16,
                               OIIO::AutoStride, OIIO::AutoStride, OIIO::AutoStride);
}

}  // namespace

LoadedImage ReadImage(const std::string& path)
{
    // Only a regular file is opened: a FIFO or a device would keep the
    // reader waiting.
    const std::uint64_t fileSize = RegularFileSize(path);
    const int pngBits = CheckPngChunks(path, fileSize);
    LibraryMessages messages;
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(path, &config);
    if (!input)
        throw Failure(path,
                      "not an image that can be read: " + messages.OneLine(OIIO::geterror(), "no reader knows it"));

    const OIIO::ImageSpec& header = input->spec();
    LoadedImage image;
    image.format = input->format_name();
    CheckPictureSize(path, header, image.format, fileSize, pngBits);
    image.compression = header.get_string_attribute("compression");
    image.header = header;
    const ChannelPlan plan = ChannelPlan::For(header);
    image.droppedChannels = plan.DroppedWarning(path);
    image.grey = plan.source[0] == plan.source[1] && plan.source[1] == plan.source[2];
    image.hasAlpha = plan.source[3] >= 0;
    // With the hint above, the library leaves straight alpha as stored and
    // says so; any other alpha is associated, as stored.
    image.associatedAlpha = image.hasAlpha && header.get_int_attribute("oiio:UnassociatedAlpha") == 0;
    image.frame = Frame::Make(static_cast<std::uint16_t>(header.width), static_cast<std::uint16_t>(header.height));

    bool read = false;
    if (plan.IsRgbaInOrder()) {
        read = ReadChannels(*input, 4, &image.frame.pixels[0].r, image.clamped);
    } else {
        const int stride = plan.Highest() + 1;
        std::vector<std::uint16_t> values(image.frame.PixelCount() * stride);
        read = ReadChannels(*input, stride, values.data(), image.clamped);
        if (read)
            plan.Spread(values, stride, image.frame);
    }
    // Readers of cut files may fill the missing rows and only leave an
    // error behind (JPEG, TIFF strips): any error means a damaged picture.
    const std::string error = input->geterror();
    if (!read || !error.empty())
        throw Failure(path, "truncated or corrupt: " + messages.OneLine(error, "the pixels could not all be read"));
    input->close();
    return image;
}
