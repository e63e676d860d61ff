#include "module/RotationFilterClassDesc.h"

#include <new>

#include "filter/Identity.h"
#include "filter/ModuleTexts.h"
#include "filter/RotationFilter.h"

namespace {
RotationFilterClassDesc rotationFilterClassDesc;
}

RotationFilterClassDesc* GetRotationFilterClassDesc() { return &rotationFilterClassDesc; }

int RotationFilterClassDesc::ClassFlag() { return 1; }

void* RotationFilterClassDesc::CreateObject(int)
{
    void* storage = ::operator new(sizeof(RotationFilter), std::nothrow);
    if (!storage)
        return nullptr;
    // A host built with another compiler cannot catch this module's
    // exceptions: a filter that cannot be made is reported as none.
    try {
        return new (storage) RotationFilter();
    } catch (...) {
        ::operator delete(storage);
        return nullptr;
    }
}

const char* RotationFilterClassDesc::ClassTitle() { return ModuleNameText; }
std::uint32_t RotationFilterClassDesc::FamilyCode() { return kImageFilterFamily; }
ClassIdentifier* RotationFilterClassDesc::Identifier(ClassIdentifier* result)
{
    *result = {VELDRA_TAG, VELDRA_CLASS_ID_SECOND};
    return result;
}
const char* RotationFilterClassDesc::CategoryText() { return VELDRA_CATEGORY; }
