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
    try {
        return new (storage) RotationFilter();
    } catch (...) {
        ::operator delete(storage);
        throw;
    }
}

const char* RotationFilterClassDesc::ClassTitle() { return ModuleNameText; }
std::uint32_t RotationFilterClassDesc::FamilyCode() { return kImageFilterFamily; }
ClassIdentifier RotationFilterClassDesc::Identifier() { return {VELDRA_TAG, VELDRA_CLASS_ID_SECOND}; }
const char* RotationFilterClassDesc::CategoryText() { return VELDRA_CATEGORY; }
