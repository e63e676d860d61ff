#include "farm/run/MovieRecords.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <iterator>

#include "farm/run/KeyValues.h"
#include "farm/run/RunFiles.h"
#include "files/WholeFile.h"
#include "messages/Failure.h"
#include "sequence/ParseInteger.h"

namespace {

std::string StepPath(const FarmFolder& folder) { return folder.Path() + "/movie.txt"; }
std::string StatePath(const FarmFolder& folder) { return folder.Path() + "/movie-state.txt"; }

const char* const kStates[] = {"queued", "encoding", "written", "failed"};

long long NumberOf(const KeyValues& values, const std::string& key, const std::string& what)
{
    const auto number = ParseInteger(ValueOf(values, key), LLONG_MIN, LLONG_MAX);
    if (!number)
        throw Failure(what, "damaged: no whole number for " + key);
    return *number;
}

void Write(const std::string& path, const KeyValues& values)
{
    const std::string text = FormatKeyValues(values, path);
    ReplaceFileContents(path, text.data(), text.size(), WriteAs::PrivateRecord);
}

}  // namespace

bool IsMovieRun(const FarmFolder& folder) { return PathExists(StepPath(folder)); }

std::string MovieFramesPattern(const FarmFolder& folder) { return folder.FramesPath() + "/f.########.tif"; }

void WriteMovieStep(const FarmFolder& folder, const MovieOutput& movie)
{
    KeyValues values = {{"path", movie.path},
                        {"container", movie.container},
                        {"codec", WordOf(movie.codec).word},
                        {"rate", std::to_string(movie.rate.num) + "/" + std::to_string(movie.rate.den)},
                        {"timecode", movie.timecode ? TimecodeText(*movie.timecode) : ""},
                        {"quality", std::to_string(movie.quality)},
                        {"copy-from", movie.copyFrom},
                        {"copy-start", std::to_string(movie.copyStartMicroseconds)}};
    for (const int stream : movie.copiedStreams)
        values.emplace_back("copied", std::to_string(stream));
    Write(StepPath(folder), values);
    MakeMovieFramesFolder(folder);
}

void MakeMovieFramesFolder(const FarmFolder& folder)
{
    if (mkdir(folder.FramesPath().c_str(), 0755) != 0 && errno != EEXIST)
        throw Failure(folder.FramesPath(), std::string("cannot make the folder: ") + std::strerror(errno));
}

MovieOutput ReadMovieStep(const FarmFolder& folder)
{
    const std::string path = StepPath(folder);
    const KeyValues values = ParseKeyValues(ReadRunFile(path));
    MovieOutput movie;
    movie.path = ValueOf(values, "path");
    movie.container = ValueOf(values, "container");
    const std::string codec = ValueOf(values, "codec");
    bool known = false;
    for (const MovieCodecWord& word : kMovieCodecWords)
        if (codec == word.word) {
            movie.codec = word.codec;
            known = true;
        }
    const auto rate = ParseFrameRate(ValueOf(values, "rate"));
    const std::string timecode = ValueOf(values, "timecode");
    if (movie.path.empty() || MovieContainerOf(movie.path) != movie.container || movie.container.empty() || !known ||
        !rate || (!timecode.empty() && !ParseTimecode(timecode)))
        throw Failure(path, "damaged: not a movie this run can make");
    movie.rate = *rate;
    if (!timecode.empty())
        movie.timecode = ParseTimecode(timecode);
    movie.quality = static_cast<int>(NumberOf(values, "quality", path));
    movie.copyFrom = ValueOf(values, "copy-from");
    movie.copyStartMicroseconds = NumberOf(values, "copy-start", path);
    for (const auto& [key, value] : values)
        if (key == "copied") {
            const auto stream = ParseInteger(value, 0, INT_MAX);
            if (!stream)
                throw Failure(path, "damaged: a copied stream is no stream number");
            movie.copiedStreams.push_back(static_cast<int>(*stream));
        }
    return movie;
}

void WriteMovieState(const FarmFolder& folder, const MovieState& state)
{
    KeyValues values = {
        {"state", kStates[static_cast<int>(state.state)]}, {"job", state.job}, {"message", state.message}};
    if (state.output) {
        values.emplace_back("output-device", std::to_string(state.output->device));
        values.emplace_back("output-inode", std::to_string(state.output->inode));
        values.emplace_back("output-size", std::to_string(state.output->size));
        values.emplace_back("output-mtime-ns", std::to_string(state.output->mtimeNs));
    }
    Write(StatePath(folder), values);
}

std::optional<MovieState> ReadMovieState(const FarmFolder& folder)
{
    const std::string path = StatePath(folder);
    if (!PathExists(path))
        return std::nullopt;
    const KeyValues values = ParseKeyValues(ReadRunFile(path));
    MovieState state;
    const std::string word = ValueOf(values, "state");
    const auto found = std::find(std::begin(kStates), std::end(kStates), word);
    if (found == std::end(kStates))
        throw Failure(path, "damaged: no state");
    state.state = static_cast<MovieState::State>(found - std::begin(kStates));
    state.job = ValueOf(values, "job");
    state.message = ValueOf(values, "message");
    if (!ValueOf(values, "output-size").empty())
        state.output = FileIdentity{static_cast<std::uint64_t>(NumberOf(values, "output-device", path)),
                                    static_cast<std::uint64_t>(NumberOf(values, "output-inode", path)),
                                    static_cast<std::uint64_t>(NumberOf(values, "output-size", path)),
                                    NumberOf(values, "output-mtime-ns", path)};
    return state;
}

bool MovieInPlace(const FarmFolder& folder)
{
    const std::optional<MovieState> state = ReadMovieState(folder);
    return state && state->state == MovieState::State::Written && state->output &&
           IdentityOf(ReadMovieStep(folder).path) == state->output;
}

std::string DescribeMovieStep(const FarmFolder& folder)
{
    if (!IsMovieRun(folder))
        return "";
    const MovieOutput movie = ReadMovieStep(folder);
    const std::string what = "movie:     " + movie.path + " (" + WordOf(movie.codec).word + ", " +
                             FrameRateText(movie.rate) + " fps)";
    const std::optional<MovieState> state = ReadMovieState(folder);
    if (!state)
        return what + ": made by the run's final job once every frame is done\n";
    const std::string job = state->job.empty() ? "" : " (job " + state->job + ")";
    switch (state->state) {
    case MovieState::State::Queued: return what + ": made by the run's final job" + job + " once every frame is done\n";
    case MovieState::State::Encoding: return what + ": being encoded" + job + "\n";
    case MovieState::State::Failed: return what + ": not made" + job + ": " + state->message + "\n";
    case MovieState::State::Written: break;
    }
    if (MovieInPlace(folder))
        return what + ": written" + job + "\n";
    return what + ": written" + job + ", but it is gone or replaced since\n";
}
