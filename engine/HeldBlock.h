// The deposits of the quad warp (QuadWarp.cpp), two working pixels at a
// time in one SSE2 register: what a deposit averages with, the exact mean,
// and the 2 x 2 block of working pixels kept in registers between deposits.
// Every result is the bytes of BlendPixel with weight 1, as the plain warp
// in tests/ReferenceWarp.h checks (QuadWarp.FastWarpMatchesReferenceByteForByte).
#pragma once

#ifndef __SSE2__
#error "the quad warp is written for SSE2: x86-64, or 32-bit x86 with -msse2"
#endif

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "bmm/Bitmap.h"

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
