// Renders a fixed set of frames through the real module, as the host loads
// it, and digests each result. The native and the Windows build both check
// the same golden file, so passing in both means identical bytes.
//
//   crossbuild_digests                 prints the digests (to make the golden file)
//   crossbuild_digests GOLDEN-FILE     compares against it; exit 1 on any difference
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "filter/RotationParams.h"
#include "loader/ModuleLoader.h"

namespace {

struct Render {
    std::string name;
    std::uint64_t digest;
};

// Fixed pseudo-random pixels: the same on every build and library.
void FillPicture(Bitmap& bitmap, std::uint32_t seed)
{
    std::uint32_t state = seed * 2654435761u + 1;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<std::uint16_t>(state);
    };
    std::vector<BMM_Color_64> row(bitmap.Width());
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (BMM_Color_64& pixel : row)
            pixel = {next(), next(), next(), next()};
        bitmap.PutPixels(0, y, static_cast<int>(row.size()), row.data());
    }
}

// FNV-1a over every channel, low byte first.
std::uint64_t Digest(Bitmap& bitmap)
{
    std::uint64_t hash = 14695981039346656037ull;
    std::vector<BMM_Color_64> row(bitmap.Width());
    for (int y = 0; y < bitmap.Height(); ++y) {
        bitmap.GetPixels(0, y, static_cast<int>(row.size()), row.data());
        for (const BMM_Color_64& pixel : row)
            for (std::uint16_t channel : {pixel.r, pixel.g, pixel.b, pixel.a})
                for (int shift : {0, 8})
                    hash = (hash ^ ((channel >> shift) & 0xFF)) * 1099511628211ull;
    }
    return hash;
}

std::vector<Render> RenderAll(const LoadedModule& module)
{
    const int sizes[][2] = {{1, 1}, {2, 3}, {37, 23}, {64, 48}, {101, 77}, {160, 90}};
    const std::pair<std::int32_t, const char*> axes[] = {{AxisX, "X"}, {AxisY, "Y"}, {AxisZ, "Z"}};
    const std::pair<std::int32_t, const char*> pivots[] = {
        {PivotLower, "lower"}, {PivotCenter, "centre"}, {PivotUpper, "upper"}};
    // Fixed angles, then a frame 5 of a 0..6 range from -90 to 270 degrees.
    const float angles[] = {0.0f, 30.0f, 90.0f, 180.0f, -45.0f, 137.5f};
    std::vector<Render> renders;
    std::uint32_t seed = 1;
    for (const auto& size : sizes) {
        for (const auto& [axis, axisName] : axes) {
            for (const auto& [pivot, pivotName] : pivots) {
                for (int a = 0; a <= 6; ++a) {
                    const bool ranged = a == 6;
                    const float start = ranged ? -90.0f : angles[a], end = ranged ? 270.0f : angles[a];
                    auto bitmap = CreateMemoryBitmap(static_cast<std::uint16_t>(size[0]),
                                                     static_cast<std::uint16_t>(size[1]));
                    FillPicture(*bitmap, seed++);
                    ImageFilterInfo info;
                    info.queueRange = FrameRange(0, 0, ranged ? 5 : 0);
                    info.filterRange = FrameRange(0, ranged ? 7 : 1, 0);
                    const RotationParams params{VELDRA_TAG, axis, pivot, start, end};
                    std::uint8_t block[sizeof params];
                    std::memcpy(block, &params, sizeof params);
                    auto filter = module.CreateFilter();
                    filter->LoadConfigure(block);
                    filter->SetSource(bitmap.get());
                    filter->SetFilterInfo(&info);
                    std::ostringstream name;
                    name << size[0] << "x" << size[1] << "/" << axisName << "/" << pivotName << "/";
                    if (ranged)
                        name << "frame5of-90..270";
                    else
                        name << start;
                    if (filter->ProcessFrame(nullptr) != 1)
                        name << "/refused";
                    renders.push_back({name.str(), Digest(*bitmap)});
                }
            }
        }
    }
    return renders;
}

std::string Hex(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        LoadedModule module(VELDRA_MODULE_FILE);
        const std::vector<Render> renders = RenderAll(module);
        if (argc < 2) {
            for (const Render& render : renders)
                std::cout << render.name << " " << Hex(render.digest) << "\n";
            return 0;
        }
        std::ifstream file(argv[1]);
        if (!file) {
            std::cerr << argv[1] << ": cannot open the golden digest file\n";
            return 2;
        }
        std::map<std::string, std::string> golden;
        std::string name, digest;
        while (file >> name >> digest)
            golden[name] = digest;
        int passed = 0, failed = 0;
        for (const Render& render : renders) {
            const auto expected = golden.find(render.name);
            if (expected != golden.end() && expected->second == Hex(render.digest)) {
                ++passed;
                continue;
            }
            ++failed;
            std::cout << render.name << ": digest " << Hex(render.digest) << ", golden "
                      << (expected == golden.end() ? "missing" : expected->second) << "\n";
        }
        std::cout << passed << " passed, " << failed << " failed\n";
        return failed == 0 && passed > 0 ? 0 : 1;
    } catch (const ModuleLoadError& error) {
        std::cerr << error.what() << "\n";
        return 2;
    }
}
