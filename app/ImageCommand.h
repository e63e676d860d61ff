// The commands that read or write pictures or movies: render, demo, the
// farm's submission (which plans the shot from its input) and the renderer
// of a farm task (farm chunk). They run in the image program, the one of
// veldra's two programs that loads the image and movie libraries
// (app/main.cpp).
#pragma once

#include "cli/Arguments.h"

// In veldra: runs the image program with the same command line `argv`, in
// this process's place, and returns only when that cannot be done. In the
// image program: runs the command.
int RunImageCommand(const Arguments& arguments, char** argv);
