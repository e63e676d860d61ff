#include "farm/LeftoverFiles.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>
#include <unistd.h>

#include "files/PendingFiles.h"

std::string TemporaryTagOf(const std::string& job, const std::string& task, int restart)
{
    std::string tag = "farm" + job + "_" + task + (restart > 0 ? "_r" + std::to_string(restart) : "");
    for (char& c : tag) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            c = '_';
    }
    return tag;
}

std::string FolderOfPattern(const std::string& pattern)
{
    const std::size_t slash = pattern.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : pattern.substr(0, slash);
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(folder.c_str(), nullptr), &std::free);
    return resolved ? resolved.get() : "";
}

int RemoveLeftovers(const std::string& folder, const std::vector<std::string>& tags)
{
    if (folder.empty() || tags.empty())
        return 0;
    std::vector<std::string> prefixes;
    for (const std::string& tag : tags)
        prefixes.push_back(TemporaryNamePrefix(tag));
    std::error_code error;
    int removed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".tmp") != 0)
            continue;
        for (const std::string& prefix : prefixes) {
            if (name.compare(0, prefix.size(), prefix) == 0 && unlink((folder + "/" + name).c_str()) == 0) {
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
