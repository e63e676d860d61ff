// Where the quad warp (QuadWarp.cpp) sends source pixels, two neighbours of
// a row at a time in SSE2 registers, bit for bit as the mapping's formula in
// double gives it (the plain warp in tests/ReferenceWarp.h computes it one
// pixel at a time).
#pragma once

#ifndef __SSE2__
#error "the quad warp is written for SSE2: x86-64, or 32-bit x86 with -msse2"
#endif

#include <emmintrin.h>

#include "geom/Point2.h"

// (x, y), each rounded to float, widened back into the two lanes of a
// register. Written with the vector conversion: GCC 12 at -O2 drops the
// rounding when two such floats are packed with _mm_set_pd.
inline __m128d FloatPair(double x, double y)
{
    return _mm_cvtps_pd(_mm_set_ps(0.0f, 0.0f, static_cast<float>(y), static_cast<float>(x)));
}

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
          columnStepY(_mm_unpackhi_pd(columnSteps, columnSteps)), crossX(_mm_unpacklo_pd(crossSteps, crossSteps)),
          crossY(_mm_unpackhi_pd(crossSteps, crossSteps)), originX(_mm_set1_pd(origin.x)),
          originY(_mm_set1_pd(origin.y))
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
            _mm_add_pd(_mm_add_pd(_mm_mul_pd(products, crossX), _mm_mul_pd(columns, columnStepX)), rowTermX), originX);
        const __m128d y = _mm_add_pd(
            _mm_add_pd(_mm_add_pd(_mm_mul_pd(products, crossY), rowTermY), _mm_mul_pd(columns, columnStepY)), originY);
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
