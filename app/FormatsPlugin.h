// The formats plugin, veldra-formats.so: the image library (OpenImageIO)
// and the movie libraries (libav) behind veldra's interfaces to them,
// loaded by the image program the first time a file needs them
// (LoadedFormats.cpp), so that the files it reads and writes itself start
// in milliseconds. The plugin leaves veldra's own code to the program that
// loads it, which exports it.
#pragma once

#include "image/ImageLibrary.h"
#include "movie/MovieLibrary.h"

struct FormatsPlugin {
    const char* release;  // the veldra release it was built with; only its own loads it
    const ImageLibrary* images;
    const MovieLibrary* movies;
};

// The one symbol the plugin exports for the program, by this name.
constexpr const char* kFormatsPluginEntry = "VeldraFormatsPlugin";
extern "C" const FormatsPlugin* VeldraFormatsPlugin();
