// Every command's option table, by the help topic that names the command:
// "render", "info", "params", "demo", "farm submit", "farm status", "farm
// retry", "farm cancel". Farm submit's table is its own options; it reads
// render's too. What a farm task hands its renderer ("farm chunk") is read
// by farm/RendererProtocol.h, the render's words in it by render's table.
#pragma once

#include <string>

#include "cli/OptionTable.h"

// The table of `command`; an empty one for a command without options.
const OptionTable& OptionsOf(const std::string& command);
