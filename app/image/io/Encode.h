// Pictures encoded in memory, so that the bytes reach the disk through
// WholeFile's checked writes (a library writer does not always report a
// short write) and the file on disk is complete or not there at all.
#pragma once

#include <OpenImageIO/imageio.h>

#include <cstddef>
#include <functional>
#include <string>

// Takes the bytes of an encoded file while they are held in memory.
using EncodedBytes = std::function<void(const unsigned char* bytes, std::size_t size)>;

// Encodes the file `output` (made for `path`, whose name chose the format)
// writes for `header` and the 16-bit `pixels`, `stride` bytes apart, and
// hands its bytes to `deliver`, once. Throws Failure naming `path`, with
// the library's own words, without calling `deliver`.
void EncodeInMemory(OIIO::ImageOutput& output, const std::string& path, const OIIO::ImageSpec& header,
                    const void* pixels, OIIO::stride_t stride, const EncodedBytes& deliver);
