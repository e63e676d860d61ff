// The turns and frames that both render benchmarks time, the native one
// (RenderBenchmark.cpp) and the Windows one (WindowsBenchmark.cpp), so that
// their figures compare: every case at each table size, and the size curve.
// Plain C++ without the standard library: the Windows benchmark is built
// freestanding.
#pragma once

struct TurnCase {
    const char* name;
    char axis;        // 'X', 'Y' or 'Z'
    int pivotOffset;  // -1 lower, 0 centre, +1 upper
    float angle;      // degrees, the same at every frame of the range
};

const TurnCase kTurnCases[] = {
    {"angle 0", 'X', 0, 0.0f},
    {"X 30 centre", 'X', 0, 30.0f},
    {"Y 30 lower", 'Y', -1, 30.0f},
    {"Z 45 centre", 'Z', 0, 45.0f},
    {"Z 90 centre", 'Z', 0, 90.0f},  // a quarter turn: each source row walks down a
                                     // column
    {"X 80 upper", 'X', 1, 80.0f},   // a strong squeeze: six source rows to a row
    {"Y -60 upper", 'Y', 1, -60.0f},
    {"Z -135 centre", 'Z', 0, -135.0f},  // diagonal: each source row walks down and to
                                         // the left
};

// The name under which both benchmarks report what a frame's worth of fresh
// memory from the C library costs (calloc, a write to each page, free): the
// part of a frame's time that is the platform's, not the module's.
const char* const kFreshMemory = "fresh memory";

struct FrameSize {
    int width, height;
};

const FrameSize kTableSizes[] = {{1920, 1080}, {3840, 2160}};

// Per-pixel cost from a small frame to one far beyond the caches.
const FrameSize kCurveSizes[] = {{640, 360}, {1280, 720}, {1920, 1080}, {2560, 1440}, {3840, 2160}, {7680, 4320}};
const int kCurveCases[] = {1, 4};  // X 30 centre, Z 90 centre

// Noise: every channel of every pixel from one xorshift generator, seeded
// by the frame's size, so that both benchmarks turn the same pictures.
class Noise {
public:
    explicit Noise(const FrameSize& size) : state(static_cast<unsigned>(size.width) * 65537u + size.height) {}
    unsigned short Next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<unsigned short>(state);
    }

private:
    unsigned state;
};
