// Reading pictures into the host's 16-bit RGBA frames and writing them
// back, with OpenImageIO. Alpha is straight on both ways: colour is never
// multiplied by alpha nor divided by it, so the colour under a fully
// transparent pixel survives.
#pragma once

#include <OpenImageIO/imageio.h>

#include <optional>
#include <string>

#include "image/ChannelFormat.h"
#include "image/Frame.h"

struct LoadedImage {
    Frame frame;
    std::string format;       // the library's format name, "png", "tiff"...
    std::string compression;  // the file's compression, "" when it has none named
    // The file's header: channel format, data and display windows, metadata.
    OIIO::ImageSpec header;
    bool grey = false;      // one colour channel
    bool hasAlpha = false;  // the file has an alpha channel
    bool clamped = false;   // float values outside 0..1 were clamped
};

// Reads the first picture of `path`. 8-bit values are scaled by 257, float
// values clamped to 0..1, a missing alpha is opaque, a single grey channel
// fills red, green and blue. The frame is the file's data window.
// Throws Failure naming the file when it is missing, unreadable, not an
// image, truncated or corrupt, or wider or higher than 65535.
LoadedImage ReadImage(const std::string& path);

struct WriteSettings {
    std::optional<int> pngLevel;  // deflate level 0..9; default kDefaultPngLevel
    // The frame's input file, if any. The output keeps its channel format
    // (unless `depth` is given), its grey or colour channels, its windows
    // and the metadata the output format can hold, and its compression
    // when the output has the input's format.
    const LoadedImage* source = nullptr;
    std::optional<ChannelFormat> depth;
};

struct WriteOutcome {
    bool alphaDropped = false;  // the frame had transparency the format cannot hold
};

// Fast deflate: a 16-bit 1080p frame is written in a fraction of the time
// the library's default level takes, for files a little larger.
constexpr int kDefaultPngLevel = 1;

// Writes `frame` in the chosen channel format (16-bit without a source)
// where the format holds it (the library converts otherwise), with alpha
// where the format has it and the source had alpha or the frame is not
// opaque, through a temporary file renamed into place. Throws Failure
// naming the file.
WriteOutcome WriteImage(const std::string& path, const Frame& frame, const WriteSettings& settings);

// Throws Failure naming `path` when no writer handles its kind of file.
void CheckWritableFormat(const std::string& path);

// True when `path` would be written as PNG.
bool IsPngPath(const std::string& path);
