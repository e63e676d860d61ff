// The frame engine that draws the picture turned: a quad warp plus the three
// axis projections that compute its corners. Adds no data to
// PixelProcessor and keeps its WriteBack.
//
// Coordinates are destination pixel units: x along columns, y along rows,
// row 0 at the top. Angles are degrees.
//
// Defined in QuadWarp.cpp (WarpToQuad, SplatPixel, BlendPixel, with the
// warp's SSE2 pieces in HeldBlock.h and PairPositions.h) and
// AxisProjections.cpp (the turns, with the corners from AxisCorners.cpp).
#pragma once

#include "engine/PixelProcessor.h"
#include "geom/Point2.h"

class ImageWarper final : public PixelProcessor {
public:
    using PixelProcessor::PixelProcessor;

    // Clears the working buffer to transparent black and sends every source
    // pixel (read from the untouched host bitmap, one pixel per host call,
    // its alpha forced to opaque) to its bilinear place in the quadrilateral:
    // source (0, 0) goes to p0, (W, H) to p1, (0, H) to p2, (W, 0) to p3.
    // Each lands on a 2 x 2 block of working pixels, averaging with what is
    // there. Does nothing for an empty frame or without a buffer.
    void WarpToQuad(Point2 p0, Point2 p1, Point2 p2, Point2 p3);

    // Deposits a pixel on the 2 x 2 block whose lower-right pixel is
    // (ceil x, ceil y), in the order (-1, -1), (-1, 0), (0, -1), (0, 0).
    // A position whose block cannot reach the frame (this includes non-finite
    // positions) deposits nothing.
    void SplatPixel(float x, float y, BMM_Color_64 pixel);

    // Scales r, g, b by weight (truncated, within 0 to 0xFFFF) and writes the
    // pixel at (column, row): as it is onto an uncovered pixel, as the
    // rounded-down mean with alpha 0xFFFF onto a covered one.
    void BlendPixel(int column, int row, BMM_Color_64 pixel, float weight);

    // Turn about the horizontal axis through the middle of the bottom edge
    // (pivotOffset -1), the centre (0) or the middle of the top edge (+1),
    // with perspective: rows are foreshortened by cos(angle) and widen on one
    // side of the pivot row, narrow on the other; perspective is halved for
    // the centre pivot. Any other pivot offset leaves the buffer as it is.
    void TurnAboutX(int pivotOffset, float angle, float perspective);
    // As TurnAboutX about the vertical axis, through the middle of the left
    // edge (-1), the centre (0) or the middle of the right edge (+1).
    void TurnAboutY(int pivotOffset, float angle, float perspective);
    // Turn in the picture plane, counter-clockwise as displayed for a
    // positive angle, about the bottom-left corner (-1), the centre (0) or
    // the top-right corner (+1).
    void TurnAboutZ(int pivotOffset, float angle);
};
