// The filter module, loaded once for the process: the host loader holds a
// module only once at a time, so every call shares it and makes its own
// filters. It is the VELDRA.FLT beside the host libraries this package was
// built with or installed with.
#pragma once

#include "loader/ModuleLoader.h"

// Loads the module on first use (again after a failed load); throws
// Failure naming the file when it cannot. Thread-safe.
const LoadedModule& SharedModule();
