// The commands of `veldra`. Each returns the process exit code and throws
// Failure for anything the user can mend.
#pragma once

#include "cli/Arguments.h"

int RunRender(const Arguments& arguments);
int RunInfo(const Arguments& arguments);
int RunParams(const Arguments& arguments);
int RunDemo(const Arguments& arguments);
