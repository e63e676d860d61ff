// Times ProcessFrame of the real Windows VELDRA.FLT as a Windows host runs
// it, in the width of its build (32-bit in the windows preset, 64-bit in
// windows64): a host built in the platform's C++ ABI (clang in MSVC mode),
// freestanding, with a bitmap storage of its own whose single-pixel read is a
// plain copy, as the native host stand-in's is. For every case of
// BenchFrames.h at each table size: one frame to warm up, then frames timed
// one by one with QueryPerformanceCounter, at least kMinFrames of them and
// kMinSeconds in all. Prints the best frame's nanoseconds per pixel, a line a
// case:
//
//   CASE<TAB>WIDTHxHEIGHT<TAB>NANOSECONDS
//
// which the native benchmark reads (--windows=FILE, --windows64=FILE) to set
// beside its own figures. Under Wine, from anywhere (the module lies beside
// the program):
//
//   scripts/wine-run.sh build/windows/bin/windows_benchmark.exe
//   scripts/wine-run.sh --win64 build/windows64/bin/windows_benchmark.exe
#include "BenchFrames.h"
#include "MsvcHostKit.h"

namespace {

const int kMinFrames = 5;
const double kMinSeconds = 1.0;

// A non-negative value with two decimals.
char* AppendFixed(char* at, double value)
{
    const int hundredths = static_cast<int>(value * 100 + 0.5);
    at = AppendNumber(at, hundredths / 100);
    const char decimals[4] = {'.', static_cast<char>('0' + hundredths / 10 % 10),
                              static_cast<char>('0' + hundredths % 10), 0};
    return Append(at, decimals);
}

void FillNoise(HostStorage& storage, const FrameSize& size)
{
    Noise noise(size);
    for (int i = 0; i < size.width * size.height; ++i) {
        Pixel& p = storage.pixels[i];
        p.r = noise.Next();
        p.g = noise.Next();
        p.b = noise.Next();
        p.a = noise.Next();
    }
}

double Seconds(long long ticks)
{
    long long frequency = 1;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks) / static_cast<double>(frequency);
}

long long Now()
{
    long long ticks = 0;
    QueryPerformanceCounter(&ticks);
    return ticks;
}

// The shortest time, in seconds, of a frame's worth of memory from the C
// library the module uses (its calloc and free), every page written once.
double BestFreshMemorySeconds(const FrameSize& size)
{
    typedef void* (*CallocFn)(Size count, Size bytes);
    typedef void (*FreeFn)(void* memory);
    void* library = LoadLibraryA("msvcrt.dll");
    CallocFn zeroed = library ? reinterpret_cast<CallocFn>(GetProcAddress(library, "calloc")) : nullptr;
    FreeFn release = library ? reinterpret_cast<FreeFn>(GetProcAddress(library, "free")) : nullptr;
    if (!zeroed || !release)
        return 0;
    const Size bytes = static_cast<Size>(size.width) * static_cast<Size>(size.height) * 8u;
    double best = 1e30;
    for (int round = 0; round < kMinFrames; ++round) {
        const long long start = Now();
        volatile char* memory = static_cast<char*>(zeroed(bytes, 1));
        for (Size at = 0; memory && at < bytes; at += 4096)
            memory[at] = 1;
        release(const_cast<char*>(memory));
        const double seconds = Seconds(Now() - start);
        best = seconds < best ? seconds : best;
    }
    return best;
}

// The shortest time, in seconds, of one ProcessFrame of `turn` on `storage`.
double BestFrameSeconds(ClassDescriptor* descriptor, HostStorage& storage, const TurnCase& turn)
{
    ImageFilter* filter = NewFilter(descriptor);
    Block block{kTag, kAxisX + (turn.axis - 'X'), kPivotCenter + turn.pivotOffset, turn.angle, turn.angle};
    filter->LoadConfigure(&block);
    Bitmap bitmap{&storage};
    ImageFilterInfo info{{0, 0, 0}, {0, 1, 0}};
    filter->SetSource(&bitmap);
    filter->SetFilterInfo(&info);
    filter->ProcessFrame(nullptr);

    double best = 1e30, total = 0;
    for (int frames = 0; frames < kMinFrames || total < kMinSeconds; ++frames) {
        const long long start = Now();
        filter->ProcessFrame(nullptr);
        const double seconds = Seconds(Now() - start);
        best = seconds < best ? seconds : best;
        total += seconds;
    }
    delete filter;
    return best;
}

int Run()
{
    void* module = LoadLibraryA("VELDRA.FLT");
    ClassDescFn classDesc = module ? reinterpret_cast<ClassDescFn>(GetProcAddress(module, "LibClassDesc")) : nullptr;
    ClassDescriptor* descriptor = classDesc ? classDesc(0) : nullptr;
    if (!descriptor) {
        Print("windows_benchmark: VELDRA.FLT does not load beside the program\n");
        return 2;
    }
    for (const FrameSize& size : kTableSizes) {
        HostStorage storage(static_cast<u16>(size.width), static_cast<u16>(size.height));
        FillNoise(storage, size);
        const double pixels = static_cast<double>(size.width) * size.height;
        for (int c = -1; c < static_cast<int>(sizeof kTurnCases / sizeof kTurnCases[0]); ++c) {
            const double seconds = c < 0 ? BestFreshMemorySeconds(size)
                                         : BestFrameSeconds(descriptor, storage, kTurnCases[c]);
            char line[96];
            char* at = Append(line, c < 0 ? kFreshMemory : kTurnCases[c].name);
            at = Append(at, "\t");
            at = AppendNumber(at, size.width);
            at = Append(at, "x");
            at = AppendNumber(at, size.height);
            at = Append(at, "\t");
            at = AppendFixed(at, seconds * 1e9 / pixels);
            Append(at, "\n");
            Print(line);
        }
    }
    FreeLibrary(module);
    return 0;
}

}  // namespace

extern "C" void HostMain() { ExitProcess(static_cast<unsigned>(Run())); }
