// The module's one class descriptor: tells the host what the filter class is
// and makes filter objects of it.
#pragma once

#include "core/ClassDescriptor.h"

class RotationFilterClassDesc : public ClassDescriptor {
public:
    int ClassFlag() override;
    // A new RotationFilter with default parameters, owned by the caller (who
    // ends it through its destructor slot); null when there is no storage or
    // the filter cannot be made: nothing thrown leaves the module.
    void* CreateObject(int unused) override;
    const char* ClassTitle() override;
    std::uint32_t FamilyCode() override;
    using ClassDescriptor::Identifier;
    ClassIdentifier* Identifier(ClassIdentifier* result) override;
    const char* CategoryText() override;
};

// The single descriptor, constructed at module start-up and never destroyed.
RotationFilterClassDesc* GetRotationFilterClassDesc();
