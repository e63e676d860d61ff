// Where the tables shared with the host must differ from what this compiler
// would lay out by itself. Windows hosts are built with the platform's C++
// compiler; the module is built with mingw g++, whose ABI differs in two ways
// that reach the host's tables, on 32-bit x86 and on x64 alike:
//
// - A virtual destructor is one table slot in the host's ABI, the scalar
//   deleting destructor: it takes one unsigned 32-bit flags word, destroys
//   the object, frees it with the global release operator when bit 0 is set,
//   and returns `this`. g++ gives a virtual destructor two slots. So an
//   interface with a destructor declares ScalarDeletingDestructor in the
//   destructor's place, and its C++ virtual destructor after its last
//   operation, past the end of the host's table.
// - A member returning a class by value passes it back through a hidden result
//   pointer, the first argument after `this`, and returns that pointer; g++
//   returns a small class in registers (EDX:EAX, or RAX on x64). Such an
//   operation is declared with an explicit result pointer.
//
// On 32-bit x86 members are thiscall (`this` in ECX, the callee pops its
// stack arguments: the flags word, the result pointer), g++'s default there;
// VELDRA_THISCALL says so on the slots declared by hand. x64 has one calling
// convention for every call, `this` the first argument, and needs no
// attribute; its slots are 8 bytes wide. The native build uses the same
// tables.
#pragma once

#include <cstdint>

#if defined(_WIN32) && defined(__i386__) && defined(__GNUC__)
#define VELDRA_THISCALL __attribute__((thiscall))
#else
#define VELDRA_THISCALL
#endif

// The body of a ScalarDeletingDestructor slot: `object`'s destructor is
// virtual, so this reaches the most derived class's destructor and release.
template <class Object>
void* RunScalarDeletingDestructor(Object* object, std::uint32_t flags)
{
    if (flags & 1u)
        delete object;
    else
        object->~Object();
    return object;
}
