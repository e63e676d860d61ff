// What `veldra --help` and `veldra COMMAND --help` print.
#pragma once

#include <string>

// True for the name of one of veldra's commands.
bool IsCommand(const std::string& name);

// The help for `topic` (a command name, or "" for the overview); throws
// Failure for an unknown command.
std::string HelpText(const std::string& topic);
