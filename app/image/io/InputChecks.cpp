#include "image/io/InputChecks.h"

#include <cstring>
#include <fstream>

#include "files/WholeFile.h"
#include "messages/Failure.h"

namespace {

// How many times its stored size the pixel data of a file can grow when
// decoded, by format and compression; 0 when there is no useful bound.
// Deflate cannot exceed 1032 to 1, run-length codes about 128 to 1.
double MostExpansion(const std::string& format, const std::string& compression)
{
    if (format == "dpx" || compression == "none")
        return 1.0;
    if (format == "png" || compression == "zip" || compression == "zips" || compression == "deflate")
        return 1100.0;
    if (compression == "rle" || compression == "packbits")
        return 130.0;
    return 0.0;
}

}  // namespace

int CheckPngChunks(const std::string& path, std::uint64_t fileSize)
{
    static const char kSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
    std::ifstream file(path, std::ios::binary);
    char signature[8] = {};
    if (!file.read(signature, sizeof signature) || std::memcmp(signature, kSignature, sizeof signature) != 0)
        return 0;  // not a PNG file: the readers judge it
    // Each chunk: 4-byte big-endian length, 4-byte type, data, 4-byte CRC.
    std::uint64_t at = sizeof signature;
    int bitDepth = 0;
    for (;;) {
        unsigned char head[8] = {};
        file.seekg(static_cast<std::streamoff>(at));
        if (!file.read(reinterpret_cast<char*>(head), sizeof head))
            throw FileError(path, "truncated or corrupt: the PNG file ends before its end chunk");
        const std::uint64_t length = (std::uint64_t{head[0]} << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
        const std::string type(reinterpret_cast<const char*>(head + 4), 4);
        at += sizeof head + length + 4;
        if (at > fileSize)
            throw FileError(path, "truncated or corrupt: the PNG chunk " + type + " runs past the end of the file");
        // The header's data: width, height (4 bytes each), bit depth.
        if (type == "IHDR" && length >= 13) {
            char depth = 0;
            file.seekg(static_cast<std::streamoff>(at - length - 4 + 8));
            if (file.read(&depth, 1))
                bitDepth = static_cast<unsigned char>(depth);
        }
        if (type == "IEND")
            return bitDepth;
    }
}

void CheckPictureSize(const std::string& path, const OIIO::ImageSpec& header, const std::string& format,
                      std::uint64_t fileSize, int storedBits)
{
    CheckFrameShape(path, header.width, header.height, header.depth, header.nchannels);

    // Sides are at most 65535, so none of these products overflows.
    const std::uint64_t pixels = static_cast<std::uint64_t>(header.width) * static_cast<std::uint64_t>(header.height);
    const int bits = storedBits > 0
                         ? storedBits
                         : header.get_int_attribute("oiio:BitsPerSample", static_cast<int>(header.format.size() * 8));
    // The least a file stores per pixel: one channel's bits, as a palette
    // picture stores one index for all its channels; DPX has no palettes.
    const std::uint64_t storedChannels = format == "dpx" ? static_cast<std::uint64_t>(header.nchannels) : 1;
    const std::uint64_t storedBytes = pixels * storedChannels * static_cast<std::uint64_t>(bits > 0 ? bits : 1) / 8;
    const double expansion = MostExpansion(format, header.get_string_attribute("compression"));
    if (expansion > 0 && static_cast<double>(storedBytes) > static_cast<double>(fileSize) * expansion)
        throw FileError(path, "truncated or corrupt: its header claims a " + std::to_string(header.width) + " x " +
                                  std::to_string(header.height) + " picture, more than its " +
                                  std::to_string(fileSize) + " bytes can hold");

    CheckFrameMemory(path, header.width, header.height, header.nchannels);
}
