#include "image/ImageFiles.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

#include "Failure.h"
#include "files/SafeFile.h"
#include "image/Metadata.h"

namespace {

constexpr int kMaxSide = 65535;  // the host's bitmap sizes are 16-bit
constexpr int kPngFilterNone = 8;
constexpr int kPngFilterSub = 16;

// The library's messages may run over several lines; ours are one line.
std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text.empty() ? "unknown error" : text;
}

// Spreads `channels` 16-bit values per pixel over RGBA: grey fills red,
// green and blue; a missing alpha is opaque.
void ExpandToRgba(const std::vector<std::uint16_t>& values, int channels, Frame& frame)
{
    const std::size_t count = frame.PixelCount();
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t* v = &values[i * channels];
        BMM_Color_64& p = frame.pixels[i];
        if (channels <= 2) {
            p = {v[0], v[0], v[0], channels == 2 ? v[1] : std::uint16_t{0xFFFF}};
        } else {
            p = {v[0], v[1], v[2], channels == 4 ? v[3] : std::uint16_t{0xFFFF}};
        }
    }
}

void ThrowIfMissing(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        throw Failure(path + ": cannot open: " + std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        throw Failure(path + ": is a folder, not an image");
}

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
    ThrowIfMissing(path);
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(path, &config);
    if (!input)
        throw Failure(path + ": not an image that can be read: " + OneLine(OIIO::geterror()));

    const OIIO::ImageSpec& header = input->spec();
    if (header.width > kMaxSide || header.height > kMaxSide)
        throw Failure(path + ": the picture is " + std::to_string(header.width) + " x " + std::to_string(header.height) +
                      "; frames are at most 65535 x 65535");
    if (header.width < 1 || header.height < 1 || header.depth > 1 || header.nchannels < 1)
        throw Failure(path + ": not a flat picture with pixels (" + std::to_string(header.width) + " x " +
                      std::to_string(header.height) + ", " + std::to_string(header.nchannels) + " channels)");

    LoadedImage image;
    image.format = input->format_name();
    image.compression = header.get_string_attribute("compression");
    image.header = header;
    image.grey = header.nchannels <= 2;
    image.hasAlpha = header.nchannels == 2 || header.nchannels >= 4;
    image.frame = Frame::Make(static_cast<std::uint16_t>(header.width), static_cast<std::uint16_t>(header.height));

    bool read = false;
    if (header.nchannels >= 4) {
        // The first four channels are red, green, blue and alpha.
        read = ReadChannels(*input, 4, &image.frame.pixels[0].r, image.clamped);
    } else {
        std::vector<std::uint16_t> values(image.frame.PixelCount() * header.nchannels);
        read = ReadChannels(*input, header.nchannels, values.data(), image.clamped);
        if (read)
            ExpandToRgba(values, header.nchannels, image.frame);
    }
    if (!read)
        throw Failure(path + ": truncated or corrupt: " + OneLine(input->geterror()));
    input->close();
    return image;
}

namespace {

std::unique_ptr<OIIO::ImageOutput> CreateWriter(const std::string& path)
{
    auto output = OIIO::ImageOutput::create(path);
    if (!output)
        throw Failure(path + ": cannot write this kind of file: " + OneLine(OIIO::geterror()));
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

bool IsOpaque(const Frame& frame)
{
    return std::all_of(frame.pixels, frame.pixels + frame.PixelCount(), [](const BMM_Color_64& p) { return p.a == 0xFFFF; });
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
    const bool opaque = IsOpaque(frame);
    const bool alpha = output->supports("alpha") && (!source || source->hasAlpha || !opaque);
    outcome.alphaDropped = !output->supports("alpha") && !opaque;
    const int colours = source && source->grey ? 1 : 3;
    const int channels = colours + (alpha ? 1 : 0);

    OIIO::ImageSpec header(frame.Width(), frame.Height(), channels, OutputType(settings));
    if (source)
        CarryFileDetails(source->header, header, format);
    header.channelnames = colours == 1 ? std::vector<std::string>{"Y"} : std::vector<std::string>{"R", "G", "B"};
    if (alpha)
        header.channelnames.push_back("A");
    header.alpha_channel = alpha ? colours : -1;
    // The pixels carry straight alpha: the writer must not divide by it.
    header.attribute("oiio:UnassociatedAlpha", 1);
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
    }
    else if (source && format == source->format && !source->compression.empty())
        header.attribute("compression", source->compression);

    // RGBA goes straight from the frame; other layouts are packed first.
    std::vector<std::uint16_t> packed;
    const void* pixels = frame.pixels;
    OIIO::stride_t stride = sizeof(BMM_Color_64);
    if (channels != 4) {
        packed = PackChannels(frame, colours, alpha);
        pixels = packed.data();
        stride = OIIO::AutoStride;
    }
    PendingFile pending(path);
    if (!output->open(pending.TempPath(), header) || !output->write_image(OIIO::TypeDesc::UINT16, pixels, stride) ||
        !output->close())
        throw Failure(path + ": cannot write: " + OneLine(output->geterror()));
    pending.Commit();
    return outcome;
}

bool IsPngPath(const std::string& path)
{
    const std::string name = std::filesystem::path(path).filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    return extension == "png";
}
