// The movie room's calls that the movie libraries answer, handed to them,
// and what is known without them.
#include "movie/MovieLibrary.h"

#include <algorithm>
#include <iterator>

#include "files/WholeFile.h"
#include "image/OutputFormat.h"
#include "image/io/InputChecks.h"

namespace {

const char* const kMovieExtensions[] = {"mov", "mp4",  "m4v", "mkv", "webm", "mxf", "avi", "mpg", "mpeg",
                                        "ts",  "m2ts", "mts", "wmv", "flv",  "ogv", "dv",  "y4m"};

}  // namespace

bool HasMovieExtension(const std::string& path)
{
    const std::string extension = ExtensionOf(path);
    return std::find(std::begin(kMovieExtensions), std::end(kMovieExtensions), extension) != std::end(kMovieExtensions);
}

std::unique_ptr<MovieReader> MovieReader::Open(const std::string& path)
{
    // Only a regular file is opened: a FIFO or a device would keep the
    // reader waiting.
    RegularFileSize(path);
    // A still PNG file is a picture to libavformat too: the common case of a
    // single picture is told without loading the movie libraries.
    if (!HasMovieExtension(path) && IsStillPng(path))
        return nullptr;
    return TheMovieLibrary().Open(path);
}

std::unique_ptr<MovieWriter> MovieWriter::Create(const MovieOutput& output) { return TheMovieLibrary().Create(output); }

bool ContainerCopies(const std::string& container, int codecId)
{
    return TheMovieLibrary().ContainerCopies(container, codecId);
}
