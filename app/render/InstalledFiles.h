// The files veldra installs with its program: the module, the host
// libraries it imports, the image program and its formats plugin. As built they lie beside
// the running program; installed, PREFIX/bin/veldra finds them in
// PREFIX/lib/veldra.
#pragma once

#include <string>

// The image program: veldra itself, with the commands that read and write
// pictures (render, demo, and a farm task's renderer), which alone loads
// the image library and its hundreds of shared libraries (app/main.cpp).
constexpr const char* kImageProgram = "veldra-images";

// The plugin the image program loads the image and movie libraries with,
// the first time a file needs them (app/FormatsPlugin.h).
constexpr const char* kFormatsPlugin = "veldra-formats.so";

// The path of the running program; "" when the system cannot tell.
std::string RunningProgram();

// Where the installed file `name` is for the running program.
std::string InstalledFile(const std::string& name);
