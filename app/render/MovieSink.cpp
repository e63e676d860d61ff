#include "render/MovieSink.h"

#include <utility>

MovieSink::MovieSink(const MovieOutput& output, std::size_t window)
    : writer_(MovieWriter::Create(output)), window_(window)
{}

void MovieSink::Put(std::size_t index, PreparedFrame frame)
{
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [&] { return abandoned_ || index < next_ + window_; });
    if (abandoned_)
        return;
    waiting_.emplace(index, std::move(frame));
    // One worker encodes at a time: whoever hands over the frame due, and
    // then those that were waiting for it.
    if (encoding_)
        return;
    encoding_ = true;
    for (auto due = waiting_.find(next_); !abandoned_ && due != waiting_.end(); due = waiting_.find(next_)) {
        PreparedFrame frameDue = std::move(due->second);
        waiting_.erase(due);
        lock.unlock();
        try {
            writer_->Write(std::move(frameDue));
        } catch (...) {
            lock.lock();
            encoding_ = false;
            abandoned_ = true;
            room_.notify_all();
            throw;
        }
        lock.lock();
        ++next_;
        room_.notify_all();
    }
    encoding_ = false;
}

void MovieSink::Abandon()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    abandoned_ = true;
    waiting_.clear();
    room_.notify_all();
}

void MovieSink::Finish() { writer_->Finish(); }
