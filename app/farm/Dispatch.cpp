// The dispatcher of `veldra farm`: each action to the file that holds it.
// The chunk action, which renders, is run by the image program
// (app/main.cpp), so that the rest of the farm never loads the image
// library.
#include "farm/FarmActions.h"

// The user's umask stays as it is, for the outputs the tasks write: a run's
// own files are written private (files/WholeFile.h) whatever it allows.
int RunFarm(const FarmArguments& arguments)
{
    switch (arguments.action) {
    case FarmArguments::Action::Submit: return RunFarmSubmit(arguments);
    case FarmArguments::Action::Status: return RunFarmStatus(arguments);
    case FarmArguments::Action::Retry: return RunFarmRetry(arguments);
    case FarmArguments::Action::Cancel: return RunFarmCancel(arguments);
    case FarmArguments::Action::Report: return RunFarmReport(arguments);
    case FarmArguments::Action::Task: return RunFarmTask(arguments);
    case FarmArguments::Action::Chunk: break;  // the image program's (app/main.cpp)
    }
    return 1;
}
