// Movies written frame by frame: encoded with libavcodec, muxed with
// libavformat into a temporary file beside the movie, and renamed into
// place only when complete (files/FileBeingWritten.h), so that a failed
// encode, a full disk or a signal leaves no partial movie and no temporary
// file. The same frames and settings give the same bytes: no time of
// writing, no library version string, and encoders run with settings that
// do not depend on the machine (H.264 with a fixed number of threads).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/WholeFile.h"
#include "image/Frame.h"
#include "movie/MovieSettings.h"

struct MovieOutput {
    std::string path;
    std::string container;  // "mov", "mp4" or "mkv" (MovieContainerOf)
    MovieCodec codec = MovieCodec::ProRes4444;
    FrameRate rate;
    std::optional<Timecode> timecode;   // of the first frame
    int quality = kDefaultH264Quality;  // H.264's constant rate factor
    // The movie whose streams `copiedStreams` (its audio) are copied into
    // this one as they are, and the time of its first frame shown, in
    // microseconds, from which they are kept in step; "" for none.
    std::string copyFrom;
    std::vector<int> copiedStreams;
    std::int64_t copyStartMicroseconds = 0;
};

// What a warning says when frames with transparency went into `codec`,
// which holds no alpha.
std::string AlphaDroppedWarning(MovieCodec codec);

// Whether a movie of `container` can hold a stream of libav's codec
// `codecId` as it is (OtherStream::codecId).
bool ContainerCopies(const std::string& container, int codecId);

// A frame converted to what the movie's encoder takes: the part of writing
// that can be done by any thread, several at once.
class PreparedFrame {
public:
    // The encoder's picture, which only the movie library reads.
    struct Data {
        virtual ~Data() = default;
    };
    explicit PreparedFrame(std::unique_ptr<Data> data) : data_(std::move(data)) {}

private:
    friend class MovieWriter;
    std::unique_ptr<Data> data_;
};

class MovieWriter {
public:
    // Makes the temporary file beside `output.path`; the encoder starts with
    // the first frame, whose size every frame must have. Throws FileError
    // naming the movie. The movie library does the work
    // (movie/MovieLibrary.h).
    static std::unique_ptr<MovieWriter> Create(const MovieOutput& output);
    // A movie not finished is removed.
    virtual ~MovieWriter() = default;

    // Encodes the next frame. Its colour is converted to the codec's YUV
    // with the BT.709 matrix in limited range, as the movie's tags say.
    // Codecs with alpha get straight colour and the alpha; the others get
    // the colour over black (premultiplied). Throws FileError naming the
    // movie and the frame (numbered from 0 in the movie).
    void Write(const Frame& frame, bool premultiplied) { Write(Prepare(frame, premultiplied)); }
    // Write in two: the conversion, thread-safe, and the encoding of what it
    // gives, one frame at a time in the movie's order.
    virtual PreparedFrame Prepare(const Frame& frame, bool premultiplied) = 0;
    virtual void Write(PreparedFrame frame) = 0;
    // Completes the movie (the encoder's last frames, the copied streams'
    // rest, the index) and renames it into place; returns the file as
    // written. Throws FileError.
    virtual FileIdentity Finish() = 0;

    // True when a frame with transparency went into a codec without alpha.
    virtual bool AlphaDropped() const = 0;

protected:
    static PreparedFrame::Data& ContentsOf(PreparedFrame& frame) { return *frame.data_; }
};
