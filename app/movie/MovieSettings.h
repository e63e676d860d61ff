// Movies in words: the kinds veldra writes (by a file name's extension),
// the codecs it encodes with, frame rates and timecodes. Nothing here
// loads the movie libraries, so that the command line, the plan and the
// farm's submission read these without them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Frames per second as a fraction: 24/1, 24000/1001.
struct FrameRate {
    int num = 0;
    int den = 1;

    bool operator==(const FrameRate& other) const { return num == other.num && den == other.den; }
    bool operator!=(const FrameRate& other) const { return !(*this == other); }
    double PerSecond() const { return static_cast<double>(num) / den; }
};

// "24", "25", "24000/1001", or the usual decimal names of the NTSC rates
// ("23.976", "29.97", "47.952", "59.94", "119.88") as their exact
// fractions; a rate from 1 to 1000 frames a second. Nothing for any other
// text.
std::optional<FrameRate> ParseFrameRate(const std::string& text);
// "24" or "24000/1001", as ParseFrameRate reads it.
std::string FrameRateText(FrameRate rate);

// A timecode "HH:MM:SS:FF", or "HH:MM:SS;FF" for drop-frame.
struct Timecode {
    int hours = 0, minutes = 0, seconds = 0, frames = 0;
    bool dropFrame = false;
};
// The timecode `text` spells, or nothing when it is malformed (hours 0-23,
// minutes and seconds 0-59, frames 0-99).
std::optional<Timecode> ParseTimecode(const std::string& text);
std::string TimecodeText(const Timecode& timecode);
// Whether `timecode` can count at `rate`: its frames below the rate's whole
// frames a second, drop-frame only at 30000/1001 and 60000/1001, and no
// frame number that drop-frame counting skips. "" when it can, else why
// not.
std::string TimecodeProblem(const Timecode& timecode, FrameRate rate);
// The timecode `frames` frames after `start` at `rate` (which
// TimecodeProblem accepted), wrapping at 24 hours.
Timecode TimecodeAfter(const Timecode& start, std::int64_t frames, FrameRate rate);

// The codecs veldra writes movies with.
enum class MovieCodec { ProRes4444, ProRes422HQ, DnxhrHQ, Dnxhr444, H264 };

struct MovieCodecWord {
    const char* word;  // as --codec takes it
    MovieCodec codec;
    bool alpha;        // the codec carries alpha
    const char* what;  // for the help and messages
};
extern const MovieCodecWord kMovieCodecWords[5];

const MovieCodecWord& WordOf(MovieCodec codec);

// The kind of movie a file name asks for, by its extension: "mov", "mp4"
// or "mkv"; "" for any other name.
std::string MovieContainerOf(const std::string& path);
// The codec a container gets when none is asked for: ProRes 4444 in MOV and
// Matroska (alpha kept), H.264 in MP4 (for review).
MovieCodec DefaultCodecOf(const std::string& container);
// Whether `container` holds `codec`: MP4 holds H.264 only.
bool ContainerHolds(const std::string& container, MovieCodec codec);

// The H.264 quality (constant rate factor, 0 best to 51) when none is asked
// for: visually lossless review.
constexpr int kDefaultH264Quality = 18;

// What a movie output is asked for; unset fields follow the input.
struct MovieRequest {
    std::optional<MovieCodec> codec;   // none: the container's default
    std::optional<FrameRate> fps;      // none: the input movie's
    std::optional<Timecode> timecode;  // none: the input movie's, from its first frame rendered
    std::optional<int> quality;        // H.264 only
};
