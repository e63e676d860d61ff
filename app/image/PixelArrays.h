// Pictures that other programs hold in memory (the Python package's NumPy
// arrays): packed rows of grey, grey and alpha, RGB or RGBA pixels of 8- or
// 16-bit integers or half or single floats, to and from the host's 16-bit
// frames. The numbers are those files get: an array becomes the frame
// ReadImage makes of a file of its type and channels, and a frame becomes
// the values WriteImage's library stores in one.
#pragma once

#include <OpenImageIO/imageio.h>

#include <cstdint>

#include "image/Frame.h"

struct PixelArray {
    void* data = nullptr;  // row 0 first; rows, pixels and channels packed
    OIIO::TypeDesc type;   // UINT8, UINT16, HALF or FLOAT
    int width = 0;
    int height = 0;
    // 1: grey (opaque); 2: grey and alpha; 3: red, green, blue (opaque);
    // 4: and alpha. A file's channels mean that when the last of two or
    // four is named alpha.
    int channels = 4;
};

// A frame of the array's pixels: 8-bit values times 257, float values
// clamped to 0..1 and rounded as the library rounds them (`clamped` says
// whether any lay outside), grey in red, green and blue as a grey file
// reads, without alpha opaque. The size must have passed
// CheckFrameShape (image/io/InputChecks.h). A 16-bit RGBA array's values
// lie as a frame's pixels do: given `place`, an array of the same shape and
// type that outlives the frame, they are copied there and the frame lies
// over it, so that whatever is done to the frame is done in `place`.
// Throws std::bad_alloc.
Frame FrameOfPixels(const PixelArray& pixels, bool& clamped, const PixelArray* place = nullptr);

// `frame`, of the array's size, stored into the array in its type, as the
// library converts 16-bit values for a file of that type: red (grey), then
// the rest of the array's channels, of which the last of two or four is
// alpha. Nothing is left to do for a frame that lies over the array.
void StorePixels(const Frame& frame, const PixelArray& pixels);

// What a warning says when float values were clamped.
constexpr const char* kClampedWarning = "float values outside 0..1 are clamped: the filter works on 16-bit values";

// `width` x `height` pixels of `channels` float values into 16-bit ones as
// the library converts them (clamped to 0..1, scaled to 65535, rounded),
// each output pixel `outStride` bytes after the one before. `clamped` says
// whether any value lay outside 0..1. False when the library fails.
bool FloatsToSixteenBits(const float* values, int channels, int width, int height, std::uint16_t* out,
                         OIIO::stride_t outStride, bool& clamped);

// `count` half values, given as their 16 bits, turned in place into the
// 16-bit values FloatsToSixteenBits makes of them, through a table of every
// half value made once with it. `clamped` says whether any lay outside
// 0..1.
void HalvesToSixteenBits(std::uint16_t* values, std::size_t count, bool& clamped);

// `count` pixels of `channels` 16-bit values, `stride` values from one
// pixel to the next, turned into packed half values (their 16 bits) at
// `halves`, as the library converts them, through a table of every 16-bit
// value made once with it.
void SixteenBitsToHalves(const std::uint16_t* values, std::size_t stride, int channels, std::size_t count,
                         std::uint16_t* halves);
