// The module's one class descriptor: tells the host what the filter class is
// and makes filter objects of it.
#pragma once

#include "core/ClassDescriptor.h"

class RotationFilterClassDesc : public ClassDescriptor {
public:
    int ClassFlag() override;
    // A new RotationFilter with default parameters, owned by the caller (who
    // ends it through its virtual destructor); null when there is no storage.
    void* CreateObject(int unused) override;
    const char* ClassTitle() override;
    std::uint32_t FamilyCode() override;
    ClassIdentifier Identifier() override;
    const char* CategoryText() override;
};

// The single descriptor, constructed at module start-up and never destroyed.
RotationFilterClassDesc* GetRotationFilterClassDesc();
