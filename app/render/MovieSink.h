// The frames of a run into one movie: workers turn frames in parallel and
// hand them over in whatever order they finish; they are encoded in frame
// order. At most `window` frames wait for an earlier one; a worker whose
// frame is further ahead waits before handing it over, so a run holds at
// most twice its workers' frames at once, however slow one frame is.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>

#include "image/ImageFiles.h"
#include "movie/MovieWriter.h"

class MovieSink {
public:
    MovieSink(const MovieOutput& output, std::size_t window);

    // Converts a frame, its colour premultiplied or not, for the encoder:
    // thread-safe, so that every worker converts its own.
    PreparedFrame Prepare(const Frame& frame, bool premultiplied) { return writer_->Prepare(frame, premultiplied); }
    // Hands over the frame at `index` (0, 1, 2... in the run). Encodes it,
    // and the frames waiting after it, when it is the next one due. Throws
    // FileError when encoding fails; after that, or after Abandon(), frames
    // handed over are dropped.
    void Put(std::size_t index, PreparedFrame frame);
    // The run has failed: no frame is encoded any more, and workers
    // waiting to hand one over go on.
    void Abandon();
    // Completes the movie once every frame has been handed over; throws
    // FileError. Without it the movie is never made.
    void Finish();

    bool AlphaDropped() const { return writer_->AlphaDropped(); }

private:
    std::unique_ptr<MovieWriter> writer_;
    std::size_t window_;
    std::mutex mutex_;
    std::condition_variable room_;
    std::map<std::size_t, PreparedFrame> waiting_;
    std::size_t next_ = 0;
    bool encoding_ = false;
    bool abandoned_ = false;
};
