// Pictures encoded in memory, so that the bytes reach the disk through
// WholeFile's checked writes (a library writer does not always report a
// short write) and the file on disk is complete or not there at all.
#pragma once

#include <OpenImageIO/imageio.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "image/PictureHeader.h"

// Takes the bytes of an encoded file while they are held in memory.
using EncodedBytes = std::function<void(const unsigned char* bytes, std::size_t size)>;

// One picture of a file: its header and its pixels, of `type` (TypeUnknown:
// each channel in the header's own format), packed but for the pixels
// being `stride` bytes apart.
struct EncodedPicture {
    PictureHeader header;
    const void* pixels = nullptr;
    OIIO::TypeDesc type = OIIO::TypeDesc::UINT16;
    OIIO::stride_t stride = OIIO::AutoStride;
};

// Encodes the file `output` (made for `path`, whose name chose the format)
// writes for `pictures` (several: parts or pages, where the format holds
// them) and hands its bytes to `deliver`, once. Throws Failure naming
// `path`, with the library's own words, without calling `deliver`.
void EncodeInMemory(OIIO::ImageOutput& output, const std::string& path, const std::vector<EncodedPicture>& pictures,
                    const EncodedBytes& deliver);
