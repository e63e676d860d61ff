#include "image/ImageFiles.h"

#include <optional>

#include "files/WholeFile.h"
#include "image/ImageLibrary.h"
#include "image/io/ChannelPlan.h"
#include "image/io/DescribePicture.h"
#include "image/io/InputChecks.h"
#include "image/io/png/DirectPngReader.h"

LoadedImage DescribePicture(const std::string& path, const PictureHeader& header, const std::string& format,
                            std::uint64_t fileSize, int pngBits)
{
    CheckPictureSize(path, header, format, fileSize, pngBits);
    LoadedImage image;
    image.format = format;
    image.compression = header.get_string_attribute("compression");
    image.header = header;
    const ChannelPlan plan = ChannelPlan::For(header);
    image.grey = plan.source[0] == plan.source[1] && plan.source[1] == plan.source[2];
    image.hasAlpha = plan.source[3] >= 0;
    const int colourChannels = plan.source[0] < 0 ? 0 : image.grey ? 1 : plan.source[2] >= 0 ? 3 : 0;
    for (int k = 0; k < colourChannels; ++k)
        image.channelNames.push_back(header.channel_name(plan.source[k]));
    if (colourChannels > 0 && image.hasAlpha)
        image.channelNames.push_back(header.channel_name(plan.source[3]));
    // With the hint the readers are given, straight alpha stays as stored
    // and is said to be; any other alpha is associated, as stored.
    image.associatedAlpha = image.hasAlpha && header.get_int_attribute("oiio:UnassociatedAlpha") == 0;
    image.frame = Frame::Make(static_cast<std::uint16_t>(header.width), static_cast<std::uint16_t>(header.height));
    return image;
}

std::string DataChannelNames(const LoadedImage& image)
{
    std::string names;
    for (const ChannelGroup& group : image.groups)
        for (const int channel : group.channels)
            names += (names.empty() ? "" : ", ") + std::string(image.header.channel_name(channel));
    return names;
}

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
            LoadedImage image = DescribePicture(path, png->Header(), "png", fileSize, pngBits);
            if (png->ReadPixels(ChannelPlan::For(image.header), image.frame))
                return image;
        }

    return TheImageLibrary().Read(path, fileSize, pngBits);
}
