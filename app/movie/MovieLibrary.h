// What needs the movie libraries (libavformat, libavcodec, libswscale):
// reading and writing movies. Like the image library (image/ImageLibrary.h)
// they come with the formats plugin, which the image program loads the
// first time a movie needs it; the Python package and the tests link the
// libav side directly.
#pragma once

#include <memory>
#include <string>

#include "movie/MovieReader.h"
#include "movie/MovieWriter.h"

class MovieLibrary {
public:
    virtual ~MovieLibrary() = default;

    // MovieReader::Open
    virtual std::unique_ptr<MovieReader> Open(const std::string& path) const = 0;
    // MovieWriter::Create
    virtual std::unique_ptr<MovieWriter> Create(const MovieOutput& output) const = 0;
    // ContainerCopies
    virtual bool ContainerCopies(const std::string& container, int codecId) const = 0;
};

// The movie libraries, loaded on first use; throws Failure naming the
// plugin when it is missing or cannot be loaded. Defined, as
// TheImageLibrary, by whoever links the movie room (movie/LinkedMovieLibrary.cpp).
const MovieLibrary& TheMovieLibrary();
