#include "image/ImageFiles.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <vector>

#include "Failure.h"
#include "files/FileError.h"
#include "files/WholeFile.h"
#include "image/Metadata.h"
#include "image/Premultiply.h"
#include "image/io/ChannelPlan.h"
#include "image/io/InputChecks.h"
#include "image/io/LibraryMessages.h"
#include "image/io/Encode.h"

namespace {

constexpr int kPngFilterNone = 8;
constexpr int kPngFilterSub = 16;

// The kinds of file veldra writes, each tested for complete, same-bytes
// output; the library's other writers are refused rather than trusted.
const char* const kWrittenFormats[] = {"png", "tiff", "openexr", "dpx", "jpeg"};
const char* const kWrittenFormatsInWords =
    "veldra writes PNG, TIFF, OpenEXR, DPX and JPEG (.png, .tif, .tiff, .exr, .dpx, .jpg, .jpeg)";

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

// The picture in `path` as ReadImage describes it, with the channels it
// leaves out in `plan`; the library's own messages go into the failure.
LoadedImage ReadPicture(const std::string& path, ChannelPlan& plan)
{
    const std::uint64_t fileSize = CheckInputFile(path);
    CheckPngChunks(path, fileSize);
    LibraryMessages messages;
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(path, &config);
    if (!input)
        throw Failure(path +
                      ": not an image that can be read: " + messages.OneLine(OIIO::geterror(), "no reader knows it"));

    const OIIO::ImageSpec& header = input->spec();
    LoadedImage image;
    image.format = input->format_name();
    CheckPictureSize(path, header, image.format, fileSize);
    image.compression = header.get_string_attribute("compression");
    image.header = header;
    plan = ChannelPlan::For(header);
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
        throw Failure(path + ": truncated or corrupt: " + messages.OneLine(error, "the pixels could not all be read"));
    input->close();
    return image;
}

// Straight colour multiplied by alpha, for formats that only hold
// associated alpha.
Frame Premultiplied(const Frame& frame)
{
    Frame result = Frame::Make(frame.Width(), frame.Height());
    const std::size_t count = frame.PixelCount();
    for (std::size_t i = 0; i < count; ++i) {
        const BMM_Color_64& p = frame.pixels[i];
        result.pixels[i] = {Premultiply(p.r, p.a), Premultiply(p.g, p.a), Premultiply(p.b, p.a), p.a};
    }
    return result;
}

}  // namespace

LoadedImage ReadImage(const std::string& path)
{
    ChannelPlan plan;
    LoadedImage image = ReadPicture(path, plan);
    WarnAboutDroppedChannels(path, plan);
    return image;
}

namespace {

std::unique_ptr<OIIO::ImageOutput> CreateWriter(const std::string& path)
{
    auto output = OIIO::ImageOutput::create(path);
    OIIO::geterror();  // a refused name leaves an error we replace by ours
    const auto end = std::end(kWrittenFormats);
    if (!output || std::find(std::begin(kWrittenFormats), end, std::string(output->format_name())) == end)
        throw Failure(path + ": cannot write this kind of file; " + kWrittenFormatsInWords);
    return output;
}

}  // namespace

void CheckWritableFormat(const std::string& path) { CreateWriter(path); }

namespace {

OIIO::TypeDesc TypeOf(ChannelFormat format)
{
    switch (format) {
    case ChannelFormat::UInt8: return OIIO::TypeDesc::UINT8;
    case ChannelFormat::Half: return OIIO::TypeDesc::HALF;
    case ChannelFormat::Float: return OIIO::TypeDesc::FLOAT;
    case ChannelFormat::UInt16: break;
    }
    return OIIO::TypeDesc::UINT16;
}

// The chosen format, else the source's own where it is one of ours (a
// double picture becomes float, other integers 16-bit), else 16-bit.
OIIO::TypeDesc OutputType(const WriteSettings& settings)
{
    if (settings.depth)
        return TypeOf(*settings.depth);
    if (!settings.source)
        return OIIO::TypeDesc::UINT16;
    const OIIO::TypeDesc input = settings.source->header.format;
    if (input.basetype == OIIO::TypeDesc::UINT8 || input.basetype == OIIO::TypeDesc::HALF ||
        input.basetype == OIIO::TypeDesc::FLOAT)
        return input;
    return input.basetype == OIIO::TypeDesc::DOUBLE ? OIIO::TypeDesc::FLOAT : OIIO::TypeDesc::UINT16;
}

// The frame's values for `colours` (1: grey from red, 3: red, green, blue)
// and, when `alpha`, the alpha after them.
std::vector<std::uint16_t> PackChannels(const Frame& frame, int colours, bool alpha)
{
    const int channels = colours + (alpha ? 1 : 0);
    std::vector<std::uint16_t> values(frame.PixelCount() * channels);
    std::uint16_t* v = values.data();
    for (std::size_t i = 0; i < frame.PixelCount(); ++i) {
        const BMM_Color_64& p = frame.pixels[i];
        *v++ = p.r;
        if (colours == 3) {
            *v++ = p.g;
            *v++ = p.b;
        }
        if (alpha)
            *v++ = p.a;
    }
    return values;
}

}  // namespace

WriteOutcome WriteImage(const std::string& path, const Frame& frame, const WriteSettings& settings)
{
    auto output = CreateWriter(path);
    const LoadedImage* source = settings.source;
    const std::string format = output->format_name();

    WriteOutcome outcome;
    const bool canHoldAlpha = output->supports("alpha");
    const bool keepsAlpha = !source || source->hasAlpha;
    // The pixels are scanned only when they decide whether alpha is written
    // or reported lost.
    const bool transparent = !(canHoldAlpha && keepsAlpha) && !frame.IsOpaque();
    const bool alpha = canHoldAlpha && (keepsAlpha || transparent);
    outcome.alphaDropped = !canHoldAlpha && transparent;
    const int colours = source && source->grey ? 1 : 3;
    const int channels = colours + (alpha ? 1 : 0);

    OIIO::ImageSpec header(frame.Width(), frame.Height(), channels, OutputType(settings));
    if (source)
        CarryFileDetails(source->header, header, format);
    header.channelnames = colours == 1 ? std::vector<std::string>{"Y"} : std::vector<std::string>{"R", "G", "B"};
    if (alpha)
        header.channelnames.push_back("A");
    header.alpha_channel = alpha ? colours : -1;
    // Writers that store straight alpha convert from what the frame holds
    // (PNG divides associated colour by alpha); TIFF labels it; OpenEXR
    // holds associated alpha only, and is given that.
    const bool associated = source && source->associatedAlpha;
    const bool premultiply = alpha && format == "openexr" && !associated;
    header.attribute("oiio:UnassociatedAlpha", associated || premultiply ? 0 : 1);
    // The source's own date, or none: never the time of writing, which
    // writers stamp when not given one.
    header.attribute("DateTime", source ? std::string(source->header.get_string_attribute("DateTime")) : std::string());
    // A 10- or 12-bit file keeps its depth unless another was asked for.
    if (source && !settings.depth && format == source->format) {
        const int bits = source->header.get_int_attribute("oiio:BitsPerSample", 0);
        if (bits > 0)
            header.attribute("oiio:BitsPerSample", bits);
    }
    if (format == "png") {
        // Rows filtered by their left neighbour compress well and fast; at
        // level 0 nothing is compressed, so filtering would be wasted work.
        const int level = settings.pngLevel.value_or(kDefaultPngLevel);
        header.attribute("png:compressionLevel", level);
        header.attribute("png:filter", level == 0 ? kPngFilterNone : kPngFilterSub);
    } else if (source && format == source->format && !source->compression.empty())
        header.attribute("compression", source->compression);

    // RGBA goes straight from the frame; other layouts are packed first.
    const Frame premultiplied = premultiply ? Premultiplied(frame) : Frame{};
    const Frame& values = premultiply ? premultiplied : frame;
    std::vector<std::uint16_t> packed;
    const void* pixels = values.pixels;
    OIIO::stride_t stride = sizeof(BMM_Color_64);
    if (channels != 4) {
        packed = PackChannels(values, colours, alpha);
        pixels = packed.data();
        stride = OIIO::AutoStride;
    }
    const std::vector<unsigned char> encoded = EncodeInMemory(*output, path, header, pixels, stride);
    output.reset();
    try {
        ReplaceFileContents(path, encoded.data(), encoded.size());
    } catch (const FileError& error) {
        throw Failure(error.what());
    }
    return outcome;
}

bool IsPngPath(const std::string& path)
{
    const std::string name = std::filesystem::path(path).filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return extension == "png";
}
