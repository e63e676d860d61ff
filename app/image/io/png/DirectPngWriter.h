// PNG files written without the image library: the chunks the library's
// writer makes for a header, in its order, and the pixel data filtered and
// deflated with libdeflate in one step, several times faster than the
// library's writer row by row through zlib, and a little smaller.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/PictureHeader.h"
#include "image/io/Encode.h"

// Encodes the PNG file that the library's writer makes for `header` and
// the 16-bit `pixels` (`stride` values from one pixel to the next, rows
// packed), with every row filtered as "png:filter" says (8: none, 16: by
// its left neighbour) and deflated at "png:compressionLevel", and hands
// its bytes to `deliver`. 8-bit files get the library's rounding. Returns
// false without delivering when the header asks for anything only the
// library's writer does: another filter choice or channel format, alpha to
// divide out, an ICC profile, a resolution, a date, a colour space other
// than sRGB, text it would rename or reshape.
bool EncodePngDirectly(const PictureHeader& header, const std::uint16_t* pixels, std::size_t stride,
                       const EncodedBytes& deliver);

// A 16-bit value as the library stores it in 8 bits.
inline std::uint8_t EightBitsOf(std::uint16_t value) { return static_cast<std::uint8_t>((value + 128u) / 257u); }
