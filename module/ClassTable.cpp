#include "module/ClassTable.h"

#include "filter/Identity.h"
#include "module/RotationFilterClassDesc.h"

namespace {
ClassDescriptor* RotationFilterDescriptor() { return GetRotationFilterClassDesc(); }

const ClassTableEntry classRows[] = {
    {VELDRA_NAME, &RotationFilterDescriptor},
};
}  // namespace

extern const ClassTableEntry* const ClassTable = classRows;
const int ClassCount = sizeof classRows / sizeof classRows[0];
