// Pictures and bitmaps for the engine and render-pass tests.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "bmm/Bitmap.h"
#include "engine/AxisCorners.h"
#include "engine/ImageWarper.h"
#include "flt/ImageFilter.h"

using Pixels = std::vector<BMM_Color_64>;

inline bool operator==(const BMM_Color_64& a, const BMM_Color_64& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

// A pixel that names its own place: r = column, g = row, b = a mix of both,
// alpha neither 0 nor opaque, so every output pixel shows which sources
// reached it.
inline BMM_Color_64 CoordinatePixel(int x, int y)
{
    return {static_cast<std::uint16_t>(x * 37 + 11), static_cast<std::uint16_t>(y * 53 + 7),
            static_cast<std::uint16_t>(x * 1009 + y * 7919), 0x1234};
}

inline Pixels CoordinatePicture(int width, int height)
{
    Pixels pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.push_back(CoordinatePixel(x, y));
    return pixels;
}

inline Pixels RandomPicture(int width, int height, std::mt19937& random)
{
    std::uniform_int_distribution<int> channel(0, 0xFFFF);
    Pixels pixels(static_cast<std::size_t>(width) * height);
    for (BMM_Color_64& pixel : pixels)
        pixel = {static_cast<std::uint16_t>(channel(random)), static_cast<std::uint16_t>(channel(random)),
                 static_cast<std::uint16_t>(channel(random)), static_cast<std::uint16_t>(channel(random))};
    return pixels;
}

// Memory storage that also counts the host calls made on it, by kind.
class CountingStorage : public MemoryBitmapStorage {
public:
    using MemoryBitmapStorage::MemoryBitmapStorage;
    int GetPixels(int x, int y, int count, BMM_Color_64* pixels) override
    {
        (count == 1 ? singleReads : runReads)++;
        return MemoryBitmapStorage::GetPixels(x, y, count, pixels);
    }
    int PutPixels(int x, int y, int count, const BMM_Color_64* pixels) override
    {
        ++writes;
        return MemoryBitmapStorage::PutPixels(x, y, count, pixels);
    }
    int singleReads = 0;
    int runReads = 0;
    int writes = 0;
};

// A host bitmap holding `pixels`, with its storage kept for inspection.
struct TestBitmap {
    TestBitmap(int width, int height, const Pixels& pixels)
    {
        auto owned = std::make_unique<CountingStorage>(static_cast<std::uint16_t>(width),
                                                       static_cast<std::uint16_t>(height));
        storage = owned.get();
        std::copy(pixels.begin(), pixels.end(), storage->Pixels());
        bitmap = Bitmap(std::move(owned));
    }
    Pixels Contents() const
    {
        const std::size_t count = static_cast<std::size_t>(bitmap.Width()) * bitmap.Height();
        return Pixels(storage->Pixels(), storage->Pixels() + count);
    }
    Bitmap bitmap;
    CountingStorage* storage = nullptr;
};

inline ImageFilterInfo FrameInfo(int current, int first, int count)
{
    ImageFilterInfo info;
    info.queueRange = FrameRange(0, 0, current);
    info.filterRange = FrameRange(first, count, 0);
    return info;
}

// Warps `picture` onto the quad with the engine and returns the written-back
// frame.
inline Pixels EngineWarp(int width, int height, const Pixels& picture, const QuadCorners& q)
{
    TestBitmap frame(width, height, picture);
    ImageFilterInfo info = FrameInfo(0, 0, 1);
    ImageWarper engine(nullptr, &info, &frame.bitmap);
    engine.WarpToQuad(q[0], q[1], q[2], q[3]);
    engine.WriteBack();
    return frame.Contents();
}
