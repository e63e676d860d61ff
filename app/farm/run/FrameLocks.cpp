#include "farm/run/FrameLocks.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "messages/Failure.h"
#include "process/Interrupt.h"

namespace {

bool SetLock(int fd, int frame, short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(static_cast<long long>(frame) - INT_MIN);
    lock.l_len = 1;
    return fcntl(fd, F_SETLK, &lock) == 0;
}

}  // namespace

FrameLocks::FrameLocks(const std::string& path) : path_(path)
{
    // Never through a link someone planted, and private like the records.
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0)
        throw Failure(path, std::string("cannot open the run's frame locks: ") + std::strerror(errno));
}

FrameLocks::~FrameLocks() { close(fd_); }

bool FrameLocks::Lock(int frame)
{
    // Asked again and again rather than waited for in the kernel, so that
    // an interrupt is heard however the signal's handler was installed.
    while (!SetLock(fd_, frame, F_WRLCK)) {
        if (errno != EACCES && errno != EAGAIN && errno != EINTR)
            throw Failure(path_,
                          std::string("cannot lock frame ") + std::to_string(frame) + ": " + std::strerror(errno));
        if (Interrupted())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

void FrameLocks::Unlock(int frame) { SetLock(fd_, frame, F_UNLCK); }
