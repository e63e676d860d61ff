#include "cli/Arguments.h"

#include "cli/CommandOptions.h"
#include "cli/FarmCommandLine.h"
#include "cli/HelpText.h"
#include "cli/RenderOptions.h"
#include "cli/WordReader.h"
#include "messages/Failure.h"

namespace {

// The help topic `words` ask for with --help, or "" when they ask for none:
// the command's, or the farm action's.
std::string HelpAsked(const std::vector<std::string>& words)
{
    if (!IsCommand(words[0]) || !AsksForHelp({words.begin() + 1, words.end()}))
        return "";
    if (words[0] == "farm" && words.size() > 1 && IsFarmAction(words[1]))
        return "farm " + words[1];
    return words[0];
}

// `veldra help [COMMAND [ACTION]]` and `veldra farm help [ACTION]`; a --help
// among them asks for the same help again.
Arguments Help(const std::vector<std::string>& topic)
{
    Arguments arguments;
    for (const std::string& word : topic)
        if (!word.empty() && !AsksForHelp({word}))
            arguments.helpTopic += (arguments.helpTopic.empty() ? "" : " ") + word;
    HelpText(arguments.helpTopic);  // an unknown topic fails here
    return arguments;
}

}  // namespace

Arguments ParseArguments(const std::vector<std::string>& words)
{
    Arguments arguments;
    if (words.empty()) {
        arguments.usageError = true;
        return arguments;
    }
    const std::string& command = words[0];
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    if (command == "help" || command == "--help" || command == "-h")
        return Help(rest);
    if (command == "farm" && !rest.empty() && rest[0] == "help")
        return Help({"farm", rest.size() > 1 ? rest[1] : ""});
    if (command == "--version") {
        arguments.command = Arguments::Command::Version;
        return arguments;
    }
    if (const std::string topic = HelpAsked(words); !topic.empty()) {
        arguments.helpTopic = topic;
        return arguments;
    }

    WordReader reader(command);
    AddOptions(reader, OptionsOf(command), arguments);
    if (command == "render") {
        arguments.command = Arguments::Command::Render;
        TakeRenderOperands(command, reader.Read(rest), arguments.render);
    } else if (command == "info") {
        arguments.command = Arguments::Command::Info;
        ExpectOperands(command, reader.Read(rest), 0, 0);
    } else if (command == "params") {
        arguments.command = Arguments::Command::Params;
        const auto operands = reader.Read(rest);
        ExpectOperands(command, operands, 1, 1);
        arguments.blockFile = operands[0];
    } else if (command == "demo") {
        arguments.command = Arguments::Command::Demo;
        const auto operands = reader.Read(rest);
        ExpectOperands(command, operands, 0, 1);
        arguments.demoFolder = operands.empty() ? "veldra-demo" : operands[0];
    } else if (command == "farm") {
        if (rest.empty()) {
            arguments.helpTopic = "farm";
            arguments.usageError = true;
            return arguments;
        }
        arguments.command = Arguments::Command::Farm;
        arguments.farm = ParseFarmArguments(rest);
    } else {
        throw Failure(command, "unknown command (see 'veldra --help')", FailureKind::Usage);
    }
    return arguments;
}
