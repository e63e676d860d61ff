// Draws the module's bitmaps (the about box's logo and the setup dialog's
// previews) into a folder, with bitmaps.rc, the resource script's list of
// them, so that each file is named in this program only:
//   veldra_make_bitmaps FOLDER
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "Logo.h"
#include "Previews.h"

namespace {

// The resource script names bitmaps by their path from the source tree's
// root, which is on the resource compiler's include path.
constexpr const char* kScriptFolder = "resources/bitmaps/";
constexpr const char* kLogoFile = "logo.bmp";

void WriteResourceList(const std::filesystem::path& path)
{
    std::ofstream list(path, std::ios::binary);
    list << "/* The module's bitmaps, written by tools/bitmaps with the files it draws. */\n";
    list << "IDB_LOGO BITMAP \"" << kScriptFolder << kLogoFile << "\"\n";
    for (const PreviewPlan& plan : kPreviewPlans)
        list << PreviewResourceId(plan) << " BITMAP \"" << kScriptFolder << PreviewFile(plan) << "\"\n";
    if (!list.flush())
        throw std::runtime_error(path.string() + ": cannot be written");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    try {
        WriteBmp((folder / kLogoFile).string(), DrawLogo());
        for (const PreviewPlan& plan : kPreviewPlans)
            WriteBmp((folder / PreviewFile(plan)).string(), RenderPreview(plan));
        WriteResourceList(folder / "bitmaps.rc");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "veldra_make_bitmaps: %s\n", error.what());
        return 1;
    }
    return 0;
}
