#include "FormatsPlugin.h"

#include "filter/Identity.h"
#include "image/OpenImageIOLibrary.h"
#include "movie/LibavMovies.h"

extern "C" const FormatsPlugin* VeldraFormatsPlugin()
{
    static const FormatsPlugin plugin{VELDRA_RELEASE, &OpenImageIOLibrary(), &LibavMovieLibrary()};
    return &plugin;
}
