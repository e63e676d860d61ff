// veldra: the command-line host that runs frames through the VELDRA.FLT
// filter module exactly as the host application's post-production queue
// does.
//
// Exit codes: 0 when the work asked for is done; for a failure, its kind's
// (messages/FailureKind.h): 2 for a command line veldra cannot take (a usage
// error or a bad value: its help, or a line naming the mistake, on standard
// error), 1 for every other failure.
//
// Two programs are made from this file: veldra, and the image program
// veldra-images (render/InstalledFiles.h), the only one that loads the
// image and movie libraries. The commands that read or write pictures or
// movies run in the image program (app/ImageCommand.h); everything else,
// the farm's status, tasks and reports among it, starts in a few
// milliseconds.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "ImageCommand.h"
#include "cli/HelpText.h"
#include "commands/Commands.h"
#include "farm/FarmActions.h"
#include "filter/Identity.h"
#include "messages/Failure.h"
#include "messages/LibraryMessages.h"
#include "process/Interrupt.h"

namespace {

constexpr int kFailed = FactsOf(FailureKind::Failed).exitCode;
constexpr int kUsageError = FactsOf(FailureKind::Usage).exitCode;

int Run(const Arguments& arguments, char** argv)
{
    switch (arguments.command) {
    case Arguments::Command::Render: return RunImageCommand(arguments, argv);
    case Arguments::Command::Info: return RunInfo(arguments);
    case Arguments::Command::Params: return RunParams(arguments);
    case Arguments::Command::Demo: return RunImageCommand(arguments, argv);
    case Arguments::Command::Farm:
        if (RunsInImageProgram(arguments.farm))
            return RunImageCommand(arguments, argv);
        return RunFarm(arguments.farm);
    case Arguments::Command::Help:
        if (arguments.usageError) {
            std::fputs(UsageText(arguments.helpTopic).c_str(), stderr);
            return kUsageError;
        }
        std::fputs(HelpText(arguments.helpTopic).c_str(), stdout);
        return 0;
    case Arguments::Command::Version:
        std::printf("veldra %s (filter module %s, %s)\n%s.\n%s.\n", VELDRA_RELEASE, VELDRA_MODULE_FILE,
                    VELDRA_VERSION_TEXT, VELDRA_COPYRIGHT, VELDRA_LICENCE);
        return 0;
    }
    return kFailed;
}

}  // namespace

int main(int argc, char** argv)
{
    RouteLibraryMessages();
    CatchInterrupts();
    try {
        return Run(ParseArguments(std::vector<std::string>(argv + 1, argv + argc)), argv);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "veldra: %s\n", failure.what());
        return FactsOf(failure.Kind()).exitCode;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "veldra: out of memory\n");
        return FactsOf(FailureKind::Memory).exitCode;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "veldra: unexpected error: %s\n", error.what());
    }
    return kFailed;
}
