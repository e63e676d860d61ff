// What a host built as Windows hosts are needs to drive VELDRA.FLT: compiled
// in the platform's C++ ABI (clang in MSVC mode), freestanding, with no C
// runtime. It declares the module's interfaces itself, from the host's tables,
// so that a host built on it checks the module's layout instead of sharing it.
// Shared by the test host (MsvcHost.cpp) and the Windows benchmark
// (bench/windows); each program is one source file that includes this once.
// The same source builds a 32-bit and a 64-bit host: sizes and addresses are
// Size, as wide as a pointer.
#pragma once

typedef decltype(sizeof 0) Size;

// ---- The few Windows calls, declared here: no headers, no C runtime. ----
extern "C" {
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* file);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) int __stdcall FreeLibrary(void* module);
__declspec(dllimport) unsigned long __stdcall GetLastError();
__declspec(dllimport) unsigned long __stdcall FormatMessageA(unsigned long flags, const void* source,
                                                             unsigned long message, unsigned long language, char* text,
                                                             unsigned long size, void* arguments);
__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size, unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) void* __stdcall CreateFileA(const char* name, unsigned long access, unsigned long share,
                                                  void* security, unsigned long disposition, unsigned long flags,
                                                  void* templateFile);
__declspec(dllimport) int __stdcall ReadFile(void* file, void* data, unsigned long size, unsigned long* read,
                                             void* overlapped);
__declspec(dllimport) unsigned long __stdcall GetFileSize(void* file, unsigned long* high);
__declspec(dllimport) int __stdcall CloseHandle(void* handle);
__declspec(dllimport) void* __stdcall GetProcessHeap();
__declspec(dllimport) void* __stdcall HeapAlloc(void* heap, unsigned long flags, Size size);
__declspec(dllimport) int __stdcall HeapFree(void* heap, unsigned long flags, void* memory);
__declspec(dllimport) char* __stdcall GetCommandLineA();
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned code);
__declspec(dllimport) int __stdcall QueryPerformanceCounter(long long* count);
__declspec(dllimport) int __stdcall QueryPerformanceFrequency(long long* frequency);

// What the compiler may call on its own in a program without a C runtime.
int _fltused = 0;
void* memset(void* to, int value, Size size)
{
    for (Size i = 0; i < size; ++i)
        static_cast<unsigned char*>(to)[i] = static_cast<unsigned char>(value);
    return to;
}
// Word by word where both ends are aligned: the module's whole-row reads and
// writes come through here, and a byte loop would cost the host more than the
// module's own work on the row.
void* memcpy(void* to, const void* from, Size size)
{
    typedef Size __attribute__((may_alias)) Word;
    unsigned char* target = static_cast<unsigned char*>(to);
    const unsigned char* source = static_cast<const unsigned char*>(from);
    Size i = 0;
    if (((reinterpret_cast<Size>(target) | reinterpret_cast<Size>(source)) & (sizeof(Word) - 1)) == 0)
        for (; i + sizeof(Word) <= size; i += sizeof(Word))
            *reinterpret_cast<Word*>(target + i) = *reinterpret_cast<const Word*>(source + i);
    for (; i < size; ++i)
        target[i] = source[i];
    return to;
}
}

void* operator new(Size size) { return HeapAlloc(GetProcessHeap(), 8 /* zeroed */, size); }
void operator delete(void* memory) noexcept { HeapFree(GetProcessHeap(), 0, memory); }
void operator delete(void* memory, Size) noexcept { HeapFree(GetProcessHeap(), 0, memory); }

// ---- The module's interfaces as the host's tables give them. ----
typedef unsigned short u16;
typedef unsigned int u32;
typedef unsigned long long u64;
struct HWND__;
typedef HWND__* HWND;

struct Pixel {
    u16 r, g, b, a;
};

class BitmapStorage {
public:
    virtual ~BitmapStorage() {}
    virtual int GetPixels(int x, int y, int count, Pixel* pixels) = 0;
    virtual int PutPixels(int x, int y, int count, const Pixel* pixels) = 0;
    u16 width = 0, height = 0;
};

struct Bitmap {
    BitmapStorage* storage;
};

struct FrameRange {
    int first, count, current;
};
struct ImageFilterInfo {
    FrameRange queueRange, filterRange;
};

class Interface;

class ImageFilter {
public:
    virtual ~ImageFilter() = 0;
    virtual const char* FilterName() = 0;
    virtual const char* AuthorText() = 0;
    virtual const char* NoticeText() = 0;
    virtual u32 VersionTag() = 0;
    virtual u32 CapabilityFlags() = 0;
    virtual int OpenAboutBox(HWND parent) = 0;
    virtual int ShowControl(HWND parent) = 0;
    virtual void SetSource(Bitmap* source) = 0;
    virtual void SetForeground(Bitmap* foreground) = 0;
    virtual void SetMask(Bitmap* mask) = 0;
    virtual void SetFilterInfo(ImageFilterInfo* info) = 0;
    virtual int ProcessFrame(HWND window) = 0;
    virtual Interface* Max() = 0;
    // The table's two Lerp operations, named apart: this compiler would
    // reorder overloads of one name within the table.
    virtual int LerpByFraction(int a, int b, float amount) = 0;
    virtual int LerpByPercent(int a, int b, int amount) = 0;
    virtual u32 EvaluateConfigure() = 0;
    virtual int LoadConfigure(void* block) = 0;
    virtual int SaveConfigure(void* block) = 0;
    virtual int CreatePreview(HWND parent, Bitmap** frames, int framesWide, int framesHigh, int frame, float scale,
                              Bitmap** preview, u32 flags) = 0;
    virtual u32 ChannelsRequired() = 0;
};

struct ClassIdentifier {
    u32 first, second;
};

class ClassDescriptor {
public:
    virtual int ClassFlag() = 0;
    virtual void* CreateObject(int unused) = 0;
    virtual int OptionalA(int) = 0;
    virtual int OptionalB(int) = 0;
    virtual const char* ClassTitle() = 0;
    virtual u32 FamilyCode() = 0;
    virtual ClassIdentifier Identifier() = 0;  // by value: through a result pointer in this ABI
    virtual const char* CategoryText() = 0;
    virtual int OptionalC(int) = 0;
    virtual int OptionalD() = 0;
    virtual void OptionalE(int) = 0;
    virtual void OptionalF(int) = 0;
    virtual int OptionalG() = 0;
    virtual int OptionalH(int) = 0;
    virtual int OptionalI(int) = 0;
};

namespace {

typedef const char* (*DescriptionFn)();
typedef int (*NumberClassesFn)();
typedef ClassDescriptor* (*ClassDescFn)(int);
typedef int (*VersionFn)();

const u32 kTag = 0x6AC71744u;
const int kAxisX = 1010, kAxisY = 1011, kAxisZ = 1012;
const int kPivotLower = 1013, kPivotCenter = 1014, kPivotUpper = 1015;

// The filter's 20-byte parameter block, as the host stores it.
struct Block {
    u32 tag;
    int axis, pivot;
    float startAngle, endAngle;
};

inline ImageFilter* NewFilter(ClassDescriptor* descriptor)
{
    return static_cast<ImageFilter*>(descriptor->CreateObject(0));
}

// ---- Text output without a C runtime. ----
inline unsigned Length(const char* text)
{
    unsigned n = 0;
    while (text[n])
        ++n;
    return n;
}

inline bool Same(const char* a, const char* b)
{
    while (*a && *a == *b)
        ++a, ++b;
    return *a == *b;
}

inline void Print(const char* text)
{
    unsigned long written;
    WriteFile(GetStdHandle(static_cast<unsigned long>(-11)), text, Length(text), &written, nullptr);
}

// Appends to a small text buffer; returns the new end.
inline char* Append(char* at, const char* text)
{
    while (*text)
        *at++ = *text++;
    *at = 0;
    return at;
}
inline char* AppendNumber(char* at, int value)
{
    if (value < 0) {
        *at++ = '-';
        value = -value;
    }
    char digits[12];
    int n = 0;
    do
        digits[n++] = static_cast<char>('0' + value % 10);
    while (value /= 10);
    while (n)
        *at++ = digits[--n];
    *at = 0;
    return at;
}
inline char* AppendHex(char* at, u64 value)
{
    for (int shift = 60; shift >= 0; shift -= 4)
        *at++ = "0123456789abcdef"[(value >> shift) & 0xF];
    *at = 0;
    return at;
}

// ---- A bitmap storage of this host's own, in this host's ABI. ----
class HostStorage : public BitmapStorage {
public:
    HostStorage(u16 w, u16 h) : pixels(static_cast<Pixel*>(operator new(sizeof(Pixel) * w * h + 1)))
    {
        width = w;
        height = h;
    }
    ~HostStorage() override { operator delete(pixels); }

    int GetPixels(int x, int y, int count, Pixel* out) override
    {
        if (!Inside(x, y, count))
            return 0;
        // Filters read single pixels in their inner loops: a plain copy.
        if (count == 1)
            *out = pixels[y * width + x];
        else
            memcpy(out, pixels + y * width + x, sizeof(Pixel) * count);
        return 1;
    }
    int PutPixels(int x, int y, int count, const Pixel* in) override
    {
        if (!Inside(x, y, count))
            return 0;
        memcpy(pixels + y * width + x, in, sizeof(Pixel) * count);
        return 1;
    }

    Pixel* pixels;

private:
    // The module reads whole rows and single pixels inside the picture.
    bool Inside(int x, int y, int count) const
    {
        return count > 0 && x >= 0 && y >= 0 && y < height && x + count <= width;
    }
};

}  // namespace
