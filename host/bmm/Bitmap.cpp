#include "bmm/Bitmap.h"

#include <algorithm>
#include <cstddef>

BitmapStorage::~BitmapStorage() = default;

MemoryBitmapStorage::MemoryBitmapStorage(std::uint16_t width, std::uint16_t height)
    : BitmapStorage(BitmapInfo(width, height)),
      owned_(static_cast<std::size_t>(width) * height, BMM_Color_64{0, 0, 0, 0}), pixels_(owned_.data())
{}

MemoryBitmapStorage::MemoryBitmapStorage(std::uint16_t width, std::uint16_t height, BMM_Color_64* pixels)
    : BitmapStorage(BitmapInfo(width, height)), pixels_(pixels)
{}

namespace {

// Copies a run of pixels. Filters read single pixels at a time in their inner
// loops, so that case is a plain assignment rather than a library call.
inline void CopyRun(const BMM_Color_64* from, int count, BMM_Color_64* to)
{
    if (count == 1)
        *to = *from;
    else
        std::copy_n(from, count, to);
}

}  // namespace

int MemoryBitmapStorage::GetPixels(int x, int y, int count, BMM_Color_64* pixels)
{
    // Filters read one pixel at a time in their inner loops: a single pixel
    // inside the bitmap needs no run clipping.
    const unsigned width = Info().Width();
    if (count == 1 && static_cast<unsigned>(x) < width && static_cast<unsigned>(y) < Info().Height()) {
        *pixels = pixels_[static_cast<std::size_t>(y) * width + static_cast<unsigned>(x)];
        return 1;
    }
    int skip = 0;
    if (!ClipRun(x, y, count, skip))
        return 0;
    const std::size_t start = static_cast<std::size_t>(y) * Info().Width() + (x + skip);
    CopyRun(pixels_ + start, count, pixels + skip);
    return 1;
}

int MemoryBitmapStorage::PutPixels(int x, int y, int count, const BMM_Color_64* pixels)
{
    int skip = 0;
    if (!ClipRun(x, y, count, skip))
        return 0;
    const std::size_t start = static_cast<std::size_t>(y) * Info().Width() + (x + skip);
    CopyRun(pixels + skip, count, pixels_ + start);
    return 1;
}

std::unique_ptr<Bitmap> CreateMemoryBitmap(std::uint16_t width, std::uint16_t height)
{
    return std::make_unique<Bitmap>(std::make_unique<MemoryBitmapStorage>(width, height));
}

std::unique_ptr<Bitmap> CreateBitmapOver(BMM_Color_64* pixels, std::uint16_t width, std::uint16_t height)
{
    return std::make_unique<Bitmap>(std::make_unique<MemoryBitmapStorage>(width, height, pixels));
}
