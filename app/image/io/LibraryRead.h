// Pictures read with the image library: every file veldra does not read
// itself.
#pragma once

#include <cstdint>
#include <string>

#include "image/ImageFiles.h"

// ReadImage's reading of `path` (a regular file of `fileSize` bytes;
// `pngBits` as CheckPngChunks gave them) by the library's readers.
LoadedImage ReadWithLibrary(const std::string& path, std::uint64_t fileSize, int pngBits);
