// The dispatcher of `veldra farm`: each action to the file that holds it.
#include "farm/FarmActions.h"

int RunFarm(const FarmArguments& arguments)
{
    switch (arguments.action) {
    case FarmArguments::Action::Submit: return RunFarmSubmit(arguments);
    case FarmArguments::Action::Status: return RunFarmStatus(arguments);
    case FarmArguments::Action::Retry: return RunFarmRetry(arguments);
    case FarmArguments::Action::Cancel: return RunFarmCancel(arguments);
    case FarmArguments::Action::Report: return RunFarmReport(arguments);
    case FarmArguments::Action::Task: return RunFarmTask(arguments);
    }
    return 1;
}
