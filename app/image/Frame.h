// A picture as the host hands it to a filter: a Bitmap with in-memory
// storage, plus direct access to its pixels for reading and writing files.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "bmm/Bitmap.h"

struct Frame {
    std::unique_ptr<Bitmap> bitmap;
    // Row-major, width x height, row 0 at the top; owned by `bitmap`.
    BMM_Color_64* pixels = nullptr;

    std::uint16_t Width() const { return bitmap->Width(); }
    std::uint16_t Height() const { return bitmap->Height(); }
    std::size_t PixelCount() const { return static_cast<std::size_t>(Width()) * Height(); }
    bool IsOpaque() const
    {
        return std::all_of(pixels, pixels + PixelCount(), [](const BMM_Color_64& p) { return p.a == 0xFFFF; });
    }

    // A transparent black frame; throws std::bad_alloc when memory runs out.
    static Frame Make(std::uint16_t width, std::uint16_t height)
    {
        Frame frame;
        frame.bitmap = CreateMemoryBitmap(width, height);
        // CreateMemoryBitmap always gives in-memory storage.
        frame.pixels = static_cast<MemoryBitmapStorage*>(frame.bitmap->Storage())->Pixels();
        return frame;
    }

    // A frame over the caller's `pixels`, which must outlive it.
    static Frame Over(BMM_Color_64* pixels, std::uint16_t width, std::uint16_t height)
    {
        Frame frame;
        frame.bitmap = CreateBitmapOver(pixels, width, height);
        frame.pixels = pixels;
        return frame;
    }
};
