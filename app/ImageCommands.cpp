// The image program's side of the image commands: they run here.
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
    case FarmArguments::Action::Chunk: return RunFarmChunk(arguments.farm);
    case FarmArguments::Action::Retry: return RunFarmRetry(arguments.farm);
    case FarmArguments::Action::Encode: return RunFarmEncode(arguments.farm);
    default: return RunFarmSubmit(arguments.farm);
    }
}
