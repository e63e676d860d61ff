#include "image/ImageFiles.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "image/PixelArrays.h"
#include "image/io/ChannelPlan.h"
#include "files/WholeFile.h"
#include "image/io/InputChecks.h"
#include "image/png/DirectPngReader.h"
#include "messages/Failure.h"
#include "messages/LibraryMessages.h"

namespace {

bool IsFloat(OIIO::TypeDesc type)
{
    return type.basetype == OIIO::TypeDesc::FLOAT || type.basetype == OIIO::TypeDesc::HALF ||
           type.basetype == OIIO::TypeDesc::DOUBLE;
}

// Rows asked of the reader at a time. The library converts through buffers
// the size of what it is asked for: a whole frame at once would hold two
// more frames' worth while it reads, a band only a few rows.
constexpr int kBandRows = 64;

// Rows [first, first + rows) of channels 0 .. channels - 1 as `type`;
// a tiled picture is read by whole rows of tiles.
bool ReadRows(OIIO::ImageInput& input, const OIIO::ImageSpec& header, int first, int rows, int channels,
              OIIO::TypeDesc type, void* out)
{
    const int top = header.y + first;
    if (header.tile_width > 0)
        return input.read_tiles(0, 0, header.x, header.x + header.width, top, top + rows, header.z, header.z + 1, 0,
                                channels, type, out);
    return input.read_scanlines(0, 0, top, top + rows, header.z, 0, channels, type, out);
}

// Whether channels 0 .. channels - 1 are all half.
bool AllHalf(const OIIO::ImageSpec& header, int channels)
{
    for (int channel = 0; channel < channels; ++channel)
        if (header.channelformat(channel) != OIIO::TypeDesc::HALF)
            return false;
    return true;
}

// Fills the frame's pixels from the picture, band by band: straight into
// the frame when the file's first four channels are its own, else through
// the plan. Float pictures are read as float, to find values the 16-bit
// frame must clamp, then converted as the library converts; half values
// are read as they are stored and converted to the same values through a
// table, much faster.
bool ReadPixels(OIIO::ImageInput& input, const OIIO::ImageSpec& header, const ChannelPlan& plan, Frame& frame,
                bool& clamped)
{
    const bool direct = plan.IsRgbaInOrder();
    const int channels = direct ? 4 : plan.Highest() + 1;
    const bool isHalf = AllHalf(header, channels);
    const bool isFloat = IsFloat(header.format) && !isHalf;
    // Tiles come whole, so a band is a row of them.
    const int bandRows = std::min(header.height, header.tile_width > 0 ? header.tile_height : kBandRows);
    const std::size_t bandValues = static_cast<std::size_t>(header.width) * channels * bandRows;
    std::vector<std::uint16_t> values(direct ? 0 : bandValues);
    std::vector<float> floats(isFloat ? bandValues : 0);
    clamped = false;
    for (int first = 0; first < header.height; first += bandRows) {
        const int rows = std::min(bandRows, header.height - first);
        BMM_Color_64* pixels = frame.pixels + static_cast<std::size_t>(first) * header.width;
        std::uint16_t* out = direct ? &pixels->r : values.data();
        if (isHalf) {
            bool bandClamped = false;
            if (!ReadRows(input, header, first, rows, channels, OIIO::TypeDesc::HALF, out))
                return false;
            HalvesToSixteenBits(out, static_cast<std::size_t>(rows) * header.width * channels, bandClamped);
            clamped = clamped || bandClamped;
        } else if (isFloat) {
            bool bandClamped = false;
            if (!ReadRows(input, header, first, rows, channels, OIIO::TypeDesc::FLOAT, floats.data()) ||
                !FloatsToSixteenBits(floats.data(), channels, header.width, rows, out, OIIO::AutoStride, bandClamped))
                return false;
            clamped = clamped || bandClamped;
        } else if (!ReadRows(input, header, first, rows, channels, OIIO::TypeDesc::UINT16, out)) {
            return false;
        }
        if (!direct)
            plan.Spread(values.data(), channels, pixels, static_cast<std::size_t>(rows) * header.width);
    }
    return true;
}

// The frame-to-be of a picture whose reader gave `header`, checked first
// (CheckPictureSize), with what its channels mean.
LoadedImage Describe(const std::string& path, const OIIO::ImageSpec& header, const std::string& format,
                     std::uint64_t fileSize, int pngBits)
{
    CheckPictureSize(path, header, format, fileSize, pngBits);
    LoadedImage image;
    image.format = format;
    image.compression = header.get_string_attribute("compression");
    image.header = header;
    const ChannelPlan plan = ChannelPlan::For(header);
    image.droppedChannels = plan.DroppedWarning(path);
    image.grey = plan.source[0] == plan.source[1] && plan.source[1] == plan.source[2];
    image.hasAlpha = plan.source[3] >= 0;
    // With the hint the readers are given, straight alpha stays as stored
    // and is said to be; any other alpha is associated, as stored.
    image.associatedAlpha = image.hasAlpha && header.get_int_attribute("oiio:UnassociatedAlpha") == 0;
    image.frame = Frame::Make(static_cast<std::uint16_t>(header.width), static_cast<std::uint16_t>(header.height));
    return image;
}

}  // namespace

LoadedImage ReadImage(const std::string& path)
{
    // Only a regular file is opened: a FIFO or a device would keep the
    // reader waiting.
    const std::uint64_t fileSize = RegularFileSize(path);
    const int pngBits = CheckPngChunks(path, fileSize);
    // The common kinds of PNG files are read directly; whatever that reader
    // leaves, the library judges.
    if (pngBits > 0)
        if (const std::optional<DirectPngReader> png = DirectPngReader::Open(path, fileSize)) {
            LoadedImage image = Describe(path, png->Header(), "png", fileSize, pngBits);
            if (png->ReadPixels(ChannelPlan::For(image.header), image.frame))
                return image;
        }

    LibraryMessages messages;
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(path, &config);
    if (!input)
        throw FileError(path,
                        "not an image that can be read: " + messages.OneLine(OIIO::geterror(), "no reader knows it"));

    const OIIO::ImageSpec& header = input->spec();
    LoadedImage image = Describe(path, header, input->format_name(), fileSize, pngBits);
    const bool read = ReadPixels(*input, header, ChannelPlan::For(header), image.frame, image.clamped);
    // Readers of cut files may fill the missing rows and only leave an
    // error behind (JPEG, TIFF strips): any error means a damaged picture.
    const std::string error = input->geterror();
    if (!read || !error.empty())
        throw FileError(path, "truncated or corrupt: " + messages.OneLine(error, "the pixels could not all be read"));
    input->close();
    return image;
}
