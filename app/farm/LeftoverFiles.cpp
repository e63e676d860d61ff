#include "farm/LeftoverFiles.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>
#include <unistd.h>

#include "files/PathParts.h"
#include "files/TemporaryNames.h"

std::string TemporaryTagOf(const std::string& job, const std::string& task, int restart)
{
    return TemporaryTagFrom("farm" + job + "_" + task + (restart > 0 ? "_r" + std::to_string(restart) : ""));
}

std::string FolderOfPattern(const std::string& pattern)
{
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(FolderOf(pattern).c_str(), nullptr), &std::free);
    return resolved ? resolved.get() : "";
}

int RemoveLeftovers(const std::string& folder, const std::vector<std::string>& tags)
{
    if (folder.empty() || tags.empty())
        return 0;
    std::error_code error;
    int removed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        for (const std::string& tag : tags) {
            if (IsTemporaryName(name, tag) && unlink((folder + "/" + name).c_str()) == 0) {
                ++removed;
                break;
            }
        }
    }
    return removed;
}

int RemoveLeftovers(const std::string& folder, const std::string& tag)
{
    return RemoveLeftovers(folder, std::vector<std::string>{tag});
}
