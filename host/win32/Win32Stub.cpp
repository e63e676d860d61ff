#include "win32/Win32.h"

namespace {
int commonControlsInitCount = 0;
}

extern "C" void InitCommonControls() { ++commonControlsInitCount; }

extern "C" int Win32StubCommonControlsInitCount() { return commonControlsInitCount; }
