#include "farm/run/FarmLock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "farm/TaskEnvironment.h"
#include "messages/Failure.h"
#include "process/Interrupt.h"

FarmLock::FarmLock(const std::string& farms, const std::string& doing) : path_(farms + "/.lock")
{
    // Private, as every file of the farm folder: no one else may hold it
    // open against the user, nor plant a link in its place.
    fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ < 0)
        throw FileError(path_, std::string("cannot take the lock: ") + std::strerror(errno));
    struct stat info {};
    if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        close(fd_);
        throw FileError(path_,
                        "not a lock of yours (a file only you may write): veldra farm acts only on your own runs");
    }
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        char holder[512] = {};
        const ssize_t length = pread(fd_, holder, sizeof holder - 1, 0);
        std::fprintf(stderr, "veldra: waiting for another veldra submitting into this output folder (%s)\n",
                     length > 0 ? holder : "it has not said what it does");
        std::fflush(stderr);
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR || Interrupted()) {
                const int error = errno;
                close(fd_);
                throw FileError(path_, std::string("cannot take the lock: ") +
                                           (Interrupted() ? "interrupted" : std::strerror(error)));
            }
        }
    }
    Say(doing);
}

FarmLock::~FarmLock()
{
    // Closing the file releases the lock.
    close(fd_);
}

void FarmLock::Say(const std::string& doing) const
{
    const std::string text = "pid " + std::to_string(getpid()) + " on " + HostName() + ": " + doing;
    if (ftruncate(fd_, 0) == 0)
        (void)!pwrite(fd_, text.data(), text.size(), 0);
}
