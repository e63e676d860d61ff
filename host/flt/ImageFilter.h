// The host's image-filter interface: what a filter in the post-production
// queue implements, and the frame information the host hands it.
#pragma once

#include <cstdint>
#include <memory>

#include "HostAbi.h"
#include "HostApi.h"
#include "bmm/Bitmap.h"
#include "win32/Win32.h"

class Interface;  // the host application's own interface; filters only pass it on

// A span of frames and the frame now being processed within it.
class FLT_API FrameRange {
public:
    FrameRange() = default;
    FrameRange(int first, int count, int current) : first_(first), count_(count), current_(current) {}

    int First() const { return first_; }
    int Count() const { return count_; }
    int Current() const { return current_; }

private:
    int first_ = 0;
    int count_ = 0;
    int current_ = 0;
};

// The filter-event record the host hands a filter before each frame.
// queueRange.Current() is the frame being processed; filterRange is the
// filter's own active range (First and Count).
class FLT_API ImageFilterInfo {
public:
    FrameRange queueRange;
    FrameRange filterRange;
};

// Base class of every filter. The order of the virtual operations is the
// host's calling convention and must not change. Operations not marked pure
// have the host's defaults; the setters keep what the host hands over.
class FLT_API ImageFilter {
public:
    ImageFilter();
    ImageFilter(const ImageFilter&) = delete;
    ImageFilter& operator=(const ImageFilter&) = delete;

    // The host's destructor slot (see HostAbi.h): flags bit 0 set ends and
    // frees the filter, clear only ends it. Returns `this`.
    virtual void* VELDRA_THISCALL ScalarDeletingDestructor(std::uint32_t flags)
    {
        return RunScalarDeletingDestructor(this, flags);
    }

    // Texts are module-wide and owned by the filter's module; never freed.
    virtual const char* FilterName() = 0;
    virtual const char* AuthorText() = 0;
    virtual const char* NoticeText() = 0;
    virtual std::uint32_t VersionTag() = 0;
    virtual std::uint32_t CapabilityFlags() = 0;
    // Dialogs return 1 after OK, 0 after Cancel, -1 when they cannot open.
    virtual int OpenAboutBox(HWND parent) = 0;
    virtual int ShowControl(HWND parent);
    virtual void SetSource(Bitmap* source);
    virtual void SetForeground(Bitmap* foreground);
    virtual void SetMask(Bitmap* mask);
    virtual void SetFilterInfo(ImageFilterInfo* info);
    // Renders the current frame into the source bitmap in place; 1 on success.
    virtual int ProcessFrame(HWND window) = 0;
    virtual Interface* Max();
    virtual int Lerp(int a, int b, float amount);
    virtual int Lerp(int a, int b, int amount);
    // The filter's parameter block: its size, then restore and store (1 on
    // success, 0 when refused).
    virtual std::uint32_t EvaluateConfigure();
    virtual int LoadConfigure(void* block);
    virtual int SaveConfigure(void* block);
    virtual int CreatePreview(HWND parent, Bitmap** frames, int framesWide, int framesHigh, int frame, float scale,
                              Bitmap** preview, std::uint32_t flags);
    virtual std::uint32_t ChannelsRequired();

    // Past the end of the host's table (see HostAbi.h); hosts end a filter
    // through ScalarDeletingDestructor.
    virtual ~ImageFilter();

protected:
    Bitmap* srcmap = nullptr;
    Bitmap* frgmap = nullptr;
    Bitmap* mskmap = nullptr;
    ImageFilterInfo* ifi = nullptr;
};

// A filter held by a host ends through its destructor slot, as the host ends
// a filter of any module: the module that made it also frees it.
namespace std {
template <>
struct default_delete<ImageFilter> {
    void operator()(ImageFilter* filter) const { filter->ScalarDeletingDestructor(1); }
};
}  // namespace std
