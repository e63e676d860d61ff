#include "render/InstalledFiles.h"

#include <filesystem>
#include <system_error>

std::string RunningProgram()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? "" : self.string();
}

std::string InstalledFile(const std::string& name)
{
    const std::filesystem::path self = RunningProgram();
    if (self.empty())
        return name;
    const std::filesystem::path beside = self.parent_path() / name;
    std::error_code missing;
    if (std::filesystem::exists(beside, missing))
        return beside.string();
    return (self.parent_path() / VELDRA_MODULE_FOLDER_FROM_BIN / name).string();
}
