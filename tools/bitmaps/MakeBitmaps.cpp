// Draws the module's bitmaps (the about box's logo and the setup dialog's
// previews) into a folder:  veldra_make_bitmaps FOLDER
#include <cstdio>
#include <exception>
#include <string>

#include "Logo.h"
#include "Previews.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    try {
        WriteBmp(folder + "/logo.bmp", DrawLogo());
        for (const PreviewPlan& plan : kPreviewPlans)
            WriteBmp(folder + "/" + plan.file, RenderPreview(plan));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "veldra_make_bitmaps: %s\n", error.what());
        return 1;
    }
    return 0;
}
