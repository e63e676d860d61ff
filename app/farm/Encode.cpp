// The final job of a run whose output is a movie (`veldra farm encode`):
// once every frame is done, the frames its tasks wrote into the run folder
// are encoded in frame order into the movie, exactly as a local render
// encodes them; then the run's report, whose page shows them, and they are
// removed. It reads and writes pictures and movies, so it runs in the
// image program (app/main.cpp).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "farm/FarmActions.h"
#include "farm/Follow.h"
#include "farm/run/MovieRecords.h"
#include "image/ImageFiles.h"
#include "messages/Failure.h"
#include "messages/Warnings.h"
#include "movie/MovieWriter.h"
#include "process/OwnOutput.h"
#include "sequence/FramePattern.h"

namespace {

// Encodes the run's frames into its movie; returns the movie as written, or
// throws Failure saying why not.
FileIdentity MakeMovie(const FarmFolder& folder, const MovieOutput& movie)
{
    const RunView run = LookAtRun(folder, true);
    if (!run.state.AllDone()) {
        const std::size_t left = run.manifest.frames.size() - run.state.done.size();
        throw Failure(std::to_string(left) + " of the run's " + std::to_string(run.manifest.frames.size()) +
                      " frames are not done (veldra farm retry " + folder.Path() +
                      " renders them and makes the movie)");
    }
    const auto frames = FramePattern::Parse(MovieFramesPattern(folder));
    const std::unique_ptr<MovieWriter> writer = MovieWriter::Create(movie);
    for (const int frame : run.manifest.frames) {
        const LoadedImage image = ReadImage(frames->PathOf(frame));
        writer->Write(image.frame, image.associatedAlpha);
    }
    const FileIdentity written = writer->Finish();
    if (writer->AlphaDropped())
        Warn(AlphaDroppedWarning(movie.codec));
    return written;
}

}  // namespace

int RunFarmEncode(const FarmArguments& arguments)
{
    const FarmFolder folder = FarmFolder::Find(arguments.dir);
    MovieState state;
    if (const char* job = std::getenv("SLURM_JOB_ID")) {
        KeepOutputIn(folder.ReportLogPath(job));
        state.job = job;
    }
    state.state = MovieState::State::Encoding;
    WriteMovieState(folder, state);
    try {
        const MovieOutput movie = ReadMovieStep(folder);
        state.output = MakeMovie(folder, movie);
        state.state = MovieState::State::Written;
        WriteMovieState(folder, state);
        std::printf("veldra: wrote %s\n", movie.path.c_str());
    } catch (const Failure& failure) {
        state.state = MovieState::State::Failed;
        state.message = failure.what();
        WriteMovieState(folder, state);
        std::fprintf(stderr, "veldra: %s\n", failure.what());
        ReportRun(folder);
        return 1;
    }
    // The frames are in the movie now, and the records keep what was done:
    // they go once the report's page has its thumbnails of them, whether
    // or not the report could be written.
    const auto removeFrames = [&] {
        std::error_code ignored;
        std::filesystem::remove_all(folder.FramesPath(), ignored);
    };
    try {
        const int exitCode = ReportRun(folder);
        removeFrames();
        return exitCode;
    } catch (...) {
        removeFrames();
        throw;
    }
}
