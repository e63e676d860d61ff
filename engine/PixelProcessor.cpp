#include "engine/PixelProcessor.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "engine/FrameProgress.h"

namespace {

// Whether width x height pixels can be one allocation. A 65535 x 65535
// frame needs 32 GiB: a 32-bit process must refuse it before the byte count
// wraps.
bool Addressable(int width, int height)
{
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    return pixels <= SIZE_MAX / sizeof(BMM_Color_64);
}

// Asks the kernel to back the aligned middle of a large buffer with 2 MiB
// pages. The capture writes a fresh buffer once and the warp then deposits
// in scattered order: large pages take far fewer faults to hand over and
// far fewer TLB misses to walk. Only a hint; elsewhere nothing is done.
void AdviseHugePages(void* buffer, std::size_t bytes)
{
#ifdef __linux__
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(buffer) + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(buffer) + bytes) & ~(kHuge - 1);
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)buffer;
    (void)bytes;
#endif
}

}  // namespace

PixelProcessor::PixelProcessor(HWND owner, ImageFilterInfo* info, Bitmap* source)
    : window(owner), filterInfo(info), bitmap(source), workBuffer(nullptr), backgroundColor{0, 0, 0, 0},
      width(source->Width()), height(source->Height())
{
    workBuffer = CaptureBitmap();
}

PixelProcessor::~PixelProcessor() { std::free(workBuffer); }

BMM_Color_64* PixelProcessor::CaptureBitmap()
{
    const int frameWidth = bitmap->Width();
    const int frameHeight = bitmap->Height();
    if (frameWidth == 0 || frameHeight == 0 || !Addressable(frameWidth, frameHeight))
        return nullptr;
    auto* buffer = static_cast<BMM_Color_64*>(std::calloc(
        static_cast<std::size_t>(frameWidth) * static_cast<std::size_t>(frameHeight), sizeof(BMM_Color_64)));
    if (!buffer)
        return nullptr;
    AdviseHugePages(buffer, static_cast<std::size_t>(frameWidth) * frameHeight * sizeof(BMM_Color_64));
    for (int y = 0; y < frameHeight; ++y)
        bitmap->GetPixels(0, y, frameWidth, buffer + static_cast<std::size_t>(y) * frameWidth);
    return buffer;
}

// The bitmap keeps its size during a render call, so the stored size is the
// size the buffer was captured with.
void PixelProcessor::WriteBack()
{
    if (!workBuffer)
        return;
    for (int y = 0; y < height; ++y)
        bitmap->PutPixels(0, y, width, workBuffer + PixelIndex(0, y));
}

void PixelProcessor::FillBackground()
{
    if (!workBuffer)
        return;
    // A local copy: the buffer cannot alias it, so the stores can be wide.
    const BMM_Color_64 background = backgroundColor;
    std::fill_n(workBuffer, PixelIndex(0, height), background);
}

int PixelProcessor::ProgressPercent() const
{
    return ProgressPercentOf(filterInfo->queueRange.Current(), filterInfo->filterRange.First(),
                             filterInfo->filterRange.Count());
}

int PixelProcessor::ReadPixel(float x, float y, BMM_Color_64* out) const
{
    // Written as "inside" tests so that a NaN position counts as outside.
    const bool inside = x >= 0 && x < static_cast<float>(width) && y >= 0 && y < static_cast<float>(height);
    if (!inside || !workBuffer)
        return 0;
    *out = workBuffer[PixelIndex(static_cast<int>(x), static_cast<int>(y))];
    return out->a != 0 ? 1 : 0;
}

void PixelProcessor::WritePixel(int column, int row, BMM_Color_64 pixel)
{
    if (column < 0 || column >= width || row < 0 || row >= height || !workBuffer)
        return;
    workBuffer[PixelIndex(column, row)] = pixel;
}
