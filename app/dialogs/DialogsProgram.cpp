// veldra-dialogs: the filter's dialogs for people, without the host.
//
//   veldra-dialogs FILE      the setup dialog on a parameter file (made with
//                          the defaults when missing); saved only on OK
//   veldra-dialogs --about   the about box
//
// Loads VELDRA.FLT from the program's own folder through its exports, as the
// host does. Exits 0 after OK or Cancel, 1 on an error, 2 on a usage error.
#include <cstdio>
#include <filesystem>
#include <string>

#include <windows.h>

#include "files/ParamFile.h"
#include "files/WholeFile.h"
#include "filter/Identity.h"
#include "loader/ModuleLoader.h"

namespace {

std::string ModuleBesideProgram()
{
    char path[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return (std::filesystem::path(std::string(path, length)).parent_path() / VELDRA_MODULE_FILE).string();
}

int RunSetup(ImageFilter& filter, const std::string& path)
{
    ParamBlock block{};
    if (PathExists(path)) {
        block = ReadParamFile(path);
        if (!filter.LoadConfigure(block.data()))
            throw FileError(path + ": not a parameter block of this filter (wrong tag)");
    } else {
        filter.SaveConfigure(block.data());
        WriteParamFile(path, block);
        std::printf("%s: created with the defaults\n", path.c_str());
    }
    switch (filter.ShowControl(nullptr)) {
    case 1:
        filter.SaveConfigure(block.data());
        WriteParamFile(path, block);
        std::printf("%s: saved\n", path.c_str());
        return 0;
    case 0: std::printf("%s: cancelled, left as it was\n", path.c_str()); return 0;
    default: std::fprintf(stderr, "veldra-dialogs: the setup dialog could not be opened\n"); return 1;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: veldra-dialogs FILE | --about\n");
        return 2;
    }
    const std::string argument = argv[1];
    try {
        LoadedModule module(ModuleBesideProgram());
        auto filter = module.CreateFilter();
        if (argument == "--about") {
            if (filter->OpenAboutBox(nullptr) >= 0)
                return 0;
            std::fprintf(stderr, "veldra-dialogs: the about box could not be opened\n");
            return 1;
        }
        return RunSetup(*filter, argument);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "veldra-dialogs: %s\n", error.what());
        return 1;
    }
}
