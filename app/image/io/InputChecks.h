// Checks on an input picture before it costs anything: only regular files
// are opened, and a header that claims more pixels than its file can hold,
// or than this machine's memory can take, is refused before the pixels are
// allocated.
#pragma once

#include <OpenImageIO/imageio.h>

#include <cstdint>
#include <string>

// The size of `path`; throws Failure naming it when it is missing or not a
// regular file (a folder, a FIFO, a device), so that nothing waits on it.
std::uint64_t CheckInputFile(const std::string& path);

// Throws Failure naming `path` when it is a PNG file whose chunks do not
// lie whole within the file up to its end chunk. The PNG reader finds a cut
// file only half-way through decoding, and leaves through libpng's error
// jump, which skips the reader's own clean-up.
void CheckPngChunks(const std::string& path, std::uint64_t fileSize);

// Throws Failure naming `path` when `header` describes no flat picture,
// one wider or higher than 65535, one whose pixels could not fit in
// `fileSize` bytes in the file's compression, or one whose frame would not
// fit in memory.
void CheckPictureSize(const std::string& path, const OIIO::ImageSpec& header, const std::string& format,
                      std::uint64_t fileSize);
