// veldra's side of the image commands: the image program takes this
// process's place, with the same command line, pid and signals.
#include <cerrno>
#include <unistd.h>

#include "ImageCommand.h"
#include "messages/Failure.h"
#include "render/InstalledFiles.h"

int RunImageCommand(const Arguments&, char** argv)
{
    const std::string program = InstalledFile(kImageProgram);
    argv[0] = const_cast<char*>(program.c_str());
    execv(program.c_str(), argv);
    throw FileError::OfSystemError(program, "cannot run the image program", errno);
}
