// What `veldra --help`, `veldra help [COMMAND]` and `veldra COMMAND --help`
// print. The whole program's help lists every command and every option, so
// that a manual page can be made from it.
#pragma once

#include <string>

// True for the name of one of veldra's commands.
bool IsCommand(const std::string& name);

// The help for `topic`: "" for the whole program, a command ("render") or a
// farm action ("farm submit"); throws Failure for an unknown topic.
std::string HelpText(const std::string& topic);

// What answers a command line that names no command (topic "") or no farm
// action ("farm"): the commands, without their options.
std::string UsageText(const std::string& topic);
