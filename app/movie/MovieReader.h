// Movies read frame by frame, through libavformat, libavcodec and
// libswscale: any file libavformat opens with a video stream (.mov, .mp4,
// .mkv, .mxf, .avi...). Frame k is the stream's k-th frame in presentation
// order, numbered from 0, decoded to the RGB ffmpeg's own converter gives
// with the stream's matrix, range and chroma siting, scaled to 16 bits,
// with the codec's alpha (straight) where it carries one.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/ImageFiles.h"
#include "movie/MovieSettings.h"

// A stream of the movie other than the video stream veldra reads.
struct OtherStream {
    int index = 0;
    enum class Kind { Audio, Timecode, Other } kind = Kind::Other;
    int codecId = 0;    // libav's codec id
    std::string words;  // "audio stream 1 (aac, stereo)"
};

struct MovieInfo {
    int width = 0, height = 0;
    int frameCount = 0;
    // Frames a second as the stream states it (its average when the rate
    // varies).
    FrameRate rate;
    // When frame 0 is shown, in microseconds of the movie's time: where
    // copies of its other streams start.
    std::int64_t startMicroseconds = 0;
    // The timecode of frame 0, when the movie carries one.
    std::optional<Timecode> timecode;
    bool hasAlpha = false;
    bool grey = false;
    // "h264, yuv420p, BT.709, limited range": what the stream holds.
    std::string description;
    // What a note says of a stream whose frames do not all last the same
    // time (how they were numbered), or of a colour matrix the stream does
    // not state (which was taken); "" when there is nothing to say.
    std::string variableRateNote;
    std::string matrixNote;
    std::vector<OtherStream> otherStreams;
};

// A frame of a movie as its decoder gave it, not yet converted to RGB: the
// part of reading that can be done by any thread, several at once.
class DecodedFrame {
public:
    // The decoder's picture, which the movie library converts.
    struct Data {
        virtual ~Data() = default;
        virtual LoadedImage Convert() const = 0;
    };
    explicit DecodedFrame(std::unique_ptr<Data> data) : data_(std::move(data)) {}

    // The frame as MovieReader::Read gives it. Throws FileError naming the
    // file and frame when its pictures cannot be converted.
    LoadedImage Convert() const { return data_->Convert(); }

private:
    std::unique_ptr<Data> data_;
};

class MovieReader {
public:
    // The movie `path` holds, opened and its frames counted (the stream's
    // packets read once, without decoding); null when `path` is no movie:
    // a file libavformat does not open with a video stream, or opens as a
    // still picture. Only a regular file is opened, and only files are
    // read (no network). Throws FileError naming `path` when it is a
    // damaged movie, a movie cut short, or a file named as a movie (.mov,
    // .mp4, .mkv, .mxf, .avi...) that cannot be read as one.
    // The movie library does the work (movie/MovieLibrary.h).
    static std::unique_ptr<MovieReader> Open(const std::string& path);
    virtual ~MovieReader() = default;

    virtual const MovieInfo& Info() const = 0;

    // Frame `frame` (0 to frameCount - 1) as veldra's picture, 16-bit RGBA
    // (header UINT16, straight alpha). Frames read in increasing order are
    // decoded once each; any other frame is sought, from the key frame
    // before it. One thread reads at a time; others wait. Throws FileError
    // naming the file and the frame when the frame cannot be read or
    // decoded, or decodes damaged.
    virtual LoadedImage Read(int frame) = 0;
    // Read's decoding alone, which one thread does at a time; the
    // conversion to RGB, the larger part of the work, is left to the
    // caller's thread (DecodedFrame::Convert).
    virtual DecodedFrame Decode(int frame) = 0;
};

// Whether `path` is a movie as MovieReader::Open takes it, found without
// counting its frames. Throws as Open does for a file named as a movie
// that cannot be read as one.
bool IsMovie(const std::string& path);

// The kinds of movie file veldra names as movies by their extension, so that
// one that cannot be read is called a damaged movie rather than a picture
// no reader knows.
bool HasMovieExtension(const std::string& path);
