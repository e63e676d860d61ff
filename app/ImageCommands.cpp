// The image program's side of the image commands: they run here, the
// farm's that read or write pictures among them.
#include "ImageCommand.h"
#include "commands/Commands.h"
#include "farm/FarmActions.h"

int RunImageCommand(const Arguments& arguments, char**)
{
    switch (arguments.command) {
    case Arguments::Command::Render: return RunRender(arguments);
    case Arguments::Command::Demo: return RunDemo(arguments);
    default: break;
    }
    switch (arguments.farm.action) {
    case FarmArguments::Action::Report: return RunFarmReport(arguments.farm);
    case FarmArguments::Action::Status: return RunFarmStatusPage(arguments.farm);
    default: return RunFarmChunk(arguments.farm);
    }
}
