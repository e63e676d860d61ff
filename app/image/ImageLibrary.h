// What needs the image library (OpenImageIO, with OpenColorIO): reading and
// writing the pictures veldra does not read and write itself, converting
// colour, drawing the test card and contact sheet, and thumbnails. The
// library brings a few hundred shared libraries, whose loading costs a
// quarter of a second of CPU time before anything else, so the image
// program does not link it: it loads the library the first time a picture
// needs it, through this interface, from a plugin beside the program. The
// Python package and the tests link the library's side directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/ColourConversion.h"
#include "image/ContactSheet.h"
#include "image/ImageFiles.h"
#include "image/io/Encode.h"

class ImageLibrary {
public:
    virtual ~ImageLibrary() = default;

    // Reads every picture of `path` (a regular file of `fileSize` bytes,
    // `pngBits` as CheckPngChunks found them) as ReadImage says.
    virtual LoadedImage Read(const std::string& path, std::uint64_t fileSize, int pngBits) const = 0;

    // Encodes `pictures` as the library's writer of `format` does, for the
    // file `path`, and hands the bytes to `deliver` (EncodeInMemory).
    virtual void Encode(const std::string& path, const std::string& format, const std::vector<EncodedPicture>& pictures,
                        const EncodedBytes& deliver) const = 0;

    // Fills `native` with the pixels of `header` (packed, each channel in
    // its own format): its first `channels` channels from `values` (grey or
    // colour as `colours` says, then alpha), the rest from `source`'s
    // channel groups, in order.
    virtual void PackChannels(const PictureHeader& header, const Frame& values, int channels, int colours,
                              const LoadedImage& source, std::vector<unsigned char>& native) const = 0;

    // ColourConversion.h
    virtual std::shared_ptr<const ColourConversion> Colour(const std::string& from, const std::string& to,
                                                           const std::string& configFile) const = 0;
    // TestCard.h
    virtual Frame TestCard(std::uint16_t width, std::uint16_t height) const = 0;
    // ContactSheet.h
    virtual std::unique_ptr<ContactSheet> Sheet(int rows, int columns, int cellWidth, int cellHeight) const = 0;
    // Thumbnail.h
    virtual std::string ThumbnailPng(const std::string& path, int longestSide) const = 0;
};

// The library, loaded on first use; throws Failure naming the plugin when
// it is missing or cannot be loaded. Defined by whoever links the image
// room: the image program loads the plugin, the Python package and the
// tests link the library's side (image/LinkedImageLibrary.cpp).
const ImageLibrary& TheImageLibrary();
