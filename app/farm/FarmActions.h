// `veldra farm`: a shot rendered as a Slurm job array, and the run followed
// from its farm folder. Each action returns the process exit code and
// throws Failure for anything the user can mend.
#pragma once

#include "farm/FarmArguments.h"

// The dispatcher: runs the action `arguments` ask for (Dispatch.cpp), all
// but those that run in the image program.
int RunFarm(const FarmArguments& arguments);

// Whether `arguments` ask for an action that runs in the image program,
// which reads pictures and movies: the submission and the retry (which
// plan the shot from its input, a movie's frames among it), the chunk, the
// encoding of a movie, and those that write the report page with its
// thumbnails (app/main.cpp).
bool RunsInImageProgram(const FarmArguments& arguments);

// Submit.cpp: a new run, or its failed and unrun frames again.
int RunFarmSubmit(const FarmArguments& arguments);
int RunFarmRetry(const FarmArguments& arguments);
// Follow.cpp: the run's state.
int RunFarmStatus(const FarmArguments& arguments);
// Cancel.cpp: every job of the run cancelled.
int RunFarmCancel(const FarmArguments& arguments);
// Task.cpp: one array task, which renders its chunk and records each frame.
int RunFarmTask(const FarmArguments& arguments);
// The actions that read or write pictures run in the image program, not
// through RunFarm (app/main.cpp): Chunk.cpp, the render process a task
// starts for its frames; Encode.cpp, the final job of a run whose output
// is a movie, which makes the movie and then the report;
// report/ReportActions.cpp, the report the final job of each submission
// writes (report.txt and the page, report.html), and the run's state with
// the page written (status --html).
int RunFarmChunk(const FarmArguments& arguments);
int RunFarmEncode(const FarmArguments& arguments);
int RunFarmReport(const FarmArguments& arguments);
int RunFarmStatusPage(const FarmArguments& arguments);
