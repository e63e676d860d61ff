#include "image/ImageFiles.h"

#include <OpenImageIO/imageio.h>

#include <vector>

#include "files/WholeFile.h"
#include "image/io/Metadata.h"
#include "image/Premultiply.h"
#include "image/io/Encode.h"
#include "messages/Failure.h"

namespace {

constexpr int kPngFilterNone = 8;
constexpr int kPngFilterSub = 16;

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

// Grey and alpha side by side, as a grey file with alpha holds them.
std::vector<std::uint16_t> GreyWithAlpha(const Frame& frame)
{
    std::vector<std::uint16_t> values;
    values.reserve(frame.PixelCount() * 2);
    for (std::size_t i = 0; i < frame.PixelCount(); ++i) {
        values.push_back(frame.pixels[i].r);
        values.push_back(frame.pixels[i].a);
    }
    return values;
}

}  // namespace

WriteOutcome WriteImage(const std::string& path, const std::string& format, const Frame& frame,
                        const WriteSettings& settings)
{
    auto output = OIIO::ImageOutput::create(format);
    if (!output)
        throw FileError(path, "cannot write: no " + format + " writer");
    const LoadedImage* source = settings.source;

    WriteOutcome outcome;
    const bool canHoldAlpha = output->supports("alpha");
    const bool keepsAlpha = !source || source->hasAlpha || settings.alwaysAlpha;
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

    // Red, green, blue and alpha lead each of the frame's pixels, so every
    // layout but grey with alpha is read from the frame in place, without a
    // second copy of the picture.
    const Frame premultiplied = premultiply ? Premultiplied(frame) : Frame{};
    const Frame& values = premultiply ? premultiplied : frame;
    std::vector<std::uint16_t> packed;
    const void* pixels = values.pixels;
    OIIO::stride_t stride = sizeof(BMM_Color_64);
    if (colours == 1 && alpha) {
        packed = GreyWithAlpha(values);
        pixels = packed.data();
        stride = OIIO::AutoStride;
    }
    EncodeInMemory(*output, path, header, pixels, stride, [&](const unsigned char* bytes, std::size_t size) {
        outcome.written = ReplaceFileContents(path, bytes, size);
    });
    return outcome;
}
