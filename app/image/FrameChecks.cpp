#include "image/FrameChecks.h"

#include <cstdint>
#include <unistd.h>

#include "messages/Failure.h"

namespace {

constexpr int kMaxSide = 65535;  // the host's bitmap sizes are 16-bit

// Bytes of memory a frame of `pixels` costs while it is rendered: the
// frame, the filter's work buffer and the encoded output, 8 bytes a pixel
// each, plus the channels as read.
constexpr std::uint64_t kBytesPerPixelAtWork = 3 * 8;

std::uint64_t PhysicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize)
                                     : UINT64_MAX;
}

std::string Megabytes(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB"; }

}  // namespace

void CheckFrameShape(const std::string& what, long long width, long long height, int depth, int channels)
{
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width > kMaxSide || height > kMaxSide)
        throw Failure(what, "the picture is " + size + "; frames are at most 65535 x 65535", FailureKind::Data);
    if (width < 1 || height < 1 || depth > 1 || channels < 1)
        throw Failure(what, "not a flat picture with pixels (" + size + ", " + std::to_string(channels) + " channels)",
                      FailureKind::Data);
}

void CheckFrameMemory(const std::string& what, int width, int height, int channels)
{
    // Sides are at most 65535, so none of these products overflows.
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    const std::uint64_t working = pixels * (kBytesPerPixelAtWork + 2 * static_cast<std::uint64_t>(channels));
    const std::uint64_t memory = PhysicalMemory();
    if (working > memory)
        throw Failure(what,
                      "not enough memory for this frame: a " + std::to_string(width) + " x " + std::to_string(height) +
                          " picture needs about " + Megabytes(working) + ", this machine has " + Megabytes(memory),
                      FailureKind::Memory);
}
