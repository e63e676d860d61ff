// Native side of the custom controls: no windows exist, so registration is
// counted and the window operations have nothing to act on.
#include "core/CustomControls.h"

namespace {
int initCount = 0;
}

void InitCustomControls(HINSTANCE) { ++initCount; }
int CustomControlsInitCount() { return initCount; }
void CenterWindow(HWND, HWND) {}
ISpinnerControl* GetISpinner(HWND) { return nullptr; }
void ReleaseISpinner(ISpinnerControl*) {}
int SpinnerInterfacesHeld() { return 0; }
