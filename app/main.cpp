// veldra: the command-line host that runs frames through the VELDRA.FLT
// filter module exactly as the host application's post-production queue
// does.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/HelpText.h"
#include "commands/Commands.h"
#include "Failure.h"
#include "farm/FarmCommands.h"
#include "files/FileError.h"
#include "filter/Identity.h"
#include "image/io/LibraryMessages.h"
#include "render/Interrupt.h"

int main(int argc, char** argv)
{
    RouteLibraryMessages();
    CatchInterrupts();
    try {
        const std::vector<std::string> words(argv + 1, argv + argc);
        if (!words.empty() && words[0] == "farm")
            return RunFarm(std::vector<std::string>(words.begin() + 1, words.end()));
        const Arguments arguments = ParseArguments(words);
        switch (arguments.command) {
        case Arguments::Command::Render: return RunRender(arguments);
        case Arguments::Command::Info: return RunInfo(arguments);
        case Arguments::Command::Params: return RunParams(arguments);
        case Arguments::Command::Demo: return RunDemo(arguments);
        case Arguments::Command::Help:
            std::fputs(HelpText(arguments.helpTopic).c_str(), arguments.usageError ? stderr : stdout);
            return arguments.usageError ? 2 : 0;
        case Arguments::Command::Version:
            std::printf("veldra %s (filter module %s, %s)\n%s.\n%s.\n", VELDRA_RELEASE, VELDRA_MODULE_FILE,
                        VELDRA_VERSION_TEXT, VELDRA_COPYRIGHT, VELDRA_LICENCE);
            return 0;
        }
    } catch (const Failure& failure) {
        std::fprintf(stderr, "veldra: %s\n", failure.what());
    } catch (const FileError& failure) {
        std::fprintf(stderr, "veldra: %s\n", failure.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "veldra: out of memory\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "veldra: unexpected error: %s\n", error.what());
    }
    return 1;
}
