// The module's face to the loader: its instance handle and the entry point
// that the loader calls at process and thread attach and detach.
#pragma once

#include "filter/ModuleInstance.h"
#include "module/Exports.h"
#include "win32/Win32.h"

// Whether the custom and common controls have been registered since the
// last detach.
extern int ControlsReady;

// Process attach: refuses (0) while a handle is stored; otherwise stores it
// and registers the controls once. Process detach clears the handle and the
// flag. Every other reason is accepted and changes nothing.
extern "C" VELDRA_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
