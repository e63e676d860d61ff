// Runs the frames of a job on worker threads, each with its own filter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>

// Calls task(worker, index) for every index below `count`, on `workers`
// threads (worker 0 .. workers-1; each worker calls one task at a time).
// Indexes start in increasing order; `claim`, when given, is called for
// each index as it is handed out, one call at a time and in index order,
// before its task (the serial part of the work, such as decoding the
// frame from a movie). After a claim or a task throws, no further index
// starts; those already running finish. Then the exception of the lowest
// failing index is rethrown (LowestFailure). `done` is called after each
// successful task, one call at a time.
void RunFrames(std::size_t count, int workers, const std::function<void(int worker, std::size_t index)>& task,
               const std::function<void()>& done, const std::function<void(int worker, std::size_t index)>& claim = {});

// The number of workers to use: `requested`, or one per core when 0, and
// never more than there are frames.
int WorkerCount(int requested, std::size_t frames);

// The failure a run of frames reports: of the frames that failed, the one
// with the lowest index, as a run of one frame at a time would report it,
// whatever order the failures come in. Not thread-safe: RunFrames records
// under its lock.
class LowestFailure {
public:
    // Keeps the failure of frame `index` when no lower frame has failed.
    void Record(std::size_t index, std::exception_ptr failure);
    bool Any() const { return failure_ != nullptr; }
    // Throws the failure kept, if any.
    void Rethrow() const;

private:
    std::size_t index_ = SIZE_MAX;
    std::exception_ptr failure_;
};
