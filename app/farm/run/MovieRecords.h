// The movie of a farm run whose OUTPUT is a movie. Its tasks write each
// turned frame into the run folder as a 16-bit TIFF (frames/), and its
// final job encodes them, in frame order, into the movie, as a local render
// would, then writes the report. Two files of the run say what and how:
//
//   movie.txt         what the final job makes, written at submission:
//                     path, container, codec (as --codec takes it), rate
//                     (num/den), timecode ("" for none), quality,
//                     copy-from, copied (a line a stream), copy-start
//                     (microseconds)
//   movie-state.txt   how the making goes: state (queued, encoding, written
//                     or failed), job, message, and for a movie written its
//                     identity as it was put in place: output-device,
//                     output-inode, output-size (bytes), output-mtime-ns
//                     (nanoseconds since the epoch)
//
// Both are "key=value" lines (farm/run/KeyValues.h).
#pragma once

#include <optional>
#include <string>

#include "farm/run/FarmFolder.h"
#include "farm/run/Records.h"
#include "movie/MovieWriter.h"

// Whether the run makes a movie.
bool IsMovieRun(const FarmFolder& folder);

// Writes movie.txt and makes the room the tasks write frames in.
void WriteMovieStep(const FarmFolder& folder, const MovieOutput& movie);
// Makes the room the tasks write frames in again (the final job removes it
// once the movie is made), for a retry.
void MakeMovieFramesFolder(const FarmFolder& folder);
// Throws Failure naming the file when it is missing or damaged.
MovieOutput ReadMovieStep(const FarmFolder& folder);

// The pattern of the frames the run's tasks write for its movie.
std::string MovieFramesPattern(const FarmFolder& folder);

struct MovieState {
    enum class State { Queued, Encoding, Written, Failed } state = State::Queued;
    std::string job, message;
    std::optional<FileIdentity> output;  // the movie as written
};

void WriteMovieState(const FarmFolder& folder, const MovieState& state);
// Nothing before the final job has begun.
std::optional<MovieState> ReadMovieState(const FarmFolder& folder);

// True when the movie the final job wrote is in place, unchanged.
bool MovieInPlace(const FarmFolder& folder);

// The run's movie step as `veldra farm status` says it: what it makes and
// how far it is, "" for a run without a movie.
std::string DescribeMovieStep(const FarmFolder& folder);
