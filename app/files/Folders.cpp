#include "files/Folders.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <sys/stat.h>

#include "messages/Failure.h"

std::string ResolvedPath(const std::string& path)
{
    const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
    if (!resolved)
        throw FileError(path, std::strerror(errno), errno);
    return resolved.get();
}

void EnsureFolder(const std::string& path) { MakeNewFolder(path); }

bool MakeNewFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    throw FileError::OfSystemError(path, "cannot make the folder", errno);
}

std::vector<std::string> NamesInFolder(const std::string& folder)
{
    std::error_code error;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name[0] != '.')
            names.push_back(name);
    }
    if (error)
        throw FileError(folder, "cannot read the folder: " + error.message(), error.value());
    std::sort(names.begin(), names.end());
    return names;
}

bool IsRegularFile(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}
