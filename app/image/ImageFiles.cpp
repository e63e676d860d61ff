#include "image/ImageFiles.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <vector>

#include "Failure.h"
#include "files/FileError.h"
#include "files/WholeFile.h"
#include "image/io/ChannelPlan.h"
#include "image/io/InputChecks.h"
#include "image/io/LibraryMessages.h"
#include "image/io/MemoryOutput.h"

namespace {

constexpr int kPngFilterNone = 8;
constexpr int kPngFilterSub = 16;

// The kinds of file veldra writes, each tested for complete, same-bytes
// output; the library's other writers are refused rather than trusted.
const char* const kWrittenFormats[] = {"png", "tiff", "openexr", "dpx", "jpeg"};
const char* const kWrittenFormatsInWords =
    "veldra writes PNG, TIFF, OpenEXR, DPX and JPEG (.png, .tif, .tiff, .exr, .dpx, .jpg, .jpeg)";

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
        throw Failure(path + ": not an image that can be read: " +
                      messages.OneLine(OIIO::geterror(), "no reader knows it"));

    const OIIO::ImageSpec& header = input->spec();
    LoadedImage image;
    image.format = input->format_name();
    CheckPictureSize(path, header, image.format, fileSize);
    image.compression = header.get_string_attribute("compression");
    image.dateTime = header.get_string_attribute("DateTime");
    plan = ChannelPlan::For(header);
    // With the hint above, the library leaves straight alpha as stored and
    // says so; any other alpha is associated, as stored.
    image.associatedAlpha = plan.source[3] >= 0 && header.get_int_attribute("oiio:UnassociatedAlpha") == 0;
    image.frame = Frame::Make(static_cast<std::uint16_t>(header.width), static_cast<std::uint16_t>(header.height));

    bool read = false;
    if (plan.IsRgbaInOrder()) {
        read = input->read_image(0, 0, 0, 4, OIIO::TypeDesc::UINT16, image.frame.pixels);
    } else {
        const int stride = plan.Highest() + 1;
        std::vector<std::uint16_t> values(image.frame.PixelCount() * stride);
        read = input->read_image(0, 0, 0, stride, OIIO::TypeDesc::UINT16, values.data());
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

// Straight colour multiplied by alpha, rounded, for formats that only hold
// associated alpha.
Frame Premultiplied(const Frame& frame)
{
    Frame result = Frame::Make(frame.Width(), frame.Height());
    const std::size_t count = frame.PixelCount();
    for (std::size_t i = 0; i < count; ++i) {
        const BMM_Color_64& p = frame.pixels[i];
        const double alpha = p.a / 65535.0;
        auto scale = [&](std::uint16_t value) { return static_cast<std::uint16_t>(value * alpha + 0.5); };
        result.pixels[i] = {scale(p.r), scale(p.g), scale(p.b), p.a};
    }
    return result;
}

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

LoadedImage ReadImage(const std::string& path)
{
    ChannelPlan plan;
    LoadedImage image = ReadPicture(path, plan);
    WarnAboutDroppedChannels(path, plan);
    return image;
}

void CheckWritableFormat(const std::string& path) { CreateWriter(path); }

void WriteImage(const std::string& path, const Frame& frame, const WriteSettings& settings)
{
    auto output = CreateWriter(path);

    const bool alpha = output->supports("alpha");
    OIIO::ImageSpec header(frame.Width(), frame.Height(), alpha ? 4 : 3, OIIO::TypeDesc::UINT16);
    header.alpha_channel = alpha ? 3 : -1;
    // Writers that store straight alpha convert from what the frame holds
    // (PNG divides associated colour by alpha); TIFF labels it; OpenEXR
    // holds associated alpha only, and is given that.
    const std::string format = output->format_name();
    const bool premultiply = alpha && format == "openexr" && !settings.associatedAlpha;
    header.attribute("oiio:UnassociatedAlpha", settings.associatedAlpha || premultiply ? 0 : 1);
    // An empty date keeps the writers from stamping the time of writing.
    header.attribute("DateTime", settings.dateTime);
    if (format == "png") {
        // Rows filtered by their left neighbour compress well and fast; at
        // level 0 nothing is compressed, so filtering would be wasted work.
        const int level = settings.pngLevel.value_or(kDefaultPngLevel);
        header.attribute("png:compressionLevel", level);
        header.attribute("png:filter", level == 0 ? kPngFilterNone : kPngFilterSub);
    }
    else if (format == settings.inputFormat && !settings.inputCompression.empty())
        header.attribute("compression", settings.inputCompression);

    // The writer works on the real name (some choose their codec by it) but
    // into memory; the bytes reach the disk through checked writes.
    MemoryOutput encoded;
    output->set_ioproxy(&encoded);
    LibraryMessages messages;
    const auto stride = static_cast<OIIO::stride_t>(sizeof(BMM_Color_64));
    const Frame associated = premultiply ? Premultiplied(frame) : Frame{};
    const BMM_Color_64* pixels = premultiply ? associated.pixels : frame.pixels;
    if (!output->open(path, header) || !output->write_image(OIIO::TypeDesc::UINT16, pixels, stride) ||
        !output->close())
        throw Failure(path + ": cannot write: " + messages.OneLine(output->geterror(), "the encoder failed"));
    output.reset();
    try {
        ReplaceFileContents(path, encoded.buffer().data(), encoded.buffer().size());
    } catch (const FileError& error) {
        throw Failure(error.what());
    }
}

bool IsPngPath(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos)
        return false;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    return extension == "png";
}
