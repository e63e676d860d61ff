// One submission at a time into an output folder: `submit` and `retry`
// hold the lock of the output's farm folder (OUTPUT_DIR/.veldra-farm/.lock)
// while they look at its runs, set one up and submit it, so that a second
// one sees the first recorded, with its jobs, before it decides anything.
// The lock is the kernel's (flock): it goes with the process, however the
// process ends.
#pragma once

#include <string>

class FarmLock {
public:
    // Takes the lock of the farm folder `farms` (the user's own: see
    // FarmFolder.h), waiting while another veldra holds it and saying so
    // on standard error, with what that one says it does. `doing` says
    // what this one does, for whoever waits next. Throws Failure naming
    // the lock file when it cannot be taken, or is not the user's own.
    FarmLock(const std::string& farms, const std::string& doing);
    ~FarmLock();
    FarmLock(const FarmLock&) = delete;
    FarmLock& operator=(const FarmLock&) = delete;

    // Says what this one does now (the run it sets up).
    void Say(const std::string& doing) const;

private:
    std::string path_;
    int fd_ = -1;
};
