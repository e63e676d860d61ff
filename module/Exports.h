// The four functions through which the host enumerates the module. Exported
// by name with ordinals 1 to 4 in this order, and nothing else.
#pragma once

#include "core/ClassDescriptor.h"

// On Windows the .def file exports; natively the symbols are made visible.
#if defined(_WIN32)
#define VELDRA_EXPORT
#else
#define VELDRA_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
// VELDRA_DESCRIPTION (filter/Identity.h); the same text on every call.
VELDRA_EXPORT const char* LibDescription();
// How many classes the module holds: 1.
VELDRA_EXPORT int LibNumberClasses();
// The descriptor of class `index`, or null for an index out of range.
VELDRA_EXPORT ClassDescriptor* LibClassDesc(int index);
// The module's version number, VELDRA_MODULE_VERSION (filter/Identity.h).
VELDRA_EXPORT int LibVersion();
}
