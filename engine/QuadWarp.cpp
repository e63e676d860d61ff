#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "engine/HeldBlock.h"
#include "engine/ImageWarper.h"
#include "engine/PairPositions.h"

namespace {

constexpr std::uint16_t kOpaque = 0xFFFF;

std::uint16_t Scaled(std::uint16_t channel, float weight)
{
    const double product = static_cast<double>(channel) * weight;
    // Written so that a NaN weight scales to 0.
    return product > 0 ? static_cast<std::uint16_t>(std::min(product, 65535.0)) : 0;
}

// How many source pixels are read from the host, one call each, before they
// are deposited. The host call may clobber every vector register, so the
// deposits run between the calls, not among them; the host bitmap does not
// change during the warp, so reading a little ahead reads the same pixels.
constexpr int kRunLength = 64;

// How far ahead, in source pixels, the warp asks the processor to fetch the
// working pixels that a deposit will need.
constexpr double kPrefetchDistance = 24;

// The offset in bytes from a block to the block kPrefetchDistance source
// pixels further along the row, given the position's step per source column,
// when the blocks walk slantwise: then the lower row of the block ahead is
// one that no deposit has touched for a whole source row and, in a large
// frame, is out in memory, and the hardware does not see the pattern by
// itself. 0, for no prefetch, when the blocks walk along a row (the hardware
// follows it) or along a column (a cache line holds 8 pixels of a row, so the
// source rows before brought the lines in), or the step gives no sensible
// offset (huge or not a number).
std::uintptr_t PrefetchBytes(double stepX, double stepY, int columns, int rows)
{
    const double aheadX = kPrefetchDistance * stepX, aheadY = kPrefetchDistance * stepY;
    if (!(std::abs(aheadX) < columns && std::abs(aheadY) < rows))
        return 0;
    const std::ptrdiff_t rowsAhead = std::lround(aheadY), columnsAhead = std::lround(aheadX);
    if (rowsAhead == 0 || columnsAhead == 0)
        return 0;
    return static_cast<std::uintptr_t>(rowsAhead * columns + columnsAhead) * sizeof(BMM_Color_64);
}

// Reads `count` pixels of `row` from `column` on, one host call each. Kept
// apart from the deposits so that the loop around the host call holds
// nothing the call could clobber.
__attribute__((noinline)) void ReadRun(Bitmap& source, int column, int row, int count, BMM_Color_64* run)
{
    for (int k = 0; k < count; ++k) {
        run[k] = BMM_Color_64{0, 0, 0, 0};
        source.GetPixels(column + k, row, 1, run + k);
    }
}

}  // namespace

void ImageWarper::WarpToQuad(Point2 p0, Point2 p1, Point2 p2, Point2 p3)
{
    if (!workBuffer)
        return;  // empty frame (nothing to map, and W or H would divide by 0) or no buffer
    const double w = width, h = height;
    const double area = static_cast<double>(static_cast<std::int64_t>(width) * height);
    // The six steps, each rounded to float. Every difference and sum of
    // corner coordinates is taken in double.
    const __m128d rowSteps = FloatPair((static_cast<double>(p2.x) - p0.x) / h, (static_cast<double>(p2.y) - p0.y) / h);
    const __m128d columnSteps = FloatPair((static_cast<double>(p3.x) - p0.x) / w,
                                          (static_cast<double>(p3.y) - p0.y) / w);
    const __m128d crossSteps = FloatPair((static_cast<double>(p1.x) + p0.x - p2.x - p3.x) / area,
                                         (static_cast<double>(p1.y) + p0.y - p2.y - p3.y) / area);
    PairPositions positions(rowSteps, columnSteps, crossSteps, p0);

    FillBackground();

    // Positions whose whole 2 x 2 block lies inside the frame (ceilings in
    // [1, W - 1] x [1, H - 1]) take the fast deposit; those whose block can
    // reach the frame at all (ceilings in [0, W] x [0, H]) go through
    // SplatPixel's checks; the rest, NaN included, would be dropped anyway.
    const std::size_t lastInsideColumn = static_cast<std::size_t>(width) - 1;
    const std::size_t lastInsideRow = static_cast<std::size_t>(height) - 1;
    // The source alpha never reaches the output.
    const __m128i opaque = _mm_set1_epi64x(static_cast<long long>(std::uint64_t{kOpaque} << 48));
    const std::size_t stride = static_cast<std::size_t>(width);

    // A run at a time: the host's pixels, then where each goes, then the
    // deposits. Working out the places first, apart from the deposits,
    // lets the processor overlap their long arithmetic instead of waiting
    // on it before each deposit.
    BMM_Color_64 run[kRunLength];
    struct Pair {
        __m128 places;     // (x, x, y, y) of the two pixels
        __m128i ceilings;  // their ceilings, in the same lanes
    } pairs[kRunLength / 2];

    // Deposits the pixel that is `lane` of `pair`: on its block, or, off
    // the fast path, through the checks for a block at the frame's edge.
    std::uintptr_t aheadBytes = 0;
    auto depositPixel = [&](HeldBlock& block, const BMM_Color_64* read, const Pair& pair, int lane, auto prefetch) {
        alignas(16) std::uint32_t ceiling[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(ceiling), pair.ceilings);
        // Zero-based, a ceiling in [1, W - 1] lies below W - 1; NaN and
        // positions beyond the int range have ceilings far outside.
        const std::size_t column = ceiling[lane] - 1u, row = ceiling[2 + lane] - 1u;
        if (column < lastInsideColumn && row < lastInsideRow) {
            const std::size_t index = row * stride + column;
            // Only a hint: the address is formed as an integer, may lie
            // outside the buffer, and a prefetch never faults.
            if constexpr (decltype(prefetch)::value)
                _mm_prefetch(reinterpret_cast<const char*>(
                                 reinterpret_cast<std::uintptr_t>(workBuffer + index + stride) + aheadBytes),
                             _MM_HINT_T0);
            const __m128i source = _mm_or_si128(LoadOne(read), opaque);
            block.DepositAt(index, _mm_unpacklo_epi64(source, source));
            return;
        }
        alignas(16) float place[4];
        _mm_store_ps(place, pair.places);
        const float x = place[lane], y = place[2 + lane];
        if (x > -1 && x <= width && y > -1 && y <= height) {
            block.Release();
            BMM_Color_64 pixel = *read;
            pixel.a = kOpaque;
            SplatPixel(x, y, pixel);
        }
    };

    for (int j = 0; j < height; ++j) {
        // How far the position moves per source column along this row.
        const __m128d rowStep = _mm_add_pd(columnSteps, _mm_mul_pd(_mm_set1_pd(j), crossSteps));
        aheadBytes = PrefetchBytes(_mm_cvtsd_f64(rowStep), _mm_cvtsd_f64(_mm_unpackhi_pd(rowStep, rowStep)), width,
                                   height);
        for (int first = 0; first < width; first += kRunLength) {
            const int count = std::min(kRunLength, width - first);
            ReadRun(*bitmap, first, j, count, run);

            positions.Start(j, first);
            for (int k = 0; k < count; k += 2) {
                const __m128 place = positions.Next();
                pairs[k / 2].places = place;
                pairs[k / 2].ceilings = Ceilings(place);
            }

            // The prefetching and the plain deposits are two loops, so that
            // a row that needs no prefetch pays nothing for it. The held
            // block lives for one run, which keeps it in registers.
            auto depositRun = [&](auto prefetch) {
                HeldBlock block(workBuffer, stride);
                const BMM_Color_64* const end = run + count;
                const Pair* pair = pairs;
                for (const BMM_Color_64* pixel = run; pixel < end; pixel += 2, ++pair) {
                    depositPixel(block, pixel, *pair, 0, prefetch);
                    if (pixel + 1 < end)
                        depositPixel(block, pixel + 1, *pair, 1, prefetch);
                }
                block.Release();
            };
            if (aheadBytes != 0)
                depositRun(std::true_type{});
            else
                depositRun(std::false_type{});
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
