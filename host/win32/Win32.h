// The Windows types and calls that the module and host programs use.
// On Windows this is the real <windows.h>; natively it is the smallest
// stand-in: handles as opaque pointers, the loader's reason codes, and
// InitCommonControls from the native stand-in library win32stub.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#include <commctrl.h>
#else
#include <cstdint>

struct HWND__;
struct HINSTANCE__;
using HWND = HWND__*;
using HINSTANCE = HINSTANCE__*;
using BOOL = int;
using DWORD = std::uint32_t;
using LPVOID = void*;

#define WINAPI
#define TRUE 1
#define FALSE 0

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

extern "C" __attribute__((visibility("default"))) void InitCommonControls();

// How often InitCommonControls ran in this process; lets tests see the
// entry point register the common controls.
extern "C" __attribute__((visibility("default"))) int Win32StubCommonControlsInitCount();
#endif
