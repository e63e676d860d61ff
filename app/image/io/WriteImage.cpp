#include "image/ImageFiles.h"

#include <OpenImageIO/imageio.h>

#include <vector>

#include "files/WholeFile.h"
#include "image/ImageLibrary.h"
#include "image/OutputFormat.h"
#include "image/Premultiply.h"
#include "image/io/Encode.h"
#include "image/io/Metadata.h"
#include "image/io/png/DirectPngWriter.h"
#include "messages/Failure.h"

namespace {

constexpr int kPngFilterNone = 8;
constexpr int kPngFilterSub = 16;
constexpr OIIO::stride_t kFramePixel = sizeof(BMM_Color_64);

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

// The chosen format, else the source's colour format where it is one of
// ours (a double picture becomes float, other integers 16-bit), else
// 16-bit. A file whose channels differ in format (an OpenEXR part with a
// float depth beside half colour) has its colour first, after any alpha.
OIIO::TypeDesc OutputType(const WriteSettings& settings, const LoadedImage* source)
{
    if (settings.depth)
        return TypeOf(*settings.depth);
    if (!source)
        return OIIO::TypeDesc::UINT16;
    const OIIO::TypeDesc input = source->header.channelformat(source->header.alpha_channel == 0 ? 1 : 0);
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

// The formats that hold channels beyond colour and alpha.
bool HoldsDataChannels(const std::string& format) { return format == "openexr" || format == "tiff"; }

// One picture of the file being written, ready for the encoder, with the
// buffers its pixels live in.
struct PreparedPicture {
    EncodedPicture encoded;
    Frame premultiplied;
    std::vector<std::uint16_t> packed;
    std::vector<unsigned char> native;
};

// The picture `frame` (turned from `source`, if any) becomes in `format`.
void Prepare(const std::string& path, const std::string& format, const Frame& frame, const WriteSettings& settings,
             const LoadedImage* source, PreparedPicture& prepared, WriteOutcome& outcome)
{
    const bool canHoldAlpha = FormatHoldsAlpha(format);
    const bool keepsAlpha = !source || source->hasAlpha || settings.alwaysAlpha;
    // The pixels are scanned only when they decide whether alpha is written
    // or reported lost.
    const bool transparent = !(canHoldAlpha && keepsAlpha) && !frame.IsOpaque();
    const bool alpha = canHoldAlpha && (keepsAlpha || transparent);
    outcome.alphaDropped = outcome.alphaDropped || (!canHoldAlpha && transparent);
    const int colours = source && source->grey ? 1 : 3;
    const int channels = colours + (alpha ? 1 : 0);

    const OIIO::TypeDesc type = OutputType(settings, source);
    PictureHeader& header = prepared.encoded.header;
    header = PictureHeader(frame.Width(), frame.Height(), channels, type);
    if (source)
        CarryFileDetails(source->header, header, format);
    // A file of the input's kind keeps the input's names for them (an
    // OpenEXR part's "diffuse.R"...), others get the usual ones.
    if (source && format == source->format && source->channelNames.size() == static_cast<std::size_t>(channels)) {
        header.channelnames = source->channelNames;
    } else {
        header.channelnames = colours == 1 ? std::vector<std::string>{"Y"} : std::vector<std::string>{"R", "G", "B"};
        if (alpha)
            header.channelnames.push_back("A");
    }
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

    if (premultiply)
        prepared.premultiplied = Premultiplied(frame);
    const Frame& values = premultiply ? prepared.premultiplied : frame;
    const bool hasData = source && !source->groups.empty();
    if (hasData && !HoldsDataChannels(format))
        outcome.droppedChannels = path + ": channels " + DataChannelNames(*source) + " are not written: " + format +
                                  " holds colour and alpha only (OpenEXR and TIFF hold them)";
    if (!hasData || !HoldsDataChannels(format)) {
        // Red, green, blue and alpha lead each of the frame's pixels, so
        // every layout but grey with alpha is read from the frame in place,
        // without a second copy of the picture.
        prepared.encoded.pixels = values.pixels;
        prepared.encoded.stride = kFramePixel;
        if (colours == 1 && alpha) {
            prepared.packed = GreyWithAlpha(values);
            prepared.encoded.pixels = prepared.packed.data();
            prepared.encoded.stride = OIIO::AutoStride;
        }
        return;
    }

    // The data channels follow colour and alpha, each in its own format
    // where the file holds one a channel (OpenEXR), and every channel is
    // converted into one buffer of the file's own layout.
    for (const ChannelGroup& group : source->groups)
        for (const int channel : group.channels) {
            header.channelnames.push_back(std::string(source->header.channel_name(channel)));
            if (format == "openexr") {
                header.channelformats.resize(header.nchannels, type);
                header.channelformats.push_back(source->header.channelformat(channel));
            }
            ++header.nchannels;
        }
    TheImageLibrary().PackChannels(header, values, channels, colours, *source, prepared.native);
    prepared.encoded.pixels = prepared.native.data();
    prepared.encoded.type = OIIO::TypeUnknown;
    prepared.encoded.stride = OIIO::AutoStride;
}

}  // namespace

WriteOutcome WriteImage(const std::string& path, const std::string& format, const Frame& frame,
                        const WriteSettings& settings)
{
    const LoadedImage* source = settings.source;
    const std::size_t parts = source ? 1 + source->followingParts.size() : 1;
    if (parts > 1 && !FormatHoldsSeveralPictures(format))
        throw FileError(path, format + " holds one picture a file; the input holds " + std::to_string(parts) +
                                  " (parts or pages): write OpenEXR or TIFF");

    WriteOutcome outcome;
    std::vector<PreparedPicture> prepared(parts);
    Prepare(path, format, frame, settings, source, prepared[0], outcome);
    for (std::size_t part = 1; part < parts; ++part) {
        const LoadedImage& following = source->followingParts[part - 1];
        Prepare(path, format, following.frame, settings, &following, prepared[part], outcome);
    }
    std::vector<EncodedPicture> pictures;
    for (const PreparedPicture& picture : prepared)
        pictures.push_back(picture.encoded);
    const EncodedBytes replace = [&](const unsigned char* bytes, std::size_t size) {
        outcome.written = ReplaceFileContents(path, bytes, size);
    };
    // PNG files (one picture of colour and alpha) are deflated directly
    // where the header holds only what that writer writes as the library
    // does; any other file the library encodes.
    const EncodedPicture& first = pictures[0];
    const std::size_t valueStride = first.stride == OIIO::AutoStride
                                        ? static_cast<std::size_t>(first.header.nchannels)
                                        : static_cast<std::size_t>(first.stride) / sizeof(std::uint16_t);
    if (format != "png" || pictures.size() > 1 || first.type != OIIO::TypeDesc::UINT16 ||
        !EncodePngDirectly(first.header, static_cast<const std::uint16_t*>(first.pixels), valueStride, replace))
        TheImageLibrary().Encode(path, format, pictures, replace);
    return outcome;
}
