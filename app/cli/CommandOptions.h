// Every command's option table, by the help topic that names the command:
// "render", "info", "params", "demo", "farm submit", "farm status", "farm
// retry", "farm cancel", and the actions the farm's own jobs run ("farm
// chunk"). Farm submit's table is its own options; it reads render's too.
#pragma once

#include <string>

#include "cli/OptionTable.h"

// The table of `command`; an empty one for a command without options.
const OptionTable& OptionsOf(const std::string& command);
