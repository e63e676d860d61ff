// The per-frame engine's base: a working buffer of the frame's pixels that
// an effect composes into, then writes back into the host's bitmap.
//
// The buffer is width x height BMM_Color_64, row-major, row 0 (the bitmap's
// first line, the top of the picture) first, rows without gaps: pixel
// (x, y) is element y * width + x. An alpha of 0 in it marks a pixel that
// nothing has been deposited on.
//
// An engine lives for one render call on the caller's stack and is destroyed
// by its exact type; it releases its buffer and never writes the host's
// bitmap except through WriteBack.
//
// Defined in PixelProcessor.cpp.
#pragma once

#include <cstddef>

#include "bmm/Bitmap.h"
#include "flt/ImageFilter.h"
#include "win32/Win32.h"

class PixelProcessor {
public:
    // Keeps the three pointers (none owned), reads the bitmap's size once and
    // captures its pixels into the working buffer. When a frame of at least
    // one pixel cannot be held in memory the engine is left without a buffer
    // (HasBuffer() is false) and nothing is read or written through it.
    PixelProcessor(HWND owner, ImageFilterInfo* info, Bitmap* source);
    ~PixelProcessor();
    PixelProcessor(const PixelProcessor&) = delete;
    PixelProcessor& operator=(const PixelProcessor&) = delete;

    // False only when the frame has pixels but no working buffer: then fill,
    // warp and write-back do nothing and the caller must report failure.
    bool HasBuffer() const { return workBuffer != nullptr || width == 0 || height == 0; }
    int Width() const { return width; }
    int Height() const { return height; }

    // Puts the working buffer back into the bitmap, one host call per row.
    virtual void WriteBack();
    // Sets every working pixel to backgroundColor (transparent black).
    void FillBackground();

    // Copies working pixel (x, y), truncated to whole pixels, into *out and
    // returns 1 when it lies inside the frame and is covered (alpha not 0);
    // returns 0 when it is uncovered, and 0 leaving *out alone when the
    // position lies outside the frame or is not a number.
    int ReadPixel(float x, float y, BMM_Color_64* out) const;
    // Stores a working pixel; positions outside the frame are dropped.
    void WritePixel(int column, int row, BMM_Color_64 pixel);

    // How far the current frame lies into the filter's active range, in whole
    // percent (ProgressPercentOf in engine/FrameProgress.h).
    int ProgressPercent() const;

protected:
    // A new calloc'ed buffer holding the bitmap's pixels, owned by the
    // caller; null when the frame is empty or cannot be held in memory.
    BMM_Color_64* CaptureBitmap();

    std::size_t PixelIndex(int column, int row) const
    {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(column);
    }

    HWND window;  // the host's window for this render; kept with the engine's data, never read
    ImageFilterInfo* filterInfo;
    Bitmap* bitmap;
    BMM_Color_64* workBuffer;
    BMM_Color_64 backgroundColor;
    int width;
    int height;
};
