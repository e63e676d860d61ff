// The command line of `veldra farm ACTION ...`.
#pragma once

#include <string>
#include <vector>

#include "farm/FarmArguments.h"

// The farm actions a user gives, as help topics name them; task and report
// are given by the run's own jobs.
bool IsFarmAction(const std::string& word);

// Parses the words after "farm" (help aside: cli/Arguments.cpp answers
// it); throws Failure for an unknown action or option, a bad value, the
// wrong number of operands, or render options `veldra render` would refuse.
FarmArguments ParseFarmArguments(const std::vector<std::string>& words);
