#include "image/OpenImageIOLibrary.h"

#include <OpenImageIO/imageio.h>

#include "image/TestCard.h"
#include "image/Thumbnail.h"
#include "image/io/DataChannels.h"
#include "image/io/LibraryRead.h"
#include "messages/Failure.h"

namespace {

class LibraryPictures final : public ImageLibrary {
public:
    LoadedImage Read(const std::string& path, std::uint64_t fileSize, int pngBits) const override
    {
        return ReadWithLibrary(path, fileSize, pngBits);
    }

    void Encode(const std::string& path, const std::string& format, const std::vector<EncodedPicture>& pictures,
                const EncodedBytes& deliver) const override
    {
        auto output = OIIO::ImageOutput::create(format);
        if (!output)
            throw FileError(path, "cannot write: no " + format + " writer");
        EncodeInMemory(*output, path, pictures, deliver);
    }

    void PackChannels(const PictureHeader& header, const Frame& values, int channels, int colours,
                      const LoadedImage& source, std::vector<unsigned char>& native) const override
    {
        ::PackChannels(header, values, channels, colours, source, native);
    }

    std::shared_ptr<const ColourConversion> Colour(const std::string& from, const std::string& to,
                                                   const std::string& configFile) const override
    {
        return MakeColourConversion(from, to, configFile);
    }

    Frame TestCard(std::uint16_t width, std::uint16_t height) const override { return DrawTestCard(width, height); }

    std::unique_ptr<ContactSheet> Sheet(int rows, int columns, int cellWidth, int cellHeight) const override
    {
        return MakeContactSheet(rows, columns, cellWidth, cellHeight);
    }

    std::string ThumbnailPng(const std::string& path, int longestSide) const override
    {
        return ::ThumbnailPng(path, longestSide);
    }
};

}  // namespace

const ImageLibrary& OpenImageIOLibrary()
{
    static const LibraryPictures library;
    return library;
}
