#include "movie/LibavMovies.h"

namespace {

class Libav final : public MovieLibrary {
public:
    std::unique_ptr<MovieReader> Open(const std::string& path) const override { return OpenLibavMovie(path); }
    std::unique_ptr<MovieWriter> Create(const MovieOutput& output) const override { return WriteLibavMovie(output); }
    bool ContainerCopies(const std::string& container, int codecId) const override
    {
        return LibavContainerCopies(container, codecId);
    }
};

}  // namespace

const MovieLibrary& LibavMovieLibrary()
{
    static const Libav library;
    return library;
}
