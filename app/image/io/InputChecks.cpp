#include "image/io/InputChecks.h"

#include <cstring>
#include <fstream>
#include <unistd.h>

#include "files/WholeFile.h"
#include "messages/Failure.h"

namespace {

constexpr int kMaxSide = 65535;  // the host's bitmap sizes are 16-bit

// Bytes of memory a frame of `pixels` costs while it is rendered: the
// frame, the filter's work buffer and the encoded output, 8 bytes a pixel
// each, plus the channels as read.
constexpr std::uint64_t kBytesPerPixelAtWork = 3 * 8;

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

std::uint64_t PhysicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize)
                                     : UINT64_MAX;
}

std::string Megabytes(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB"; }

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

void CheckFrameShape(const std::string& what, long long width, long long height, int depth, int channels)
{
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width > kMaxSide || height > kMaxSide)
        throw Failure(what, "the picture is " + size + "; frames are at most 65535 x 65535", FailureKind::Data);
    if (width < 1 || height < 1 || depth > 1 || channels < 1)
        throw Failure(what, "not a flat picture with pixels (" + size + ", " + std::to_string(channels) + " channels)",
                      FailureKind::Data);
}

void CheckFrameMemory(const std::string& what, int width, int height, int channels)
{
    // Sides are at most 65535, so none of these products overflows.
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    const std::uint64_t working = pixels * (kBytesPerPixelAtWork + 2 * static_cast<std::uint64_t>(channels));
    const std::uint64_t memory = PhysicalMemory();
    if (working > memory)
        throw Failure(what,
                      "not enough memory for this frame: a " + std::to_string(width) + " x " + std::to_string(height) +
                          " picture needs about " + Megabytes(working) + ", this machine has " + Megabytes(memory),
                      FailureKind::Memory);
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
