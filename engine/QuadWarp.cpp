#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

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
// two registers (left column, right column) until a deposit goes
// elsewhere. The next block usually overlaps it (one column to the right
// along a row of source pixels, one row down along a column): the shared
// pixels then stay in registers instead of going through memory between two
// deposits, and every working pixel still takes its deposits in source
// order. A held block is covered all over, so only the pixels it takes in
// are looked at.
class HeldBlock {
public:
    HeldBlock(BMM_Color_64* pixels, std::size_t rowLength) : buffer(pixels), stride(rowLength) {}

    // Deposits `source` (the pixel in both halves) on the block whose
    // upper-left pixel is element `index`, which becomes the held one.
    void DepositAt(std::size_t index, __m128i source)
    {
        const std::size_t step = index - at;
        if (step == 1) {  // one column right: the right column becomes the left one
            StoreColumn(at, left);
            left = right;
            right = Partner(LoadColumn(index + 1), source);
        } else if (step == stride) {  // one row down: the bottom row becomes the top one
            StoreOne(buffer + at, left);
            StoreOne(buffer + at + 1, right);
            const __m128i below = Partner(LoadTwo(buffer + index + stride, buffer + index + stride + 1), source);
            left = HighThenLow(left, below);
            right = HighThenLow(right, _mm_unpackhi_epi64(below, below));
        } else if (step == 0 - stride) {  // one row up: the top row becomes the bottom one
            StoreOne(buffer + at + stride, _mm_unpackhi_epi64(left, left));
            StoreOne(buffer + at + stride + 1, _mm_unpackhi_epi64(right, right));
            const __m128i above = Partner(LoadTwo(buffer + index, buffer + index + 1), source);
            left = _mm_unpacklo_epi64(above, left);
            right = _mm_unpacklo_epi64(_mm_unpackhi_epi64(above, above), right);
        } else if (step == 0 - std::size_t{1}) {  // one column left: the left column becomes the right one
            StoreColumn(at + 1, right);
            right = left;
            left = Partner(LoadColumn(index), source);
        } else if (step != 0) {
            Release();
            left = Partner(LoadColumn(index), source);
            right = Partner(LoadColumn(index + 1), source);
        }
        at = index;
        left = Mean(left, source);
        right = Mean(right, source);
    }

    // Writes the held block back; the buffer is then whole again.
    void Release()
    {
        if (at == kNone)
            return;
        StorePair(buffer + at, _mm_unpacklo_epi64(left, right));
        StorePair(buffer + at + stride, _mm_unpackhi_epi64(left, right));
        at = kNone;
    }

private:
    // No block is held. No element index of a buffer lies within a row of
    // it (nor does any within a row of SIZE_MAX), so a deposit after
    // Release always loads its block.
    static constexpr std::size_t kNone = SIZE_MAX / 2;

    // (the high half of `pair`, the low half of `next`)
    static __m128i HighThenLow(__m128i pair, __m128i next)
    {
        return _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(pair), _mm_castsi128_pd(next), 0x1));
    }

    // (element `index`, the element below it)
    __m128i LoadColumn(std::size_t index) const { return LoadTwo(buffer + index, buffer + index + stride); }
    void StoreColumn(std::size_t index, __m128i column)
    {
        StoreOne(buffer + index, column);
        StoreOne(buffer + index + stride, _mm_unpackhi_epi64(column, column));
    }

    BMM_Color_64* buffer;
    std::size_t stride;
    __m128i left = _mm_setzero_si128(), right = _mm_setzero_si128();
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
    const std::size_t lastInsideColumn = static_cast<std::size_t>(width) - 1;
    const std::size_t lastInsideRow = static_cast<std::size_t>(height) - 1;
    // The source alpha never reaches the output.
    const __m128i opaque = _mm_set1_epi64x(static_cast<long long>(std::uint64_t{kOpaque} << 48));
    const std::size_t stride = static_cast<std::size_t>(width);
    HeldBlock block(workBuffer, stride);


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
    auto depositPixel = [&](const BMM_Color_64* read, const Pair& pair, int lane) {
        alignas(16) std::uint32_t ceiling[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(ceiling), pair.ceilings);
        // Zero-based, a ceiling in [1, W - 1] lies below W - 1; NaN and
        // positions beyond the int range have ceilings far outside.
        const std::size_t column = ceiling[lane] - 1u, row = ceiling[2 + lane] - 1u;
        if (column < lastInsideColumn && row < lastInsideRow) {
            const __m128i source = _mm_or_si128(LoadOne(read), opaque);
            block.DepositAt(row * stride + column, _mm_unpacklo_epi64(source, source));
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
                pairs[k / 2].ceilings = Ceilings(place);
            }

            if (count % 2 != 0) {
                // A run of odd length ends in half a pair: its second pixel
                // lies beyond the run and is neither deposited nor checked.
                Pair& last = pairs[count / 2];
                alignas(16) float place[4];
                alignas(16) std::uint32_t ceiling[4];
                _mm_store_ps(place, last.places);
                _mm_store_si128(reinterpret_cast<__m128i*>(ceiling), last.ceilings);
                place[1] = place[3] = std::numeric_limits<float>::quiet_NaN();
                ceiling[1] = ceiling[3] = 0;
                last.places = _mm_load_ps(place);
                last.ceilings = _mm_load_si128(reinterpret_cast<const __m128i*>(ceiling));
            }
            const BMM_Color_64* pixel = run;
            for (const Pair* pair = pairs; pair != pairs + (count + 1) / 2; ++pair, pixel += 2) {
                depositPixel(pixel, *pair, 0);
                depositPixel(pixel + 1, *pair, 1);
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
