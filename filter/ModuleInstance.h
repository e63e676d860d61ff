// The module's instance handle: stored by the entry point at the first
// process attach, cleared at process detach. The dialogs load their
// templates and bitmaps from the module's resources through it.
#pragma once

#include "win32/Win32.h"

extern HINSTANCE ModuleInstance;
