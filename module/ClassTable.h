// The module's classes, one row each: a name (which nothing reads) and the
// function that yields the class's descriptor.
#pragma once

#include "core/ClassDescriptor.h"

struct ClassTableEntry {
    char name[256];
    ClassDescriptor* (*getter)();
};

extern const ClassTableEntry* const ClassTable;
extern const int ClassCount;
