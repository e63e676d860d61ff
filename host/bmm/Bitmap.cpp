#include "bmm/Bitmap.h"

#include <algorithm>
#include <cstddef>

BitmapStorage::~BitmapStorage() = default;

bool BitmapStorage::ClipRun(int x, int y, int& count, int& skip) const
{
    const int width = info_.Width();
    if (y < 0 || y >= info_.Height() || count <= 0 || x >= width)
        return false;
    skip = x < 0 ? static_cast<int>(std::min<long long>(-static_cast<long long>(x), count)) : 0;
    const long long end = std::min<long long>(static_cast<long long>(x) + count, width);
    const long long first = static_cast<long long>(x) + skip;
    count = static_cast<int>(end - first);
    return count > 0;
}

MemoryBitmapStorage::MemoryBitmapStorage(std::uint16_t width, std::uint16_t height)
    : BitmapStorage(BitmapInfo(width, height)),
      pixels_(static_cast<std::size_t>(width) * height, BMM_Color_64{0, 0, 0, 0})
{
}

int MemoryBitmapStorage::GetPixels(int x, int y, int count, BMM_Color_64* pixels)
{
    int skip = 0;
    if (!ClipRun(x, y, count, skip))
        return 0;
    const std::size_t start = static_cast<std::size_t>(y) * Info().Width() + (x + skip);
    std::copy_n(pixels_.data() + start, count, pixels + skip);
    return 1;
}

int MemoryBitmapStorage::PutPixels(int x, int y, int count, const BMM_Color_64* pixels)
{
    int skip = 0;
    if (!ClipRun(x, y, count, skip))
        return 0;
    const std::size_t start = static_cast<std::size_t>(y) * Info().Width() + (x + skip);
    std::copy_n(pixels + skip, count, pixels_.data() + start);
    return 1;
}

std::unique_ptr<Bitmap> CreateMemoryBitmap(std::uint16_t width, std::uint16_t height)
{
    return std::make_unique<Bitmap>(std::make_unique<MemoryBitmapStorage>(width, height));
}
