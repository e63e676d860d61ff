// Checks on an input file before it costs anything: a PNG file cut short,
// and a header that claims more pixels than its file can hold or than this
// machine's memory can take, are refused before the pixels are allocated.
#pragma once

#include <cstdint>
#include <string>

#include "image/PictureHeader.h"
#include "image/FrameChecks.h"

// Throws Failure naming `path` when it is a PNG file whose chunks do not
// lie whole within the file up to its end chunk. The PNG reader finds a cut
// file only half-way through decoding, and leaves through libpng's error
// jump, which skips the reader's own clean-up. Returns the bit depth the
// PNG header gives (1, 2, 4, 8 or 16; the library reports none below 8),
// or 0 for a file that is no PNG.
int CheckPngChunks(const std::string& path, std::uint64_t fileSize);

// Whether the regular file `path` is a PNG file (by its signature) with no
// animation control chunk before its pixel data: a still picture, which
// no movie reader takes for a movie. A file cut short is still one.
bool IsStillPng(const std::string& path);

// Throws Failure naming `path` when `header` describes no flat picture,
// one wider or higher than 65535, one whose pixels could not fit in
// `fileSize` bytes in the file's compression, or one whose frame would not
// fit in memory. `storedBits` is a sample's bits in the file when known
// (0: as the header says).
void CheckPictureSize(const std::string& path, const PictureHeader& header, const std::string& format,
                      std::uint64_t fileSize, int storedBits);
