// The frame-to-be of a picture, whichever reader found its header.
#pragma once

#include <cstdint>
#include <string>

#include "image/ImageFiles.h"
#include "image/PictureHeader.h"

// The picture `header` describes in the file `path` (of `format`, with
// `fileSize` bytes; `pngBits` as CheckPngChunks gave them), checked first
// (CheckPictureSize), with what its channels mean and its frame allocated.
LoadedImage DescribePicture(const std::string& path, const PictureHeader& header, const std::string& format,
                            std::uint64_t fileSize, int pngBits);
