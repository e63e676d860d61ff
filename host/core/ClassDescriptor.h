// How a module describes each class it offers to the host. The order of the
// fifteen operations is the host's; the interface supplies the defaults of
// the nine that a class may leave alone. Descriptors are static objects that
// nobody deletes, so there is no virtual destructor.
#pragma once

#include <cstdint>

#include "HostAbi.h"

struct ClassIdentifier {
    std::uint32_t first;
    std::uint32_t second;
};

inline bool operator==(const ClassIdentifier& a, const ClassIdentifier& b)
{
    return a.first == b.first && a.second == b.second;
}

class ClassDescriptor {
public:
    virtual int ClassFlag() = 0;
    // A new object of the class, owned by the caller, or null when no storage.
    virtual void* CreateObject(int unused) = 0;
    virtual int OptionalA(int) { return 0; }
    virtual int OptionalB(int) { return 0; }
    virtual const char* ClassTitle() = 0;
    virtual std::uint32_t FamilyCode() = 0;
    // Writes the class's identifier to *result and returns result: a class
    // returned by value travels through a result pointer (see HostAbi.h).
    virtual ClassIdentifier* VELDRA_THISCALL Identifier(ClassIdentifier* result) = 0;
    virtual const char* CategoryText() = 0;
    virtual int OptionalC(int) { return 1; }
    virtual int OptionalD() { return 0; }
    virtual void OptionalE(int) {}
    virtual void OptionalF(int) {}
    virtual int OptionalG() { return 0; }
    virtual int OptionalH(int) { return 0; }
    virtual int OptionalI(int) { return 0; }

    // The identifier by value, for callers.
    ClassIdentifier Identifier()
    {
        ClassIdentifier id{};
        return *Identifier(&id);
    }

protected:
    ~ClassDescriptor() = default;
};

// The family code of image filters.
constexpr std::uint32_t kImageFilterFamily = 0xE00;
