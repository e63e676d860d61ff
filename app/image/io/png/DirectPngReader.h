// PNG files of the common kinds read without the image library: 8- or
// 16-bit grey, grey with alpha, RGB or RGBA, not interlaced, holding no
// chunks but the header, the pixel data, the end, sRGB with its gamma and
// chromaticities, the offset and plain text before the pixel data. The
// pixel data are inflated with ISA-L a band of rows at a time, much faster
// than the library's reader does through zlib. Anything else, and anything
// unusual in such a file (a bad checksum, stray data), is left to the
// library's reader, so that a file is accepted, refused and described
// exactly as before.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/Frame.h"
#include "image/PictureHeader.h"
#include "image/io/ChannelPlan.h"
#include "image/io/png/PngChunks.h"

class DirectPngReader {
public:
    // Reads the file `path` of `fileSize` bytes (a regular file) and its
    // chunks; nullopt when it is not of the kinds read here.
    static std::optional<DirectPngReader> Open(const std::string& path, std::uint64_t fileSize);

    // The header the library's reader gives for this file when asked to
    // keep straight alpha as it is: size, channels and their names, the
    // offset, the colour space and the text chunks as attributes.
    const PictureHeader& Header() const { return header_; }

    // Fills `frame` (the header's size) with the file's pixels through
    // `plan`, 8-bit values times 257. False when the pixel data are not
    // exactly what the header promises, for the library's reader to judge.
    bool ReadPixels(const ChannelPlan& plan, Frame& frame) const;

private:
    std::string bytes_;
    std::vector<PngChunk> pixelData_;  // the IDAT chunks, in order
    PictureHeader header_;
    int bitDepth_ = 8;
};
