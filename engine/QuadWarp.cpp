#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "engine/ImageWarper.h"

namespace {

constexpr std::uint16_t kOpaque = 0xFFFF;

std::uint16_t Scaled(std::uint16_t channel, float weight)
{
    const double product = static_cast<double>(channel) * weight;
    // Written so that a NaN weight scales to 0.
    return product > 0 ? static_cast<std::uint16_t>(std::min(product, 65535.0)) : 0;
}

// The shortcuts below must give the bytes of the plain warp in
// tests/ReferenceWarp.h; QuadWarp.FastWarpMatchesReferenceByteForByte
// (tests/EngineWarpTest.cpp) checks that on random quads and pictures.

// How many source pixels are read from the host, one call each, before they
// are deposited. The host call may clobber every vector register, so the
// deposits run between the calls, not among them; the host bitmap does not
// change during the warp, so reading a little ahead reads the same pixels.
constexpr int kRunLength = 64;

// (x, y), each rounded to float, widened back into the two lanes of a
// register. Written with the vector conversion: GCC 12 at -O2 drops the
// rounding when two such floats are packed with _mm_set_pd.
inline __m128d FloatPair(double x, double y)
{
    return _mm_cvtps_pd(_mm_set_ps(0.0f, 0.0f, static_cast<float>(y), static_cast<float>(x)));
}

// ---- Deposits: two neighbouring working pixels in one register ----
//
// A working pixel is either cleared (all bits 0) or has been deposited on
// (alpha, its top 16 bits, 0xFFFF). One deposit of an opaque source pixel
// gives the same result as BlendPixel with weight 1: a cleared pixel takes
// the source as it is, a covered one the rounded-down mean of each channel.

// What a deposit averages with: the stored pixel where it is covered, the
// source itself where it is cleared (the mean of a pixel with itself is the
// pixel).
inline __m128i Partner(__m128i stored, __m128i source)
{
    const __m128i covered = _mm_srai_epi32(_mm_shuffle_epi32(stored, _MM_SHUFFLE(3, 3, 1, 1)), 31);
    return _mm_or_si128(stored, _mm_andnot_si128(covered, source));
}

// The rounded-down mean of each 16-bit channel, exact: (a & b) + ((a ^ b) >> 1).
inline __m128i Mean(__m128i a, __m128i b)
{
    return _mm_add_epi16(_mm_and_si128(a, b), _mm_srli_epi16(_mm_xor_si128(a, b), 1));
}

// Working pixels are read 8 bytes at a time: a load never spans two earlier
// stores, so it always takes its bytes straight from the store that wrote
// them.
inline __m128i LoadOne(const BMM_Color_64* at) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)); }
inline __m128i LoadTwo(const BMM_Color_64* first, const BMM_Color_64* second)
{
    return _mm_unpacklo_epi64(LoadOne(first), LoadOne(second));
}
inline void StoreOne(BMM_Color_64* at, __m128i pixel) { _mm_storel_epi64(reinterpret_cast<__m128i*>(at), pixel); }
inline void StorePair(BMM_Color_64* at, __m128i pair) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), pair); }

// The 2 x 2 block of working pixels that the last deposit went to, kept in
// two registers (top row, bottom row) until a deposit goes elsewhere. The
// next block usually overlaps it (one column to the right along a row of
// source pixels, one row down along a column): the shared pixels then stay
// in registers instead of going through memory between two deposits, and
// every working pixel still takes its deposits in source order. A held
// block is covered all over, so only the pixels it takes in are looked at.
class HeldBlock {
public:
    HeldBlock(BMM_Color_64* pixels, std::size_t rowLength) : buffer(pixels), stride(rowLength) {}

    // Deposits `source` (the pixel in both halves) on the block whose
    // upper-left pixel is element `index`, which becomes the held one.
    void DepositAt(std::size_t index, __m128i source)
    {
        const std::size_t step = index - at;
        if (step == 1) {  // one column right: the right column becomes the left one
            StoreOne(buffer + at, top);
            StoreOne(buffer + at + stride, bottom);
            const __m128i right = Partner(LoadTwo(buffer + index + 1, buffer + index + 1 + stride), source);
            top = _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(top), _mm_castsi128_pd(right), 0x1));
            bottom = _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(bottom), _mm_castsi128_pd(right), 0x3));
        } else if (step == stride) {  // one row down: the bottom row becomes the top one
            StorePair(buffer + at, top);
            top = bottom;
            bottom = Partner(LoadTwo(buffer + index + stride, buffer + index + stride + 1), source);
        } else if (step != 0) {
            Release();
            top = Partner(LoadTwo(buffer + index, buffer + index + 1), source);
            bottom = Partner(LoadTwo(buffer + index + stride, buffer + index + stride + 1), source);
        }
        at = index;
        top = Mean(top, source);
        bottom = Mean(bottom, source);
    }

    // Writes the held block back; the buffer is then whole again.
    void Release()
    {
        if (at == kNone)
            return;
        StorePair(buffer + at, top);
        StorePair(buffer + at + stride, bottom);
        at = kNone;
    }

private:
    // No block is held. No element index of a buffer lies within a row of
    // it (nor does any within a row of SIZE_MAX), so a deposit after
    // Release always loads its block.
    static constexpr std::size_t kNone = SIZE_MAX / 2;

    BMM_Color_64* buffer;
    std::size_t stride;
    __m128i top = _mm_setzero_si128(), bottom = _mm_setzero_si128();
    std::size_t at = kNone;
};

// ---- Where source pixels go ----

// The destination positions of two neighbouring source pixels of a row,
// computed as the mapping defines them, each in double and rounded once:
//   x = ((j i crossX + i columnStepX) + j rowStepX) + p0.x
//   y = ((j i crossY + j rowStepY) + i columnStepY) + p0.y
// with the two pixels in the two lanes of each register. The products j i
// and i are whole numbers below 2^32, stepped exactly; the row's terms are
// hoisted, which keeps every sum in its order.
class PairPositions {
public:
    PairPositions(__m128d rowSteps, __m128d columnSteps, __m128d crossSteps, Point2 origin)
        : rowStepX(_mm_unpacklo_pd(rowSteps, rowSteps)), rowStepY(_mm_unpackhi_pd(rowSteps, rowSteps)),
          columnStepX(_mm_unpacklo_pd(columnSteps, columnSteps)),
          columnStepY(_mm_unpackhi_pd(columnSteps, columnSteps)),
          crossX(_mm_unpacklo_pd(crossSteps, crossSteps)), crossY(_mm_unpackhi_pd(crossSteps, crossSteps)),
          originX(_mm_set1_pd(origin.x)), originY(_mm_set1_pd(origin.y))
    {}

    // Starts at columns (i, i + 1) of row j.
    void Start(int row, int column)
    {
        const __m128d j = _mm_set1_pd(row);
        rowTermX = _mm_mul_pd(j, rowStepX);
        rowTermY = _mm_mul_pd(j, rowStepY);
        columns = _mm_set_pd(column + 1.0, column);
        products = _mm_mul_pd(j, columns);
        columnsStep = _mm_set1_pd(2.0);
        productsStep = _mm_add_pd(j, j);
    }

    // (x of i, x of i + 1, y of i, y of i + 1); then steps to the next pair.
    __m128 Next()
    {
        const __m128d x = _mm_add_pd(
            _mm_add_pd(_mm_add_pd(_mm_mul_pd(products, crossX), _mm_mul_pd(columns, columnStepX)), rowTermX),
            originX);
        const __m128d y = _mm_add_pd(
            _mm_add_pd(_mm_add_pd(_mm_mul_pd(products, crossY), rowTermY), _mm_mul_pd(columns, columnStepY)),
            originY);
        columns = _mm_add_pd(columns, columnsStep);
        products = _mm_add_pd(products, productsStep);
        return _mm_movelh_ps(_mm_cvtpd_ps(x), _mm_cvtpd_ps(y));
    }

private:
    __m128d rowStepX, rowStepY, columnStepX, columnStepY, crossX, crossY, originX, originY;
    __m128d rowTermX, rowTermY, columns, products, columnsStep, productsStep;
};

// Ceilings of positions in (0, 2^31): truncate, and add 1 where that lost a
// fraction. Exactly the double ceiling converted to int.
inline __m128i Ceilings(__m128 positions)
{
    const __m128i whole = _mm_cvttps_epi32(positions);
    return _mm_sub_epi32(whole, _mm_castps_si128(_mm_cmplt_ps(_mm_cvtepi32_ps(whole), positions)));
}

// The element indexes, y W + x, of the upper-left pixels of the two blocks
// whose lower-right pixels are (ceilings of x, ceilings of y), in 64-bit
// lanes. `strides` holds W in its even 32-bit lanes; `offset` is -(W + 1).
inline __m128i BlockIndexes(__m128i ceilings, __m128i strides, __m128i offset)
{
    const __m128i rows = _mm_shuffle_epi32(ceilings, _MM_SHUFFLE(3, 3, 3, 2));
    const __m128i columns = _mm_unpacklo_epi32(ceilings, _mm_setzero_si128());
    return _mm_add_epi64(_mm_add_epi64(_mm_mul_epu32(rows, strides), columns), offset);
}

// The low lane's index. A buffer that a 32-bit process can hold has fewer
// than 2^29 elements, so there the low 32 bits are the whole index.
inline std::size_t LowIndex(__m128i indexes)
{
#if SIZE_MAX > UINT32_MAX
    return static_cast<std::size_t>(_mm_cvtsi128_si64(indexes));
#else
    return static_cast<std::size_t>(_mm_cvtsi128_si32(indexes));
#endif
}

// Marks a pixel whose block does not lie wholly inside the frame: all ones,
// beyond any element index (and on a 32-bit build, its low half is too).
constexpr std::size_t kOffInside = SIZE_MAX;

// Reads `count` pixels of `row` from `column` on, one host call each. Kept
// apart from the deposits so that the loop around the host call holds
// nothing the call could clobber.
__attribute__((noinline)) void ReadRun(Bitmap& source, int column, int row, int count, BMM_Color_64* run)
{
#pragma GCC unroll 4
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
    PairPositions positions(
        FloatPair((static_cast<double>(p2.x) - p0.x) / h, (static_cast<double>(p2.y) - p0.y) / h),
        FloatPair((static_cast<double>(p3.x) - p0.x) / w, (static_cast<double>(p3.y) - p0.y) / w),
        FloatPair((static_cast<double>(p1.x) + p0.x - p2.x - p3.x) / area,
                  (static_cast<double>(p1.y) + p0.y - p2.y - p3.y) / area),
        p0);

    FillBackground();

    // Positions whose whole 2 x 2 block lies inside the frame (ceilings in
    // [1, W - 1] x [1, H - 1]) take the fast deposit; those whose block can
    // reach the frame at all (ceilings in [0, W] x [0, H]) go through
    // SplatPixel's checks; the rest, NaN included, would be dropped anyway.
    // Lanes: (x, x, y, y) of two pixels.
    const float lastColumn = static_cast<float>(width - 1), lastRow = static_cast<float>(height - 1);
    const __m128 insideHigh = _mm_set_ps(lastRow, lastRow, lastColumn, lastColumn);
    // The source alpha never reaches the output.
    const __m128i opaque = _mm_set1_epi64x(static_cast<long long>(std::uint64_t{kOpaque} << 48));
    const std::size_t stride = static_cast<std::size_t>(width);
    HeldBlock block(workBuffer, stride);

    const __m128i strides = _mm_set1_epi32(width);
    const __m128i offset = _mm_set1_epi64x(-static_cast<long long>(width) - 1);

    // A run at a time: the host's pixels, then where each goes, then the
    // deposits. Working out the places first, apart from the deposits,
    // lets the processor overlap their long arithmetic instead of waiting
    // on it before each deposit.
    BMM_Color_64 run[kRunLength];
    struct Pair {
        __m128 places;                 // (x, x, y, y) of the two pixels
        std::uint64_t blocks[2];       // upper-left element of each one's block, or kOffInside
    } pairs[kRunLength / 2];

    // Deposits the pixel that is `lane` of `pair`: on its block, or, off
    // the fast path, through the checks for a block at the frame's edge.
    auto depositPixel = [&](const BMM_Color_64* read, const Pair& pair, int lane) {
        const std::size_t index = static_cast<std::size_t>(pair.blocks[lane]);
        if (index != kOffInside) {
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
        for (int first = 0; first < width; first += kRunLength) {
            const int count = std::min(kRunLength, width - first);
            ReadRun(*bitmap, first, j, count, run);

            positions.Start(j, first);
            for (int k = 0; k < count; k += 2) {
                const __m128 place = positions.Next();
                pairs[k / 2].places = place;
                // Per pixel, all ones where both its x and its y lie inside.
                const __m128 insideLanes = _mm_and_ps(_mm_cmplt_ps(_mm_setzero_ps(), place), _mm_cmple_ps(place, insideHigh));
                const __m128i inside = _mm_castps_si128(_mm_and_ps(insideLanes, _mm_movehl_ps(insideLanes, insideLanes)));
                const __m128i indexes = BlockIndexes(Ceilings(place), strides, offset);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(pairs[k / 2].blocks),
                                 _mm_or_si128(indexes, _mm_xor_si128(_mm_unpacklo_epi32(inside, inside), _mm_set1_epi32(-1))));
            }

            for (int k = 0; k < count; k += 2) {
                depositPixel(run + k, pairs[k / 2], 0);
                if (k + 1 < count)
                    depositPixel(run + k + 1, pairs[k / 2], 1);
            }
            block.Release();
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
