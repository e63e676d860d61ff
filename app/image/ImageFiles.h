// Reading pictures into the host's 16-bit RGBA frames and writing them
// back, with OpenImageIO.
//
// Alpha is the channel the file names as alpha; a picture without one is
// opaque. Its numbers are taken as stored, never multiplied by alpha nor
// divided by it, so the colour under a fully transparent pixel survives;
// whether they are associated (premultiplied) travels with the frame and
// is written out with it, so they keep their meaning.
#pragma once

#include <optional>
#include <string>

#include "image/Frame.h"

struct LoadedImage {
    Frame frame;
    std::string format;       // the library's format name, "png", "tiff"...
    std::string compression;  // the file's compression, "" when it has none named
    bool associatedAlpha = false;  // colour is premultiplied by alpha
    std::string dateTime;          // the file's own date field, "" when none
};

// Reads the first picture of `path`. 8-bit values are scaled by 257; a
// single colour channel fills red, green and blue; two fill red and green;
// channels past the first three colours and the alpha are dropped with a
// warning. Throws Failure naming the file when it is missing, not a regular
// file, unreadable, not an image, truncated or corrupt (whatever the
// library says went wrong while reading), wider or higher than 65535, or
// too large for memory.
LoadedImage ReadImage(const std::string& path);

struct WriteSettings {
    std::optional<int> pngLevel;  // deflate level 0..9; default kDefaultPngLevel
    // Written to keep a sequence's own compression when the output has the
    // input's format (an uncompressed TIFF stays uncompressed).
    std::string inputFormat;
    std::string inputCompression;
    bool associatedAlpha = false;  // the frame's colour is premultiplied
    std::string dateTime;          // written as the file's date; "" for none
};

// Fast deflate: a 16-bit 1080p frame is written in a fraction of the time
// the library's default level takes, for files a little larger.
constexpr int kDefaultPngLevel = 1;

// Writes `frame` at 16 bits per channel where the format holds them (the
// library converts otherwise), with alpha where the format has it. The
// file is encoded in memory and then replaced as a whole (WholeFile.h), so
// it is complete on disk or not written at all. Nothing in it depends on
// the time of writing. Throws Failure naming the file.
void WriteImage(const std::string& path, const Frame& frame, const WriteSettings& settings);

// Throws Failure naming `path` unless it names a kind of file veldra
// writes: PNG, TIFF, OpenEXR, DPX or JPEG.
void CheckWritableFormat(const std::string& path);

// True when `path` would be written as PNG.
bool IsPngPath(const std::string& path);
