// Builds without windows have no dialogs: both report that they could not
// open, as a dialog that fails to be created does, and change nothing.
#include "filter/RotationFilter.h"

int RotationFilter::ShowControl(HWND) { return -1; }
int RotationFilter::OpenAboutBox(HWND) { return -1; }
