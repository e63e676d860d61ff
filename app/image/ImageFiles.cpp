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
            p = {v[0], v[1], v[2], 0xFFFF};
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
    image.frame = Frame::Make(static_cast<std::uint16_t>(header.width), static_cast<std::uint16_t>(header.height));

    bool read = false;
    if (header.nchannels >= 4) {
        // The first four channels are red, green, blue and alpha.
        read = input->read_image(0, 0, 0, 4, OIIO::TypeDesc::UINT16, image.frame.pixels);
    } else {
        std::vector<std::uint16_t> values(image.frame.PixelCount() * header.nchannels);
        read = input->read_image(0, 0, 0, header.nchannels, OIIO::TypeDesc::UINT16, values.data());
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

void WriteImage(const std::string& path, const Frame& frame, const WriteSettings& settings)
{
    auto output = CreateWriter(path);

    const bool alpha = output->supports("alpha");
    OIIO::ImageSpec header(frame.Width(), frame.Height(), alpha ? 4 : 3, OIIO::TypeDesc::UINT16);
    header.alpha_channel = alpha ? 3 : -1;
    // The pixels carry straight alpha: the writer must not divide by it.
    header.attribute("oiio:UnassociatedAlpha", 1);
    const std::string format = output->format_name();
    if (format == "png") {
        // Rows filtered by their left neighbour compress well and fast; at
        // level 0 nothing is compressed, so filtering would be wasted work.
        const int level = settings.pngLevel.value_or(kDefaultPngLevel);
        header.attribute("png:compressionLevel", level);
        header.attribute("png:filter", level == 0 ? kPngFilterNone : kPngFilterSub);
    }
    else if (format == settings.inputFormat && !settings.inputCompression.empty())
        header.attribute("compression", settings.inputCompression);

    PendingFile pending(path);
    const auto stride = static_cast<OIIO::stride_t>(sizeof(BMM_Color_64));
    if (!output->open(pending.TempPath(), header) ||
        !output->write_image(OIIO::TypeDesc::UINT16, frame.pixels, stride) || !output->close())
        throw Failure(path + ": cannot write: " + OneLine(output->geterror()));
    pending.Commit();
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
