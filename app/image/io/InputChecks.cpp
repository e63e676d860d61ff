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

// The chunks of a PNG file read head by head (each a 4-byte big-endian
// length, a 4-byte type, the data and a 4-byte CRC), without their data.
class PngChunkHeads {
public:
    explicit PngChunkHeads(const std::string& path) : file_(path, std::ios::binary)
    {
        static const char kSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
        char signature[8] = {};
        signed_ = file_.read(signature, sizeof signature) && std::memcmp(signature, kSignature, sizeof signature) == 0;
    }

    // Whether the file starts with the PNG signature.
    bool Signed() const { return signed_; }

    // Moves to the next chunk; false when the file ends before its head.
    bool Next()
    {
        unsigned char head[8] = {};
        file_.seekg(static_cast<std::streamoff>(end_));
        if (!file_.read(reinterpret_cast<char*>(head), sizeof head))
            return false;
        length_ = (std::uint64_t{head[0]} << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
        type_.assign(reinterpret_cast<const char*>(head + 4), 4);
        data_ = end_ + sizeof head;
        end_ = data_ + length_ + 4;
        return true;
    }

    const std::string& Type() const { return type_; }
    std::uint64_t Length() const { return length_; }
    // Where the chunk ends in the file, its CRC included.
    std::uint64_t End() const { return end_; }
    // Byte `at` of the chunk's data, 0 when it cannot be read.
    int ByteOfData(std::uint64_t at)
    {
        char byte = 0;
        file_.seekg(static_cast<std::streamoff>(data_ + at));
        return file_.read(&byte, 1) ? static_cast<unsigned char>(byte) : 0;
    }

private:
    std::ifstream file_;
    bool signed_ = false;
    std::string type_;
    std::uint64_t length_ = 0, data_ = 0, end_ = 8;
};

}  // namespace

int CheckPngChunks(const std::string& path, std::uint64_t fileSize)
{
    PngChunkHeads chunks(path);
    if (!chunks.Signed())
        return 0;  // not a PNG file: the readers judge it
    int bitDepth = 0;
    while (chunks.Next()) {
        if (chunks.End() > fileSize)
            throw FileError(path,
                            "truncated or corrupt: the PNG chunk " + chunks.Type() + " runs past the end of the file");
        // The header's data: width, height (4 bytes each), bit depth.
        if (chunks.Type() == "IHDR" && chunks.Length() >= 13)
            bitDepth = chunks.ByteOfData(8);
        if (chunks.Type() == "IEND")
            return bitDepth;
    }
    throw FileError(path, "truncated or corrupt: the PNG file ends before its end chunk");
}

bool IsStillPng(const std::string& path)
{
    PngChunkHeads chunks(path);
    if (!chunks.Signed())
        return false;
    while (chunks.Next()) {
        if (chunks.Type() == "acTL")
            return false;
        if (chunks.Type() == "IDAT" || chunks.Type() == "IEND")
            return true;
    }
    return true;
}

void CheckPictureSize(const std::string& path, const PictureHeader& header, const std::string& format,
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
