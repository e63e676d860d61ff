// RunFrames with several workers: every frame once, one task per worker at
// a time, and the lowest failing frame's error whichever order the failures
// happen in.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "render/ParallelFrames.h"

namespace {

// A flag one task raises and another waits for, so that tests order events
// between workers without sleeping.
class Signal {
public:
    void Raise()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        raised_ = true;
        changed_.notify_all();
    }
    void Wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return raised_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool raised_ = false;
};

// The message of the exception RunFrames rethrows, or "" when none.
std::string FailureOf(std::size_t count, int workers, const std::function<void(int, std::size_t)>& task)
{
    try {
        RunFrames(count, workers, task, [] {});
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

}  // namespace

// Every index runs once; a worker never runs two tasks at once; `done` comes once per task, one call at a time.
TEST(ParallelFrames, EveryFrameOnceInOrderOneTaskPerWorker)
{
    constexpr int kWorkers = 4;
    constexpr std::size_t kCount = 200;
    std::mutex mutex;
    std::vector<std::size_t> started;
    std::atomic<int> busy[kWorkers] = {};
    std::atomic<int> overlaps{0}, doneInside{0}, doneCalls{0};

    RunFrames(
        kCount, kWorkers,
        [&](int worker, std::size_t index) {
            ASSERT_GE(worker, 0);
            ASSERT_LT(worker, kWorkers);
            if (busy[worker]++ != 0)
                ++overlaps;
            {
                std::lock_guard<std::mutex> lock(mutex);
                started.push_back(index);
            }
            --busy[worker];
        },
        [&] {
            if (doneInside++ != 0)
                ++overlaps;
            ++doneCalls;
            --doneInside;
        });

    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(doneCalls, static_cast<int>(kCount));
    std::sort(started.begin(), started.end());
    ASSERT_EQ(started.size(), kCount);
    for (std::size_t i = 0; i < kCount; ++i)
        EXPECT_EQ(started[i], i);
}

// The message of the failure `failures` keeps.
std::string Kept(const LowestFailure& failures)
{
    try {
        failures.Rethrow();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

std::exception_ptr FailureOfFrame(int frame)
{
    return std::make_exception_ptr(std::runtime_error("frame " + std::to_string(frame)));
}

// Frame 5's failure is recorded first, then frame 3's, which started
// earlier: frame 3's is the one reported, as a sequential run would report
// it.
TEST(ParallelFrames, LowestFailingFrameWinsWhenItFailsLast)
{
    LowestFailure failures;
    failures.Record(5, FailureOfFrame(5));
    failures.Record(3, FailureOfFrame(3));
    EXPECT_EQ(Kept(failures), "frame 3");
}

// Frame 3's failure is recorded first; frame 5's after it changes nothing.
TEST(ParallelFrames, LowestFailingFrameWinsWhenItFailsFirst)
{
    LowestFailure failures;
    EXPECT_FALSE(failures.Any());
    failures.Record(3, FailureOfFrame(3));
    failures.Record(5, FailureOfFrame(5));
    EXPECT_TRUE(failures.Any());
    EXPECT_EQ(Kept(failures), "frame 3");
}

// RunFrames reports by that rule: frames 3 and 5 fail on different
// workers, frame 5 first, and frame 3's failure is thrown.
TEST(ParallelFrames, RunFramesThrowsTheLowestFailingFrame)
{
    Signal fiveFailed;
    const std::string failure = FailureOf(8, 4, [&](int, std::size_t index) {
        if (index == 3) {
            fiveFailed.Wait();
            throw std::runtime_error("frame 3");
        }
        if (index == 5) {
            fiveFailed.Raise();
            throw std::runtime_error("frame 5");
        }
    });
    EXPECT_EQ(failure, "frame 3");
}

// After a failure no new frame starts. A claim's failure is recorded under
// the lock that hands out indexes, so with several workers nothing past it
// is claimed or turned, however the threads are scheduled; one worker
// stops at a failing task. (A task's failure on one of several workers
// becomes known only once its thread records it, at a moment no test can
// wait for without a hook inside the loop.)
TEST(ParallelFrames, NoFrameStartsAfterAFailure)
{
    constexpr std::size_t kCount = 1000, kFailing = 5;
    std::mutex mutex;
    std::vector<std::size_t> claimed, turned;
    std::string failure;
    try {
        RunFrames(
            kCount, 3,
            [&](int, std::size_t index) {
                std::lock_guard<std::mutex> lock(mutex);
                turned.push_back(index);
            },
            [] {},
            [&](int, std::size_t index) {
                claimed.push_back(index);
                if (index == kFailing)
                    throw std::runtime_error("frame " + std::to_string(index));
            });
    } catch (const std::runtime_error& error) {
        failure = error.what();
    }
    EXPECT_EQ(failure, "frame 5");
    EXPECT_EQ(claimed, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
    std::sort(turned.begin(), turned.end());
    EXPECT_EQ(turned, (std::vector<std::size_t>{0, 1, 2, 3, 4}));

    std::size_t ran = 0;
    EXPECT_EQ(FailureOf(kCount, 1,
                        [&](int, std::size_t index) {
                            ++ran;
                            if (index == 0)
                                throw std::runtime_error("frame 0");
                        }),
              "frame 0");
    EXPECT_EQ(ran, 1u);
}

// One worker per core unless asked, never more workers than frames, and at
// least one.
TEST(ParallelFrames, WorkerCount)
{
    EXPECT_EQ(WorkerCount(3, 100), 3);
    EXPECT_EQ(WorkerCount(8, 2), 2);
    EXPECT_EQ(WorkerCount(4, 0), 1);
    EXPECT_GE(WorkerCount(0, 1000), 1);
    EXPECT_EQ(WorkerCount(0, 1), 1);
}
