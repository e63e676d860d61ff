// The "CustEdit" window of the Windows host: a one-line edit field with a
// sunken border that takes only what can make up a number (digits, sign,
// decimal point, exponent) from the keyboard. What it holds is read and
// written by the spinner bound to it.
#pragma once

#include "win32/Win32.h"

extern const char kCustEditClassName[];

// Registers the window class, built on the system's EDIT class, as a global
// class of `owner`; true when it is registered now or was already.
bool RegisterCustEditClass(HINSTANCE owner);
