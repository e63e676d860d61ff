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
#include <vector>

#include "files/WholeFile.h"
#include "image/ChannelFormat.h"
#include "image/ChannelGroup.h"
#include "image/Frame.h"
#include "image/PictureHeader.h"

// One picture of a file (the file's only one, or one of its parts or
// pages) and the pictures after it.
struct LoadedImage {
    Frame frame;
    std::string format;       // the library's format name, "png", "tiff"...
    std::string compression;  // the file's compression, "" when it has none named
    // The file's header: channel format, data and display windows, metadata.
    PictureHeader header;
    bool grey = false;             // one colour channel
    bool hasAlpha = false;         // the file has a channel named as alpha
    bool associatedAlpha = false;  // colour is premultiplied by that alpha
    bool clamped = false;          // float values outside 0..1 were clamped
    // The file's names of the channels the frame holds: its one grey or
    // three colour channels and its alpha (empty for two colours).
    std::vector<std::string> channelNames;
    // The channels beyond colour and alpha, in the file's order.
    std::vector<ChannelGroup> groups;
    // The file's pictures after this one (OpenEXR parts, TIFF pages), each
    // read, turned and written as this one is; in the first picture only.
    std::vector<LoadedImage> followingParts;
};

// The names of `image`'s channels beyond colour and alpha, "Z, N.x, N.y";
// "" when it has none.
std::string DataChannelNames(const LoadedImage& image);

// Reads every picture of `path` (a multi-part OpenEXR's parts, a TIFF's
// pages): 8-bit values are scaled by 257, float values clamped to 0..1; a
// single colour channel fills red, green and blue, two fill red and green;
// every other channel is read into a channel group. Each frame is its
// picture's data window. Throws Failure naming the file when it is
// missing, not a regular file, unreadable, not an image, truncated or
// corrupt (whatever the library says went wrong while reading), wider or
// higher than 65535, too large for memory, or holds what veldra cannot
// carry (deep samples, MIP-map levels), or is a movie.
LoadedImage ReadImage(const std::string& path);

struct WriteSettings {
    std::optional<int> pngLevel;  // deflate level 0..9; default kDefaultPngLevel
    // The frame's input file, if any. The output keeps its channel format
    // (unless `depth` is given), its grey or colour channels, its windows
    // and the metadata the output format can hold, and its compression
    // when the output has the input's format.
    const LoadedImage* source = nullptr;
    std::optional<ChannelFormat> depth;
    // Alpha is written whenever the format holds it, even for an opaque
    // input: the frames of a sequence share one channel layout, whether or
    // not their own turn left a gap.
    bool alwaysAlpha = false;
};

struct WriteOutcome {
    bool alphaDropped = false;  // the frame had transparency the format cannot hold
    // What a warning says of the source's channels the format cannot hold,
    // "" when it holds them all.
    std::string droppedChannels;
    FileIdentity written;  // the file as written (files/WholeFile.h)
};

// Fast deflate: a 16-bit 1080p frame is written in a fraction of the time
// the library's default level takes, for files a little larger.
constexpr int kDefaultPngLevel = 1;

// Writes `frame` as `format` (OutputFormatOf, image/OutputFormat.h) in the
// chosen channel format (16-bit without a source)
// where the format holds it (the library converts otherwise), with alpha
// where the format has it and the source had alpha or the frame is not
// opaque. The file is encoded in memory and then replaced as a whole
// (files/WholeFile.h), so it is complete on disk or not written at all.
// Nothing in it depends on the time of writing; the source's own date
// field is kept. Throws Failure naming the file.
WriteOutcome WriteImage(const std::string& path, const std::string& format, const Frame& frame,
                        const WriteSettings& settings);
