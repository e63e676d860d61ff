// `veldra farm`: a shot rendered as a Slurm job array, and the run followed
// from its farm folder. Each action returns the process exit code and
// throws Failure for anything the user can mend.
#pragma once

#include "farm/FarmArguments.h"

// The dispatcher: runs the action `arguments` ask for (Dispatch.cpp), all
// but those that run in the image program.
int RunFarm(const FarmArguments& arguments);

// Whether `action` runs in the image program, which reads pictures and
// movies: the submission and the retry (which plan the shot from its
// input, a movie's frames among it), the chunk and the encoding of a
// movie (app/main.cpp).
bool RunsInImageProgram(FarmArguments::Action action);

// Submit.cpp: a new run, or its failed and unrun frames again.
int RunFarmSubmit(const FarmArguments& arguments);
int RunFarmRetry(const FarmArguments& arguments);
// Follow.cpp: the run's state, and the report its final job writes.
int RunFarmStatus(const FarmArguments& arguments);
int RunFarmReport(const FarmArguments& arguments);
// Encode.cpp: the final job of a run whose output is a movie, which makes
// the movie and then the report. Runs in the image program.
int RunFarmEncode(const FarmArguments& arguments);
// Cancel.cpp: every job of the run cancelled.
int RunFarmCancel(const FarmArguments& arguments);
// Task.cpp: one array task, which renders its chunk and records each frame.
int RunFarmTask(const FarmArguments& arguments);
// Chunk.cpp: the render process a task starts for its frames. It reads
// and writes pictures, so it runs in the image program, not through
// RunFarm (app/main.cpp).
int RunFarmChunk(const FarmArguments& arguments);
