// libFuzzer target: arbitrary stored parameters, frame sizes, pixels and
// frame numbers through LoadConfigure and ProcessFrame. Any crash or
// sanitizer report is a failure.
//
// Input layout (missing bytes read as 0):
//   0..15   the parameter block after the tag (axis, pivot, start, end)
//   16, 17  width 0..191 (rows read in several runs) and height 0..63
//   18..29  current frame, first frame and count of the filter's range (int32)
//   30..    pixel bytes, repeated to fill the frame
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "filter/RotationFilter.h"

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte(std::size_t at) const { return at < size_ ? data_[at] : 0; }
    std::int32_t Int(std::size_t at) const
    {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | Byte(at + i);
        return static_cast<std::int32_t>(value);
    }
    std::size_t Size() const { return size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Input input(data, size);
    std::uint8_t block[sizeof(RotationParams)];
    const std::uint32_t tag = VELDRA_TAG;
    std::memcpy(block, &tag, sizeof tag);
    for (std::size_t i = 0; i < 16; ++i)
        block[4 + i] = input.Byte(i);

    const int width = input.Byte(16) % 192, height = input.Byte(17) % 64;
    auto bitmap = CreateMemoryBitmap(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
    const std::size_t pixelBytes = static_cast<std::size_t>(width) * height * sizeof(BMM_Color_64);
    if (pixelBytes > 0 && size > 30) {
        auto* pixels = reinterpret_cast<std::uint8_t*>(static_cast<MemoryBitmapStorage*>(bitmap->Storage())->Pixels());
        for (std::size_t i = 0; i < pixelBytes; ++i)
            pixels[i] = data[30 + i % (size - 30)];
    }

    ImageFilterInfo info;
    info.queueRange = FrameRange(0, 0, input.Int(18));
    info.filterRange = FrameRange(input.Int(22), input.Int(26), 0);

    RotationFilter filter;
    if (filter.LoadConfigure(block) != 1)
        __builtin_trap();
    filter.SetSource(bitmap.get());
    filter.SetFilterInfo(&info);
    if (filter.ProcessFrame(nullptr) != 1)
        __builtin_trap();
    return 0;
}
