#include "module/Exports.h"

#include "filter/Identity.h"
#include "module/ClassTable.h"

namespace {
char descriptionText[256] = VELDRA_DESCRIPTION;
}

extern "C" const char* LibDescription() { return descriptionText; }

extern "C" int LibNumberClasses() { return ClassCount; }

extern "C" ClassDescriptor* LibClassDesc(int index)
{
    if (index < 0 || index >= ClassCount)
        return nullptr;
    return ClassTable[index].getter();
}

extern "C" int LibVersion() { return VELDRA_MODULE_VERSION; }
