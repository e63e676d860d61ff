#include "render/ParallelFrames.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

void RunFrames(std::size_t count, int workers, const std::function<void(int worker, std::size_t index)>& task,
               const std::function<void()>& done, const std::function<void(int worker, std::size_t index)>& claim)
{
    std::mutex mutex;
    std::size_t next = 0;
    LowestFailure failure;

    auto work = [&](int worker) {
        for (;;) {
            std::size_t index = 0;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (failure.Any() || next >= count)
                    return;
                index = next++;
                // A claim that fails is recorded before the lock is let go,
                // so that no later index is claimed after it.
                try {
                    if (claim)
                        claim(worker, index);
                } catch (...) {
                    failure.Record(index, std::current_exception());
                    return;
                }
            }
            try {
                task(worker, index);
                std::lock_guard<std::mutex> lock(mutex);
                done();
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex);
                failure.Record(index, std::current_exception());
            }
        }
    };

    std::vector<std::thread> threads;
    for (int worker = 1; worker < workers; ++worker)
        threads.emplace_back(work, worker);
    work(0);
    for (auto& thread : threads)
        thread.join();
    failure.Rethrow();
}

int WorkerCount(int requested, std::size_t frames)
{
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const std::size_t wanted = requested > 0 ? static_cast<std::size_t>(requested) : static_cast<std::size_t>(cores);
    return static_cast<int>(std::max<std::size_t>(1, std::min(wanted, frames)));
}

void LowestFailure::Record(std::size_t index, std::exception_ptr failure)
{
    if (index < index_) {
        index_ = index;
        failure_ = std::move(failure);
    }
}

void LowestFailure::Rethrow() const
{
    if (failure_)
        std::rethrow_exception(failure_);
}
