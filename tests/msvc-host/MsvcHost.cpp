// A host as Windows hosts are built: compiled in the platform's C++ ABI
// (clang in MSVC mode), freestanding, with its own entry point and no C
// runtime. It declares the module's interfaces itself, from the host's tables,
// so that it checks the module's layout instead of sharing it: loads
// VELDRA.FLT, resolves its exports, asks the descriptor everything, drives
// filters through every operation in table order, renders the cross-build
// frames on bitmaps whose storage it implements itself and compares their
// digests with the golden file, and ends filters through the destructor slot.
// Built for the other processor width, it shows that such a host is refused
// the module by the loader, with the loader's error, before any of the
// module's code runs.
//
//   msvc_host.exe GOLDEN-FILE        (run in the folder that holds the module)
//   msvc_host.exe --refused          (the module is of the other width)

#include "MsvcHostKit.h"

namespace {

// ---- Output and checks. ----
int failures = 0;

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

bool SameBlock(const Block& a, const Block& b)
{
    return a.tag == b.tag && a.axis == b.axis && a.pivot == b.pivot && a.startAngle == b.startAngle &&
           a.endAngle == b.endAngle;
}

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

// The loader must refuse the module as not for this processor (error 193,
// ERROR_BAD_EXE_FORMAT), and the host goes on to say so.
int ExpectRefused()
{
    void* module = LoadLibraryA("VELDRA.FLT");
    const unsigned long error = GetLastError();
    Check(module == nullptr, "VELDRA.FLT of the other width does not load");
    Check(error == 193, "the loader's error is ERROR_BAD_EXE_FORMAT (193)");
    char text[256] = "";
    FormatMessageA(0x1000 | 0x200 /* from the system, inserts left as they are */, nullptr, error, 0, text, sizeof text,
                   nullptr);
    for (unsigned end = Length(text); end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r'); --end)
        text[end - 1] = 0;
    char line[320];
    char* at = Append(line, "loader refused VELDRA.FLT: error ");
    at = AppendNumber(at, static_cast<int>(error));
    at = Append(at, ": ");
    Append(at, text);
    Report(line);
    Print(failures ? "msvc_host: FAILED\n" : "msvc_host: refused as it should be\n");
    return failures ? 1 : 0;
}

int Run()
{
    if (Same(LastArgument(), "--refused"))
        return ExpectRefused();
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
