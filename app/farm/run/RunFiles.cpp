#include "farm/run/RunFiles.h"

#include <climits>

#include "files/OwnFiles.h"
#include "files/WholeFile.h"
#include "messages/Failure.h"
#include "sequence/ParseInteger.h"

std::string ReadRunFile(const std::string& path, std::size_t limit)
{
    const std::string text = ReadFileHead(path, limit + 1, Links::Refuse);
    if (text.size() > limit)
        throw FileError(path, "longer than a farm run's file can be (" + std::to_string(limit) + " bytes)");
    return text;
}

void CheckOwnPath(const std::string& path)
{
    const auto notOwn = WhyNotOwn(path);
    if (!notOwn)
        return;
    throw Failure(path, notOwn->problem + (notOwn->why == NotOwn::Why::OthersFile
                                               ? ": veldra farm acts only on your own runs"
                                               : ": veldra farm acts only on runs no one else can change"));
}

std::optional<int> NumberOfName(const std::string& name)
{
    if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".txt") != 0)
        return std::nullopt;
    const auto number = ParseInteger(name.substr(0, name.size() - 4), INT_MIN, INT_MAX);
    if (!number || std::to_string(*number) + ".txt" != name)
        return std::nullopt;
    return static_cast<int>(*number);
}
