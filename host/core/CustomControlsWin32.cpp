// Windows side of the custom controls: real window classes for the dialogs
// of every module that the host loads.
#include "core/CustomControls.h"

#include "core/CustEdit.h"
#include "core/SpinnerControl.h"

namespace {

int initCount = 0;

// The classes belong to this library, not to the module that asks: they
// must outlive any one module.
HINSTANCE ThisLibrary()
{
    HMODULE library = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&initCount), &library);
    return library;
}

RECT WorkAreaAround(HWND window)
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

}  // namespace

void InitCustomControls(HINSTANCE)
{
    ++initCount;
    const HINSTANCE library = ThisLibrary();
    RegisterCustEditClass(library);
    RegisterSpinnerClass(library);
}

int CustomControlsInitCount() { return initCount; }

void CenterWindow(HWND window, HWND parent)
{
    RECT own;
    if (!GetWindowRect(window, &own))
        return;
    const RECT work = WorkAreaAround(parent ? parent : window);
    RECT around;
    if (!parent || IsIconic(parent) || !GetWindowRect(parent, &around))
        around = work;
    const LONG width = own.right - own.left;
    const LONG height = own.bottom - own.top;
    LONG left = (around.left + around.right - width) / 2;
    LONG top = (around.top + around.bottom - height) / 2;
    // Keep the whole window, title bar first, on the screen.
    if (left + width > work.right)
        left = work.right - width;
    if (top + height > work.bottom)
        top = work.bottom - height;
    if (left < work.left)
        left = work.left;
    if (top < work.top)
        top = work.top;
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
