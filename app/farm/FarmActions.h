// `veldra farm`: a shot rendered as a Slurm job array, and the run followed
// from its farm folder. Each action returns the process exit code and
// throws Failure for anything the user can mend.
#pragma once

#include "farm/FarmArguments.h"

// The dispatcher: runs the action `arguments` ask for (Dispatch.cpp), all
// but those that read or write pictures.
int RunFarm(const FarmArguments& arguments);

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
// starts for its frames; report/ReportActions.cpp, the report the final
// job of each submission writes (report.txt and the page, report.html),
// and the run's state with the page written (status --html).
int RunFarmChunk(const FarmArguments& arguments);
int RunFarmReport(const FarmArguments& arguments);
int RunFarmStatusPage(const FarmArguments& arguments);

// True when `arguments` ask for one of those.
bool FarmActionReadsPictures(const FarmArguments& arguments);
