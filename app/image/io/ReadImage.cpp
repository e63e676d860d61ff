#include "image/ImageFiles.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <vector>

#include "image/PixelArrays.h"
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

// Fills the frame's pixels from the picture, band by band: straight into
// the frame when the file's first four channels are its own, else through
// the plan. Float pictures are read as float, to find values the 16-bit
// frame must clamp, then converted as the library converts.
bool ReadPixels(OIIO::ImageInput& input, const OIIO::ImageSpec& header, const ChannelPlan& plan, Frame& frame,
                bool& clamped)
{
    const bool direct = plan.IsRgbaInOrder();
    const int channels = direct ? 4 : plan.Highest() + 1;
    const bool isFloat = IsFloat(header.format);
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
        if (isFloat) {
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

// How many pictures the file holds beyond its first, by the library's
// counting: `subimages` (EXR parts, TIFF pages, GIF frames) or `levels`
// (MIP-map levels of the first picture). Leaves the reader on the first.
int CountOf(OIIO::ImageInput& input, bool levels)
{
    int count = 1;
    while (levels ? input.seek_subimage(0, count) : input.seek_subimage(count, 0))
        ++count;
    input.seek_subimage(0, 0);
    return count;
}

// Refuses, naming it, what the file holds that a frame cannot carry,
// rather than turning its first picture alone.
void RefuseWhatIsNotCarried(OIIO::ImageInput& input, const std::string& path, const std::string& format)
{
    if (format == "ffmpeg")
        throw FileError(path, "is a movie; give it as INPUT on its own, not as a frame of a pattern");
    if (input.spec().deep)
        throw FileError(path, "a deep picture (several samples a pixel); veldra turns flat pictures only");
    if (const int parts = CountOf(input, false); parts > 1)
        throw FileError(path, "holds " + std::to_string(parts) + " pictures (parts, pages or frames); veldra " +
                                  "would turn the first alone, so it turns none");
    if (const int levels = CountOf(input, true); levels > 1)
        throw FileError(
            path, "holds " + std::to_string(levels) + " MIP-map levels; veldra turns a picture of " + "one level only");
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
        throw FileError(path,
                        "not an image that can be read: " + messages.OneLine(OIIO::geterror(), "no reader knows it"));

    LoadedImage image;
    image.format = input->format_name();
    RefuseWhatIsNotCarried(*input, path, image.format);
    const OIIO::ImageSpec& header = input->spec();
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

    const bool read = ReadPixels(*input, header, plan, image.frame, image.clamped);
    // Readers of cut files may fill the missing rows and only leave an
    // error behind (JPEG, TIFF strips): any error means a damaged picture.
    const std::string error = input->geterror();
    if (!read || !error.empty())
        throw FileError(path, "truncated or corrupt: " + messages.OneLine(error, "the pixels could not all be read"));
    input->close();
    return image;
}
