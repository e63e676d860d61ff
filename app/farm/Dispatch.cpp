// The dispatcher of `veldra farm`: each action to the file that holds it.
// The submission and the retry (which plan frames from pictures and
// movies), the chunk (which renders them), the encoding of a run's movie
// and those that write the report page with its thumbnails are run by the
// image program (app/ImageCommands.cpp), so that the rest of the farm
// never loads the image and movie libraries.
#include "farm/FarmActions.h"

bool RunsInImageProgram(const FarmArguments& arguments)
{
    switch (arguments.action) {
    case FarmArguments::Action::Submit:
    case FarmArguments::Action::Retry:
    case FarmArguments::Action::Chunk:
    case FarmArguments::Action::Encode:
    case FarmArguments::Action::Report: return true;
    case FarmArguments::Action::Status: return arguments.page;
    case FarmArguments::Action::Cancel:
    case FarmArguments::Action::Task: return false;
    }
    return false;
}

// The user's umask stays as it is, for the outputs the tasks write: a run's
// own files are written private (files/WholeFile.h) whatever it allows.
int RunFarm(const FarmArguments& arguments)
{
    switch (arguments.action) {
    case FarmArguments::Action::Status: return RunFarmStatus(arguments);
    case FarmArguments::Action::Cancel: return RunFarmCancel(arguments);
    case FarmArguments::Action::Task: return RunFarmTask(arguments);
    case FarmArguments::Action::Submit:
    case FarmArguments::Action::Retry:
    case FarmArguments::Action::Chunk:
    case FarmArguments::Action::Encode:
    case FarmArguments::Action::Report: break;  // the image program's (app/ImageCommands.cpp)
    }
    return 1;
}
