// The "SpinnerControl" window of the Windows host: an up and a down arrow
// that step a floating-point value by 1 within its limits and show it in a
// bound "CustEdit" field. Its ISpinnerControl lives with the window and
// outlives it while an interface handed out is not yet released.
#pragma once

#include "win32/Win32.h"

extern const char kSpinnerClassName[];

// Registers the window class as a global class of `owner`; true when it is
// registered now or was already.
bool RegisterSpinnerClass(HINSTANCE owner);
