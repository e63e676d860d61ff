// The host's bitmaps: a Bitmap is a handle over a BitmapStorage that holds
// the pixels. Pixels are BMM_Color_64, four unsigned 16-bit channels
// (0xFFFF is full intensity or full opacity); row 0 is the top line.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "HostAbi.h"
#include "HostApi.h"

struct BMM_Color_64 {
    std::uint16_t r, g, b, a;
};

// Width and height of a storage, unsigned 16-bit as the host keeps them.
class BMM_API BitmapInfo {
public:
    BitmapInfo(std::uint16_t width, std::uint16_t height) : width_(width), height_(height) {}
    std::uint16_t Width() const { return width_; }
    std::uint16_t Height() const { return height_; }

private:
    std::uint16_t width_;
    std::uint16_t height_;
};

// Where a bitmap's pixels live. Both pixel operations move `count`
// consecutive pixels of line y starting at column x, clipped to the bitmap;
// they return 1 when any pixel moved, else 0.
class BMM_API BitmapStorage {
public:
    explicit BitmapStorage(const BitmapInfo& info) : info_(info) {}
    BitmapStorage(const BitmapStorage&) = delete;
    BitmapStorage& operator=(const BitmapStorage&) = delete;

    const BitmapInfo& Info() const { return info_; }

    // The host's destructor slot (see HostAbi.h).
    virtual void* VELDRA_THISCALL ScalarDeletingDestructor(std::uint32_t flags)
    {
        return RunScalarDeletingDestructor(this, flags);
    }
    virtual int GetPixels(int x, int y, int count, BMM_Color_64* pixels) = 0;
    virtual int PutPixels(int x, int y, int count, const BMM_Color_64* pixels) = 0;
    // Past the end of the host's table (see HostAbi.h).
    virtual ~BitmapStorage();

protected:
    // Clips a run of `count` pixels at (x, y) to the bitmap. On success
    // leaves in `skip` how many leading pixels of the caller's array fall
    // left of column 0 and in `count` how many remain. Inline: filters call
    // the pixel operations once per pixel.
    bool ClipRun(int x, int y, int& count, int& skip) const
    {
        const int width = info_.Width();
        if (y < 0 || y >= info_.Height() || count <= 0 || x >= width)
            return false;
        if (x >= 0 && count <= width - x) {
            skip = 0;
            return true;  // the whole run lies inside
        }
        skip = x < 0 ? static_cast<int>(std::min<long long>(-static_cast<long long>(x), count)) : 0;
        const long long end = std::min<long long>(static_cast<long long>(x) + count, width);
        count = static_cast<int>(end - (static_cast<long long>(x) + skip));
        return count > 0;
    }

private:
    BitmapInfo info_;
};

// Pixels held in memory, row-major, rows without gaps: the storage's own,
// or the caller's.
class BMM_API MemoryBitmapStorage : public BitmapStorage {
public:
    // Transparent black pixels of its own; throws std::bad_alloc when they
    // cannot be allocated.
    MemoryBitmapStorage(std::uint16_t width, std::uint16_t height);
    // Over the caller's `pixels`, width x height of them, which stay the
    // caller's and must outlive the storage.
    MemoryBitmapStorage(std::uint16_t width, std::uint16_t height, BMM_Color_64* pixels);

    int GetPixels(int x, int y, int count, BMM_Color_64* pixels) override;
    int PutPixels(int x, int y, int count, const BMM_Color_64* pixels) override;

    BMM_Color_64* Pixels() { return pixels_; }
    const BMM_Color_64* Pixels() const { return pixels_; }

private:
    std::vector<BMM_Color_64> owned_;
    BMM_Color_64* pixels_;
};

// A frame as the host hands it to a filter. Without storage it is 0 x 0
// and its pixel operations do nothing and return 0.
class BMM_API Bitmap {
public:
    Bitmap() = default;
    explicit Bitmap(std::unique_ptr<BitmapStorage> storage) : storage_(std::move(storage)) {}

    std::uint16_t Width() const { return storage_ ? storage_->Info().Width() : 0; }
    std::uint16_t Height() const { return storage_ ? storage_->Info().Height() : 0; }
    BitmapStorage* Storage() const { return storage_.get(); }

    int GetPixels(int x, int y, int count, BMM_Color_64* pixels)
    {
        return storage_ ? storage_->GetPixels(x, y, count, pixels) : 0;
    }
    int PutPixels(int x, int y, int count, const BMM_Color_64* pixels)
    {
        return storage_ ? storage_->PutPixels(x, y, count, pixels) : 0;
    }

private:
    std::unique_ptr<BitmapStorage> storage_;
};

// A bitmap with in-memory storage of the given size.
BMM_API std::unique_ptr<Bitmap> CreateMemoryBitmap(std::uint16_t width, std::uint16_t height);
// A bitmap whose storage is the caller's `pixels` (MemoryBitmapStorage).
BMM_API std::unique_ptr<Bitmap> CreateBitmapOver(BMM_Color_64* pixels, std::uint16_t width, std::uint16_t height);
