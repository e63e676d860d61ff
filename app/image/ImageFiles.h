// Reading pictures into the host's 16-bit RGBA frames and writing them
// back, with OpenImageIO. Alpha is straight on both ways: colour is never
// multiplied by alpha nor divided by it, so the colour under a fully
// transparent pixel survives.
#pragma once

#include <optional>
#include <string>

#include "image/Frame.h"

struct LoadedImage {
    Frame frame;
    std::string format;       // the library's format name, "png", "tiff"...
    std::string compression;  // the file's compression, "" when it has none named
};

// Reads the first picture of `path`. 8-bit values are scaled by 257, a
// missing alpha is opaque, a single grey channel fills red, green and blue.
// Throws Failure naming the file when it is missing, unreadable, not an
// image, truncated or corrupt, or wider or higher than 65535.
LoadedImage ReadImage(const std::string& path);

struct WriteSettings {
    std::optional<int> pngLevel;  // deflate level 0..9; default kDefaultPngLevel
    // Written to keep a sequence's own compression when the output has the
    // input's format (an uncompressed TIFF stays uncompressed).
    std::string inputFormat;
    std::string inputCompression;
};

// Fast deflate: a 16-bit 1080p frame is written in a fraction of the time
// the library's default level takes, for files a little larger.
constexpr int kDefaultPngLevel = 1;

// Writes `frame` at 16 bits per channel where the format holds them (the
// library converts otherwise), with alpha where the format has it, through
// a temporary file renamed into place. Throws Failure naming the file.
void WriteImage(const std::string& path, const Frame& frame, const WriteSettings& settings);

// Throws Failure naming `path` when no writer handles its kind of file.
void CheckWritableFormat(const std::string& path);

// True when `path` would be written as PNG.
bool IsPngPath(const std::string& path);
