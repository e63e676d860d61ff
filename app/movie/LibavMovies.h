// The libav side of MovieLibrary (movie/MovieLibrary.h): what the formats
// plugin serves, and what the Python package and the tests link directly.
#pragma once

#include "movie/MovieLibrary.h"

const MovieLibrary& LibavMovieLibrary();

// MovieLibrary's calls, each done with libav.
std::unique_ptr<MovieReader> OpenLibavMovie(const std::string& path);
std::unique_ptr<MovieWriter> WriteLibavMovie(const MovieOutput& output);
bool LibavContainerCopies(const std::string& container, int codecId);
