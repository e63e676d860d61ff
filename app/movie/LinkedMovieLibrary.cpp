// The movie libraries linked into the program itself: for the Python
// package and the tests, which load them anyway.
#include "movie/LibavMovies.h"

const MovieLibrary& TheMovieLibrary() { return LibavMovieLibrary(); }
