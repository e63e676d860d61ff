#include "image/io/LibraryRead.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <vector>

#include "image/PixelArrays.h"
#include "image/io/ChannelPlan.h"
#include "image/io/DataChannels.h"
#include "image/io/DescribePicture.h"
#include "image/io/LibraryHeaders.h"
#include "image/io/ReadRows.h"
#include "messages/Failure.h"
#include "messages/LibraryMessages.h"

namespace {

bool IsFloat(OIIO::TypeDesc type)
{
    return type.basetype == OIIO::TypeDesc::FLOAT || type.basetype == OIIO::TypeDesc::HALF ||
           type.basetype == OIIO::TypeDesc::DOUBLE;
}

// Whether channels 0 .. channels - 1 are all half.
bool AllHalf(const OIIO::ImageSpec& header, int channels)
{
    for (int channel = 0; channel < channels; ++channel)
        if (header.channelformat(channel) != OIIO::TypeDesc::HALF)
            return false;
    return true;
}

// Fills the frame's pixels from picture `subimage`, band by band: straight
// into the frame when the file's first four channels are its own, else
// through the plan. Float pictures are read as float, to find values the
// 16-bit frame must clamp, then converted as the library converts; half
// values are read as they are stored and converted to the same values
// through a table, much faster.
bool ReadPixels(OIIO::ImageInput& input, int subimage, const OIIO::ImageSpec& header, const ChannelPlan& plan,
                Frame& frame, bool& clamped)
{
    const bool direct = plan.IsRgbaInOrder();
    const int channels = direct ? 4 : plan.Highest() + 1;
    const bool isHalf = AllHalf(header, channels);
    const bool isFloat = IsFloat(header.format) && !isHalf;
    const int bandRows = BandRows(header);
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
            if (!ReadRows(input, subimage, header, first, rows, 0, channels, OIIO::TypeDesc::HALF, out))
                return false;
            HalvesToSixteenBits(out, static_cast<std::size_t>(rows) * header.width * channels, bandClamped);
            clamped = clamped || bandClamped;
        } else if (isFloat) {
            bool bandClamped = false;
            if (!ReadRows(input, subimage, header, first, rows, 0, channels, OIIO::TypeDesc::FLOAT, floats.data()) ||
                !FloatsToSixteenBits(floats.data(), channels, header.width, rows, out, OIIO::AutoStride, bandClamped))
                return false;
            clamped = clamped || bandClamped;
        } else if (!ReadRows(input, subimage, header, first, rows, 0, channels, OIIO::TypeDesc::UINT16, out)) {
            return false;
        }
        if (!direct)
            plan.Spread(values.data(), channels, pixels, static_cast<std::size_t>(rows) * header.width);
    }
    return true;
}

// How many pictures the file holds, by the library's counting: pictures
// (EXR parts, TIFF pages, GIF frames) or, with `levels`, MIP-map levels of
// the first. Leaves the reader on the first.
int CountOf(OIIO::ImageInput& input, bool levels)
{
    int count = 1;
    while (levels ? input.seek_subimage(0, count) : input.seek_subimage(count, 0))
        ++count;
    input.seek_subimage(0, 0);
    // The seek past the last picture leaves an error behind, which would
    // later read as damage.
    input.geterror();
    return count;
}

// Refuses, naming it, what the file holds that a frame cannot carry,
// rather than turning less of it.
void RefuseWhatIsNotCarried(OIIO::ImageInput& input, const std::string& path, const std::string& format)
{
    if (format == "ffmpeg")
        throw FileError(path, "is a movie; give it as INPUT on its own, not as a frame of a pattern");
    if (const int levels = CountOf(input, true); levels > 1)
        throw FileError(
            path, "holds " + std::to_string(levels) + " MIP-map levels; veldra turns a picture of " + "one level only");
}

// Picture `subimage` of the file, its header checked before its pixels are
// allocated.
LoadedImage ReadPicture(OIIO::ImageInput& input, int subimage, const std::string& path, std::uint64_t fileSize,
                        int pngBits, LibraryMessages& messages)
{
    if (!input.seek_subimage(subimage, 0))
        throw FileError(path, "truncated or corrupt: " + messages.OneLine(input.geterror(), "a part cannot be read"));
    const OIIO::ImageSpec header = input.spec();
    if (header.deep)
        throw FileError(path, "a deep picture (several samples a pixel); veldra turns flat pictures only");
    LoadedImage image = DescribePicture(path, HeaderOf(header), input.format_name(), fileSize, pngBits);
    const ChannelPlan plan = ChannelPlan::For(image.header);
    const bool read = ReadPixels(input, subimage, header, plan, image.frame, image.clamped);
    // Readers of cut files may fill the missing rows and only leave an
    // error behind (JPEG, TIFF strips): any error means a damaged picture.
    const std::string error = input.geterror();
    if (!read || !error.empty())
        throw FileError(path, "truncated or corrupt: " + messages.OneLine(error, "the pixels could not all be read"));
    for (const std::vector<int>& channels : plan.groups)
        image.groups.push_back(ReadChannelGroup(input, subimage, header, channels, image.frame, path));
    return image;
}

}  // namespace

LoadedImage ReadWithLibrary(const std::string& path, std::uint64_t fileSize, int pngBits)
{
    LibraryMessages messages;
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(path, &config);
    if (!input)
        throw FileError(path,
                        "not an image that can be read: " + messages.OneLine(OIIO::geterror(), "no reader knows it"));
    RefuseWhatIsNotCarried(*input, path, input->format_name());
    const int pictures = CountOf(*input, false);
    LoadedImage image = ReadPicture(*input, 0, path, fileSize, pngBits, messages);
    for (int subimage = 1; subimage < pictures; ++subimage)
        image.followingParts.push_back(ReadPicture(*input, subimage, path, fileSize, pngBits, messages));
    input->close();
    return image;
}
