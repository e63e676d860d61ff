// The host's custom controls for dialogs: a floating-point edit field
// (window class "CustEdit") and a spinner that steps it ("SpinnerControl").
// On Windows they are real window classes; natively there are no windows,
// registration is only counted and GetISpinner finds nothing.
#pragma once

#include "HostApi.h"
#include "win32/Win32.h"

// Registers the control window classes (once per process, usable from any
// module's dialogs). `module` is the module that asks; every call is counted.
CORE_API void InitCustomControls(HINSTANCE module);

// How often InitCustomControls ran in this process (for host-side checks).
CORE_API int CustomControlsInitCount();

// Centres a window over its parent (over the screen's work area when there
// is none), kept inside the work area of its monitor.
CORE_API void CenterWindow(HWND window, HWND parent);

// A spinner's interface. The order of the operations is the host's.
class ISpinnerControl {
public:
    // The value the user typed into the bound edit field or spun, clamped to
    // the limits; the last valid value while the field holds no number.
    virtual float ReadValue() = 0;
    // Sets the value, clamped to the limits, and shows it in the edit field.
    // `notify` is accepted for the host's calling convention; nobody listens.
    virtual void AssignValue(float value, int notify) = 0;
    // The range the value may take (swapped when given reversed). With
    // `limitCurrent` non-zero the present value is clamped at once.
    virtual void AssignLimits(float minimum, float maximum, int limitCurrent) = 0;
    // Attaches the spinner to its edit field and shows the value there; type
    // 1 is a floating-point field, the only kind this stand-in has.
    virtual void BindEdit(HWND edit, int editType) = 0;

protected:
    ~ISpinnerControl() = default;  // released through ReleaseISpinner, never deleted
};

// The interface of a spinner window, or null when the window is not one.
// Every interface handed out is given back once with ReleaseISpinner; it
// stays valid until then, even if its window is destroyed first.
CORE_API ISpinnerControl* GetISpinner(HWND spinner);
// Gives back an interface from GetISpinner; null is ignored.
CORE_API void ReleaseISpinner(ISpinnerControl* spinner);

// How many interfaces from GetISpinner have not been released yet (for
// host-side checks that a dialog gives back what it takes).
CORE_API int SpinnerInterfacesHeld();
