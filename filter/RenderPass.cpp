#include "filter/RotationFilter.h"

// Rendering is not built yet: report failure and touch nothing.
int RotationFilter::ProcessFrame(HWND) { return 0; }
