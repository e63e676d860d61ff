#include "core/CustEdit.h"

#include <cstring>

const char kCustEditClassName[] = "CustEdit";

namespace {

WNDPROC systemEditProc = nullptr;

bool IsNumberKey(WPARAM key)
{
    return key < 0x20 || (key >= '0' && key <= '9') || std::strchr(".+-eE", static_cast<int>(key));
}

LRESULT CALLBACK CustEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE: {
        // The edit reads its styles from the creation record, so the border
        // and scrolling are added there as well as on the window.
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        create->style |= ES_AUTOHSCROLL;
        create->dwExStyle |= WS_EX_CLIENTEDGE;
        SetWindowLongPtrA(window, GWL_STYLE, create->style);
        SetWindowLongPtrA(window, GWL_EXSTYLE, create->dwExStyle);
        break;
    }
    case WM_CHAR:
        if (!IsNumberKey(wParam)) {
            MessageBeep(MB_OK);
            return 0;
        }
        break;
    default: break;
    }
    return CallWindowProcA(systemEditProc, window, message, wParam, lParam);
}

}  // namespace

bool RegisterCustEditClass(HINSTANCE owner)
{
    WNDCLASSEXA editClass{};
    editClass.cbSize = sizeof editClass;
    if (!GetClassInfoExA(nullptr, "EDIT", &editClass))
        return false;
    systemEditProc = editClass.lpfnWndProc;
    editClass.style |= CS_GLOBALCLASS;
    editClass.lpfnWndProc = CustEditProc;
    editClass.hInstance = owner;
    editClass.lpszClassName = kCustEditClassName;
    return RegisterClassExA(&editClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
