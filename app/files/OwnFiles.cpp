#include "files/OwnFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "messages/Failure.h"

std::optional<NotOwn> WhyNotOwn(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        throw FileError(path, std::strerror(errno), errno);
    const uid_t user = geteuid();
    const auto othersFile = [&](const struct stat& what) -> std::optional<NotOwn> {
        if (what.st_uid == user)
            return std::nullopt;
        return NotOwn{NotOwn::Why::OthersFile, "belongs to uid " + std::to_string(what.st_uid) + ", not to you (uid " +
                                                   std::to_string(user) + ")"};
    };
    if (auto link = othersFile(info))
        return link;
    if (S_ISLNK(info.st_mode)) {
        if (stat(path.c_str(), &info) != 0)
            throw FileError(path, std::strerror(errno), errno);
        if (auto target = othersFile(info))
            return target;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return NotOwn{NotOwn::Why::OthersMayWrite, std::string("others can write to it (mode ") + mode + ")"};
    }
    return std::nullopt;
}
