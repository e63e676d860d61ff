#include "process/OwnOutput.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "messages/Failure.h"

void KeepOutputIn(const std::string& path)
{
    struct stat out, file;
    if (fstat(STDOUT_FILENO, &out) == 0 && stat(path.c_str(), &file) == 0 && out.st_dev == file.st_dev &&
        out.st_ino == file.st_ino)
        return;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        throw FileError::OfSystemError(path, "cannot write the log", errno);
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    close(fd);
}
