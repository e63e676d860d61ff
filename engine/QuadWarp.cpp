#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/ImageWarper.h"

namespace {

constexpr std::uint16_t kOpaque = 0xFFFF;

std::uint16_t Scaled(std::uint16_t channel, float weight)
{
    const double product = static_cast<double>(channel) * weight;
    // Written so that a NaN weight scales to 0.
    return product > 0 ? static_cast<std::uint16_t>(std::min(product, 65535.0)) : 0;
}

std::uint64_t Bits(const BMM_Color_64& pixel)
{
    std::uint64_t bits;
    std::memcpy(&bits, &pixel, sizeof bits);
    return bits;
}

BMM_Color_64 Pixel(std::uint64_t bits)
{
    BMM_Color_64 pixel;
    std::memcpy(&pixel, &bits, sizeof pixel);
    return pixel;
}

// Alpha is the last of the four channels: the top 16 bits of the word on
// the little-endian processors the module is built for.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixels are read as little-endian words");
constexpr std::uint64_t kOpaqueBits = std::uint64_t{kOpaque} << 48;

// The word-wide tricks below must give the bytes of the plain warp in
// tests/ReferenceWarp.h; QuadWarp.FastWarpMatchesReferenceByteForByte
// (tests/EngineWarpTest.cpp) checks that on random quads and pictures.

// One deposit of an opaque pixel (bits `source`) on a working pixel that the
// warp has either cleared or deposited on before, so its alpha is 0 or
// 0xFFFF: the same result as BlendPixel with weight 1. The rounded-down mean
// of all four channels at once: a + b = 2 (a & b) + (a ^ b), and the mask
// keeps each channel's shifted-in bit from its upper neighbour.
inline void Deposit(BMM_Color_64* target, std::uint64_t source)
{
    const std::uint64_t stored = Bits(*target);
    const std::uint64_t mean = (stored & source) + (((stored ^ source) >> 1) & 0x7FFF7FFF7FFF7FFFull);
    // Alpha is 0 or 0xFFFF, so its top bit, the word's sign, tells coverage.
    const std::uint64_t result = static_cast<std::int64_t>(stored) < 0 ? mean : source;
    std::memcpy(target, &result, sizeof result);
}

// How far ahead, in source pixels, the warp asks the processor to fetch the
// working pixels that a deposit will need. The lower row of a block is
// usually one that no deposit has touched yet and is still out in memory;
// when the blocks walk down a column (a quarter turn) the hardware does not
// see the pattern by itself.
constexpr double kPrefetchDistance = 24;

// The offset in pixels from a block to the block kPrefetchDistance source
// pixels further along the row, given the position's step per source column;
// 0 when the step does not give a sensible offset (huge or not a number).
// Smaller than the frame's pixel count, so it fits wherever the buffer does.
std::ptrdiff_t PrefetchOffset(double stepX, double stepY, int columns, int rows)
{
    const double aheadX = kPrefetchDistance * stepX, aheadY = kPrefetchDistance * stepY;
    if (!(std::abs(aheadX) < columns && std::abs(aheadY) < rows))
        return 0;
    return static_cast<std::ptrdiff_t>(std::lround(aheadY)) * columns +
           static_cast<std::ptrdiff_t>(std::lround(aheadX));
}

// ceil(x) for 0 < x < 2^31, exactly as the double ceiling converted to int.
inline int PositiveCeiling(float x)
{
    const int whole = static_cast<int>(x);
    return whole + (static_cast<float>(whole) < x ? 1 : 0);
}

}  // namespace

void ImageWarper::WarpToQuad(Point2 p0, Point2 p1, Point2 p2, Point2 p3)
{
    if (!workBuffer)
        return;  // empty frame (nothing to map, and W or H would divide by 0) or no buffer
    const double w = width, h = height;
    const double area = static_cast<double>(static_cast<std::int64_t>(width) * height);
    // Every difference and sum of corner coordinates is taken in double.
    const float rowStepX = static_cast<float>((static_cast<double>(p2.x) - p0.x) / h);
    const float rowStepY = static_cast<float>((static_cast<double>(p2.y) - p0.y) / h);
    const float columnStepX = static_cast<float>((static_cast<double>(p3.x) - p0.x) / w);
    const float columnStepY = static_cast<float>((static_cast<double>(p3.y) - p0.y) / w);
    const float crossX = static_cast<float>((static_cast<double>(p1.x) + p0.x - p2.x - p3.x) / area);
    const float crossY = static_cast<float>((static_cast<double>(p1.y) + p0.y - p2.y - p3.y) / area);

    FillBackground();

    // Positions whose whole 2 x 2 block lies inside the frame (ceilings in
    // [1, W - 1] x [1, H - 1]) take the fast deposit; those whose block can
    // reach the frame at all (ceilings in [0, W] x [0, H]) go through
    // SplatPixel's checks; the rest, NaN included, would be dropped anyway.
    const float lastColumn = static_cast<float>(width - 1), lastRow = static_cast<float>(height - 1);
    const float fw = static_cast<float>(width), fh = static_cast<float>(height);
    const std::size_t stride = static_cast<std::size_t>(width);
    // Locals, so that the host call per pixel does not force them to be
    // reloaded from the object.
    BMM_Color_64* const buffer = workBuffer;
    Bitmap* const source = bitmap;
    const int columns = width, rows = height;

    for (int j = 0; j < rows; ++j) {
        const double row = j;
        // The terms of x and y that depend on the row alone. The sums below
        // keep the order of the mapping's formula, so hoisting changes no bit.
        const double rowTermX = row * rowStepX;
        const double rowTermY = row * rowStepY;
        // Only a prefetch hint: an offset that misses costs time, not bits.
        const std::uintptr_t aheadBytes = static_cast<std::uintptr_t>(PrefetchOffset(
                                              columnStepX + row * crossX, columnStepY + row * crossY, columns, rows)) *
                                          sizeof(BMM_Color_64);
        for (int i = 0; i < columns; ++i) {
            BMM_Color_64 read{0, 0, 0, 0};
            source->GetPixels(i, j, 1, &read);
            // Made opaque in a register: a narrow store into the pixel just
            // written by the host would stall the wide load that follows.
            const std::uint64_t pixel = Bits(read) | kOpaqueBits;

            const double column = i;
            const double rowColumn = row * column;

            const float x = static_cast<float>(rowColumn * crossX + column * columnStepX + rowTermX + p0.x);
            const float y = static_cast<float>(rowColumn * crossY + rowTermY + column * columnStepY + p0.y);

            if (x > 0 && x <= lastColumn && y > 0 && y <= lastRow) {
                const int cx = PositiveCeiling(x), cy = PositiveCeiling(y);
                BMM_Color_64* upperLeft = buffer + (static_cast<std::size_t>(cy - 1) * stride + (cx - 1));
                // The address may lie outside the buffer: it is formed as an
                // integer, and a prefetch never faults.
                __builtin_prefetch(
                    reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(upperLeft + stride) + aheadBytes));
                Deposit(upperLeft, pixel);
                Deposit(upperLeft + stride, pixel);
                Deposit(upperLeft + 1, pixel);
                Deposit(upperLeft + stride + 1, pixel);
            } else if (x > -1 && x <= fw && y > -1 && y <= fh) {
                SplatPixel(x, y, Pixel(pixel));
            }
        }
    }
}

void ImageWarper::SplatPixel(float x, float y, BMM_Color_64 pixel)
{
    const double cx = std::ceil(static_cast<double>(x));
    const double cy = std::ceil(static_cast<double>(y));
    // Only blocks whose lower-right ceiling lies in [0, W] x [0, H] touch the
    // frame. Checking that first also keeps non-finite positions and
    // ceilings beyond the int range from being converted.
    if (!(cx >= 0 && cx <= width && cy >= 0 && cy <= height))
        return;
    const int column = static_cast<int>(cx), row = static_cast<int>(cy);
    BlendPixel(column - 1, row - 1, pixel, 1.0f);
    BlendPixel(column - 1, row, pixel, 1.0f);
    BlendPixel(column, row - 1, pixel, 1.0f);
    BlendPixel(column, row, pixel, 1.0f);
}

void ImageWarper::BlendPixel(int column, int row, BMM_Color_64 pixel, float weight)
{
    pixel.r = Scaled(pixel.r, weight);
    pixel.g = Scaled(pixel.g, weight);
    pixel.b = Scaled(pixel.b, weight);
    BMM_Color_64 stored;
    if (ReadPixel(static_cast<float>(column), static_cast<float>(row), &stored)) {
        pixel.r = static_cast<std::uint16_t>((stored.r + pixel.r) / 2);
        pixel.g = static_cast<std::uint16_t>((stored.g + pixel.g) / 2);
        pixel.b = static_cast<std::uint16_t>((stored.b + pixel.b) / 2);
        pixel.a = kOpaque;
    }
    WritePixel(column, row, pixel);
}
