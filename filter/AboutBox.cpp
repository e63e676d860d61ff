// The about box: names the filter and its version, shows the logo and the
// maker's lines, and changes nothing.
#include "core/CustomControls.h"
#include "filter/ModuleInstance.h"
#include "filter/RotationFilter.h"
#include "resources/resource.h"

namespace {

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        CenterWindow(dialog, GetParent(dialog));
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            EndDialog(dialog, 1);
        else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, 0);
        return 1;
    default: return 0;
    }
}

}  // namespace

int RotationFilter::OpenAboutBox(HWND parent)
{
    return static_cast<int>(DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_ABOUT), parent, AboutDialogProc,
                                            reinterpret_cast<LPARAM>(this)));
}
