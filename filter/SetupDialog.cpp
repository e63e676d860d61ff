// The setup dialog. It works on a module-wide scratch copy of the filter's
// parameters that follows the radio buttons; only OK copies it back.
#include <cstring>

#include "core/CustomControls.h"
#include "filter/ModuleInstance.h"
#include "filter/RotationFilter.h"
#include "resources/resource.h"

// The radio buttons' ids are the stored codes: the dialog checks, reads and
// previews a code as the id of its button.
static_assert(IDC_AXIS_X == AxisX && IDC_AXIS_Y == AxisY && IDC_AXIS_Z == AxisZ,
              "each axis button's id is its stored code");
static_assert(IDC_PIVOT_LOWER == PivotLower && IDC_PIVOT_CENTER == PivotCenter && IDC_PIVOT_UPPER == PivotUpper,
              "each pivot button's id is its stored code");

namespace {

// One setup dialog at a time, so its state is module-wide.
RotationFilter* dialogFilter = nullptr;
ISpinnerControl* startSpinner = nullptr;
ISpinnerControl* endSpinner = nullptr;
RotationParams scratch;

constexpr float kAngleLimit = 100000000.0f;  // degrees, either way

// Shows the preview static of an axis and pivot pair, alone; none for a
// code outside its range.
void ShowPreview(HWND dialog, int axis, int pivot)
{
    for (int id = IDC_PREVIEW_FIRST; id <= IDC_PREVIEW_LAST; ++id)
        ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
    if (axis < AxisX || axis > AxisZ || pivot < PivotLower || pivot > PivotUpper)
        return;
    // Statics 1001 to 1009 run X lower, X centre, X upper, Y lower, ... Z upper.
    const int id = IDC_PREVIEW_FIRST + (axis - AxisX) * 3 + (pivot - PivotLower);
    ShowWindow(GetDlgItem(dialog, id), SW_SHOW);
}

// The interface of a spinner, bound to its edit field and showing `value`;
// null when the control is missing.
ISpinnerControl* AttachSpinner(HWND dialog, int spinnerId, int editId, float value)
{
    ISpinnerControl* spinner = GetISpinner(GetDlgItem(dialog, spinnerId));
    if (spinner) {
        spinner->BindEdit(GetDlgItem(dialog, editId), 1);
        spinner->AssignLimits(-kAngleLimit, kAngleLimit, 0);
        spinner->AssignValue(value, 0);
    }
    return spinner;
}

void ReleaseSpinner(ISpinnerControl*& spinner)
{
    if (spinner)
        ReleaseISpinner(spinner);
    spinner = nullptr;
}

// The checked button of a radio group, or `current` when none is checked.
int CheckedButton(HWND dialog, int first, int last, int current)
{
    for (int id = first; id <= last; ++id)
        if (IsDlgButtonChecked(dialog, id) == BST_CHECKED)
            current = id;
    return current;
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        dialogFilter = reinterpret_cast<RotationFilter*>(lParam);
    if (!dialogFilter)
        return 0;
    const INT_PTR result = dialogFilter->HandleSetupMessage(dialog, message, wParam, lParam);
    // The filter may be gone before the next dialog opens; that dialog's
    // first messages must not reach it.
    if (message == WM_NCDESTROY)
        dialogFilter = nullptr;
    return result;
}

}  // namespace

int RotationFilter::ShowControl(HWND parent)
{
    // The dialog state is module-wide: a second dialog, opened from a host
    // window while the first is up, would take over the first one's state.
    if (dialogFilter)
        return -1;
    return static_cast<int>(DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_SETUP), parent, SetupDialogProc,
                                            reinterpret_cast<LPARAM>(this)));
}

INT_PTR RotationFilter::HandleSetupMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        CenterWindow(dialog, GetParent(dialog));
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        scratch = params;
        CheckRadioButton(dialog, AxisX, AxisZ, scratch.axis);
        CheckRadioButton(dialog, PivotLower, PivotUpper, scratch.pivot);
        startSpinner = AttachSpinner(dialog, IDC_START_SPINNER, IDC_START_EDIT, scratch.startAngle);
        endSpinner = AttachSpinner(dialog, IDC_END_SPINNER, IDC_END_EDIT, scratch.endAngle);
        ShowPreview(dialog, scratch.axis, scratch.pivot);
        return 1;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id >= AxisX && id <= AxisZ) {
            ShowPreview(dialog, id, scratch.pivot);
            scratch.axis = id;
        } else if (id >= PivotLower && id <= PivotUpper) {
            ShowPreview(dialog, scratch.axis, id);
            scratch.pivot = id;
        } else if (id == IDOK) {
            // A group with no button checked keeps a code the filter was
            // loaded with, even one outside the group.
            scratch.axis = CheckedButton(dialog, AxisX, AxisZ, scratch.axis);
            scratch.pivot = CheckedButton(dialog, PivotLower, PivotUpper, scratch.pivot);
            if (startSpinner)
                scratch.startAngle = startSpinner->ReadValue();
            if (endSpinner)
                scratch.endAngle = endSpinner->ReadValue();
            std::memcpy(&params, &scratch, sizeof params);
            EndDialog(dialog, 1);
        } else if (id == IDCANCEL) {
            EndDialog(dialog, 0);
        }
        return 1;
    }
    case WM_DESTROY:
        ReleaseSpinner(startSpinner);
        ReleaseSpinner(endSpinner);
        return 0;
    default: return 0;
    }
}
