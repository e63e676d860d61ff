// The host's custom controls for dialogs: a floating-point edit field
// (window class "CustEdit") and a spinner that steps it ("SpinnerControl").
#pragma once

#include "HostApi.h"
#include "win32/Win32.h"

// Registers the control window classes for the given module. Natively there
// are no windows; the call is only counted.
CORE_API void InitCustomControls(HINSTANCE module);

// How often InitCustomControls ran in this process (for host-side checks).
CORE_API int CustomControlsInitCount();

// Centres a window over its parent (over the screen when there is none).
CORE_API void CenterWindow(HWND window, HWND parent);

// A spinner's interface. The order of the operations is the host's.
class ISpinnerControl {
public:
    // The value shown, clamped to the limits.
    virtual float ReadValue() = 0;
    virtual void AssignValue(float value, int notify) = 0;
    virtual void AssignLimits(float minimum, float maximum, int limitCurrent) = 0;
    // Attaches the spinner to its edit field; type 1 is a floating-point field.
    virtual void BindEdit(HWND edit, int editType) = 0;

protected:
    ~ISpinnerControl() = default;  // released through ReleaseISpinner, never deleted
};

// The interface of a spinner window, or null when the window is not one.
// Every interface handed out is given back with ReleaseISpinner.
CORE_API ISpinnerControl* GetISpinner(HWND spinner);
CORE_API void ReleaseISpinner(ISpinnerControl* spinner);
