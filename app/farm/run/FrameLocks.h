// Which process of a run renders a frame now. When Slurm starts a task
// again on another node while the first copy still runs on a node it has
// lost touch with, both copies go through the same frames: each renders a
// frame only while it holds that frame's lock, and first looks whether the
// other has rendered it meanwhile, so the frame is rendered once and its
// record always names the file that stands.
//
// A lock is a POSIX record lock on one byte of the run's frames.lock (byte
// frame - INT_MIN), which network file systems carry between machines and
// the kernel lets go when its process ends, however it ends. Locks belong
// to the process: threads of one process must lock different frames, and
// the process must not open frames.lock another time.
#pragma once

#include <string>

class FrameLocks {
public:
    // Opens (or makes) `path`; throws Failure naming it when it cannot.
    explicit FrameLocks(const std::string& path);
    ~FrameLocks();
    FrameLocks(const FrameLocks&) = delete;
    FrameLocks& operator=(const FrameLocks&) = delete;

    // Waits until this process holds `frame`'s lock; false when the
    // process was interrupted while waiting.
    bool Lock(int frame);
    void Unlock(int frame);

private:
    std::string path_;
    int fd_ = -1;
};
