// A host as Windows hosts are built: compiled in the platform's C++ ABI
// (clang in MSVC mode), freestanding, with its own entry point and no C
// runtime. It declares the module's interfaces itself, from the host's tables,
// so that it checks the module's layout instead of sharing it: loads
// VELDRA.FLT, resolves its exports, asks the descriptor everything, drives
// filters through every operation in table order, renders the cross-build
// frames on bitmaps whose storage it implements itself and compares their
// digests with the golden file, and ends filters through the destructor slot.
//
//   msvc_host.exe GOLDEN-FILE        (run in the folder that holds the module)

// ---- The few Windows calls, declared here: no headers, no C runtime. ----
extern "C" {
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* file);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) int __stdcall FreeLibrary(void* module);
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
__declspec(dllimport) void* __stdcall HeapAlloc(void* heap, unsigned long flags, unsigned long size);
__declspec(dllimport) int __stdcall HeapFree(void* heap, unsigned long flags, void* memory);
__declspec(dllimport) char* __stdcall GetCommandLineA();
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned code);

// What the compiler may call on its own in a program without a C runtime.
int _fltused = 0;
void* memset(void* to, int value, unsigned size)
{
    for (unsigned i = 0; i < size; ++i)
        static_cast<unsigned char*>(to)[i] = static_cast<unsigned char>(value);
    return to;
}
void* memcpy(void* to, const void* from, unsigned size)
{
    for (unsigned i = 0; i < size; ++i)
        static_cast<unsigned char*>(to)[i] = static_cast<const unsigned char*>(from)[i];
    return to;
}
}

void* operator new(unsigned size) { return HeapAlloc(GetProcessHeap(), 8 /* zeroed */, size); }
void operator delete(void* memory) noexcept { HeapFree(GetProcessHeap(), 0, memory); }
void operator delete(void* memory, unsigned) noexcept { HeapFree(GetProcessHeap(), 0, memory); }

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

// ---- Output and checks. ----
int failures = 0;

unsigned Length(const char* text)
{
    unsigned n = 0;
    while (text[n])
        ++n;
    return n;
}

bool Same(const char* a, const char* b)
{
    while (*a && *a == *b)
        ++a, ++b;
    return *a == *b;
}

void Print(const char* text)
{
    unsigned long written;
    WriteFile(GetStdHandle(static_cast<unsigned long>(-11)), text, Length(text), &written, nullptr);
}

// Appends to a small text buffer; returns the new end.
char* Append(char* at, const char* text)
{
    while (*text)
        *at++ = *text++;
    *at = 0;
    return at;
}
char* AppendNumber(char* at, int value)
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
char* AppendHex(char* at, u64 value)
{
    for (int shift = 60; shift >= 0; shift -= 4)
        *at++ = "0123456789abcdef"[(value >> shift) & 0xF];
    *at = 0;
    return at;
}

void Check(bool ok, const char* what)
{
    if (ok)
        return;
    ++failures;
    Print("FAIL: ");
    Print(what);
    Print("\n");
}

void Report(const char* what)
{
    Print("ok: ");
    Print(what);
    Print("\n");
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

// The cross-build pictures: fixed pseudo-random pixels, then FNV-1a over
// every channel, low byte first.
void FillPicture(HostStorage& storage, u32 seed)
{
    u32 state = seed * 2654435761u + 1;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<u16>(state);
    };
    for (int i = 0; i < storage.width * storage.height; ++i) {
        Pixel& p = storage.pixels[i];
        p.r = next();
        p.g = next();
        p.b = next();
        p.a = next();
    }
}

u64 Digest(const HostStorage& storage)
{
    u64 hash = 14695981039346656037ull;
    for (int i = 0; i < storage.width * storage.height; ++i) {
        const Pixel& p = storage.pixels[i];
        const u16 channels[4] = {p.r, p.g, p.b, p.a};
        for (u16 channel : channels)
            for (int shift = 0; shift <= 8; shift += 8)
                hash = (hash ^ ((channel >> shift) & 0xFF)) * 1099511628211ull;
    }
    return hash;
}

// The golden file, whole, or null.
char* ReadFileText(const char* name)
{
    void* file = CreateFileA(name, 0x80000000 /* read */, 1, nullptr, 3 /* existing */, 0, nullptr);
    if (file == reinterpret_cast<void*>(-1))
        return nullptr;
    const unsigned long size = GetFileSize(file, nullptr);
    char* text = static_cast<char*>(operator new(size + 1));
    unsigned long read = 0;
    ReadFile(file, text, size, &read, nullptr);
    CloseHandle(file);
    text[read] = 0;
    return text;
}

// Whether the golden text holds the line "NAME DIGEST".
bool HasLine(const char* golden, const char* line)
{
    const unsigned n = Length(line);
    for (const char* at = golden; *at;) {
        unsigned i = 0;
        while (i < n && at[i] == line[i])
            ++i;
        if (i == n && (at[n] == '\n' || at[n] == '\r' || at[n] == 0))
            return true;
        while (*at && *at != '\n')
            ++at;
        if (*at)
            ++at;
    }
    return false;
}

// The last word of the command line: the golden file.
const char* LastArgument()
{
    const char* line = GetCommandLineA();
    const char* last = line;
    for (const char* at = line; *at; ++at)
        if (*at == ' ' && at[1] && at[1] != ' ')
            last = at + 1;
    return last;
}

struct Block {
    u32 tag;
    int axis, pivot;
    float startAngle, endAngle;
};

bool SameBlock(const Block& a, const Block& b)
{
    return a.tag == b.tag && a.axis == b.axis && a.pivot == b.pivot && a.startAngle == b.startAngle &&
           a.endAngle == b.endAngle;
}

ImageFilter* NewFilter(ClassDescriptor* descriptor) { return static_cast<ImageFilter*>(descriptor->CreateObject(0)); }

void CheckDescriptor(ClassDescriptor* d)
{
    Check(d->ClassFlag() == 1, "ClassFlag is 1");
    Check(d->OptionalA(7) == 0 && d->OptionalB(7) == 0, "OptionalA and OptionalB answer 0");
    Check(Same(d->ClassTitle(), "Veldra"), "ClassTitle is Veldra");
    Check(d->FamilyCode() == 0xE00, "FamilyCode is 0xE00");
    const ClassIdentifier id = d->Identifier();
    Check(id.first == kTag && id.second == 0x41DE1E4Eu, "Identifier by value is 0x6AC71744, 0x41DE1E4E");
    Check(Same(d->CategoryText(), "Image Filter"), "CategoryText is Image Filter");
    Check(d->OptionalC(7) == 1 && d->OptionalD() == 0, "OptionalC answers 1, OptionalD 0");
    d->OptionalE(7);
    d->OptionalF(7);
    Check(d->OptionalG() == 0 && d->OptionalH(7) == 0 && d->OptionalI(7) == 0, "OptionalG to OptionalI answer 0");
    const ClassIdentifier again = d->Identifier();
    Check(again.first == id.first && again.second == id.second, "Identifier is the same on a second call");
    Report("descriptor: all fifteen operations");
}

void CheckFilterOperations(ClassDescriptor* d)
{
    ImageFilter* f = NewFilter(d);
    Check(f != nullptr, "CreateObject makes a filter");
    if (!f)
        return;
    Check(f->FilterName() == d->ClassTitle(), "FilterName is the descriptor's title buffer");
    Check(Length(f->AuthorText()) > 0 && Length(f->NoticeText()) > 0, "author and notice texts");
    Check(f->VersionTag() == kTag, "VersionTag is the tag");
    Check(f->CapabilityFlags() == 6, "CapabilityFlags is 6");
    // The dialogs are reached but cannot open over an owner that is no
    // window: the system answers 0 for that, and nothing is changed.
    HWND noWindow = reinterpret_cast<HWND>(0x7FFF1234);
    Check(f->OpenAboutBox(noWindow) == 0, "OpenAboutBox over no window gives 0");
    Check(f->ShowControl(noWindow) == 0, "ShowControl over no window gives 0");
    Check(f->ProcessFrame(nullptr) == 0, "ProcessFrame without a source gives 0");
    HostStorage storage(4, 3);
    Bitmap bitmap{&storage};
    ImageFilterInfo info{{0, 0, 0}, {0, 1, 0}};
    f->SetSource(&bitmap);
    f->SetForeground(&bitmap);
    f->SetMask(&bitmap);
    f->SetFilterInfo(&info);
    Check(f->ProcessFrame(nullptr) == 1, "ProcessFrame with a source gives 1");
    Check(f->Max() == nullptr, "Max gives the host's answer, none");
    Check(f->LerpByFraction(0, 100, 0.25f) == 25, "first Lerp takes a float fraction");
    Check(f->LerpByPercent(0, 200, 50) == 100, "second Lerp takes a whole percent");
    Check(f->EvaluateConfigure() == 20, "EvaluateConfigure is 20");

    Block saved{};
    Check(f->SaveConfigure(&saved) == 1, "SaveConfigure stores");
    const Block defaults{kTag, kAxisX, kPivotCenter, 0.0f, 0.0f};
    Check(SameBlock(saved, defaults), "a new filter saves the default block");
    Check(f->LoadConfigure(nullptr) == 0 && f->SaveConfigure(nullptr) == 0, "no block is refused");
    const Block chosen{kTag, kAxisZ, kPivotLower, 10.0f, 350.0f};
    Block copy = chosen;
    Check(f->LoadConfigure(&copy) == 1, "a block with the tag loads");
    Block foreign = chosen;
    foreign.tag = 0x12345678u;
    foreign.axis = kAxisY;
    Check(f->LoadConfigure(&foreign) == 0, "a block with another tag is refused");
    Check(f->SaveConfigure(&saved) == 1 && SameBlock(saved, chosen), "save gives back the loaded block");

    Bitmap* none = nullptr;
    Check(f->CreatePreview(nullptr, &none, 1, 1, 0, 1.0f, &none, 0) == 0, "CreatePreview gives the host's 0");
    Check(f->ChannelsRequired() == 0, "ChannelsRequired gives the host's 0");
    delete f;  // the destructor slot with flags 1: ended and freed by the module
    Report("filter: every operation in table order, blocks saved and restored");
}

void CheckRenders(ClassDescriptor* d, const char* golden)
{
    const int sizes[][2] = {{1, 1}, {2, 3}, {37, 23}, {64, 48}, {101, 77}, {160, 90}};
    const int axes[] = {kAxisX, kAxisY, kAxisZ};
    const char* const axisNames[] = {"X", "Y", "Z"};
    const int pivots[] = {kPivotLower, kPivotCenter, kPivotUpper};
    const char* const pivotNames[] = {"lower", "centre", "upper"};
    const float angles[] = {0.0f, 30.0f, 90.0f, 180.0f, -45.0f, 137.5f};
    const char* const angleNames[] = {"0", "30", "90", "180", "-45", "137.5"};
    int matched = 0, total = 0;
    u32 seed = 1;
    for (const auto& size : sizes)
        for (int a = 0; a < 3; ++a)
            for (int p = 0; p < 3; ++p)
                for (int k = 0; k <= 6; ++k) {
                    const bool ranged = k == 6;
                    HostStorage storage(static_cast<u16>(size[0]), static_cast<u16>(size[1]));
                    FillPicture(storage, seed++);
                    Bitmap bitmap{&storage};
                    ImageFilterInfo info{{0, 0, ranged ? 5 : 0}, {0, ranged ? 7 : 1, 0}};
                    Block block{kTag, axes[a], pivots[p], ranged ? -90.0f : angles[k], ranged ? 270.0f : angles[k]};
                    ImageFilter* f = NewFilter(d);
                    f->LoadConfigure(&block);
                    f->SetSource(&bitmap);
                    f->SetFilterInfo(&info);
                    char line[96];
                    char* at = AppendNumber(line, size[0]);
                    at = Append(at, "x");
                    at = AppendNumber(at, size[1]);
                    at = Append(at, "/");
                    at = Append(at, axisNames[a]);
                    at = Append(at, "/");
                    at = Append(at, pivotNames[p]);
                    at = Append(at, "/");
                    at = Append(at, ranged ? "frame5of-90..270" : angleNames[k]);
                    if (f->ProcessFrame(nullptr) != 1)
                        at = Append(at, "/refused");
                    // Half the filters end with flags 1 (destroyed and freed),
                    // half with flags 0 (destroyed only; their bytes stay in the
                    // module's heap, as they would for storage the host reuses).
                    if (total % 2)
                        f->~ImageFilter();
                    else
                        delete f;
                    at = Append(at, " ");
                    AppendHex(at, Digest(storage));
                    ++total;
                    if (HasLine(golden, line)) {
                        ++matched;
                    } else {
                        Check(false, "render digest differs from the native build's:");
                        Print(line);
                        Print("\n");
                    }
                }
    char summary[96];
    char* at = Append(summary, "renders: ");
    at = AppendNumber(at, matched);
    at = Append(at, " of ");
    at = AppendNumber(at, total);
    Append(at, " frames byte-identical to the native build; filters ended with flags 1 and 0");
    Check(total == 378 && matched == total, "every frame rendered and matched");
    Report(summary);
}

int Run()
{
    const char* goldenFile = LastArgument();
    char* golden = ReadFileText(goldenFile);
    Check(golden != nullptr, "the golden digest file opens");
    if (!golden)
        return 2;
    void* module = LoadLibraryA("VELDRA.FLT");
    Check(module != nullptr, "VELDRA.FLT loads");
    if (!module)
        return 2;

    const char* const names[] = {"LibDescription", "LibNumberClasses", "LibClassDesc", "LibVersion"};
    void* exports[4];
    for (int i = 0; i < 4; ++i) {
        exports[i] = GetProcAddress(module, names[i]);
        Check(exports[i] != nullptr, names[i]);
        Check(GetProcAddress(module, reinterpret_cast<const char*>(i + 1)) == exports[i],
              "ordinal 1 to 4 reach the same export as its name");
    }
    if (failures)
        return 1;
    const char* description = reinterpret_cast<DescriptionFn>(exports[0])();
    const char product[] = "Veldra Image Generator";
    bool named = true;
    for (unsigned i = 0; i + 1 < sizeof product; ++i)
        named = named && description[i] == product[i];
    Check(named, "LibDescription begins with the product name");
    Check(reinterpret_cast<NumberClassesFn>(exports[1])() == 1, "LibNumberClasses is 1");
    Check(reinterpret_cast<VersionFn>(exports[3])() == 110, "LibVersion is 110");
    ClassDescFn classDesc = reinterpret_cast<ClassDescFn>(exports[2]);
    ClassDescriptor* descriptor = classDesc(0);
    Check(descriptor != nullptr && classDesc(0) == descriptor, "LibClassDesc(0) gives the one descriptor");
    Check(classDesc(1) == nullptr && classDesc(-1) == nullptr, "LibClassDesc out of range gives none");
    Report("exports: four by name and by ordinal");
    if (!descriptor)
        return 1;

    CheckDescriptor(descriptor);
    CheckFilterOperations(descriptor);
    CheckRenders(descriptor, golden);
    FreeLibrary(module);
    Print(failures ? "msvc_host: FAILED\n" : "msvc_host: all checks passed\n");
    return failures ? 1 : 0;
}

}  // namespace

extern "C" void HostMain() { ExitProcess(static_cast<unsigned>(Run())); }
