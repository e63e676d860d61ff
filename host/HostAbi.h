// Where the tables shared with the host must differ from what this compiler
// would lay out by itself. Windows hosts are built with the platform's C++
// compiler; the module is built with mingw g++, whose ABI differs in two ways
// that reach the host's tables:
//
// - A virtual destructor is one table slot in the host's ABI, the scalar
//   deleting destructor: `this` in ECX, one unsigned 32-bit flags word on the
//   stack that the callee pops; it destroys the object, frees it with the
//   global release operator when bit 0 is set, and returns `this`. g++ gives a
//   virtual destructor two slots. So an interface with a destructor declares
//   ScalarDeletingDestructor in the destructor's place, and its C++ virtual
//   destructor after its last operation, past the end of the host's table.
// - A member returning a class by value passes it back through a hidden result
//   pointer (the first stack argument, popped by the callee, and returned in
//   EAX); g++ returns a small class in EDX:EAX. Such an operation is declared
//   with an explicit result pointer.
//
// Members are thiscall, g++'s default on 32-bit Windows; VELDRA_THISCALL says
// so on the slots declared by hand. The native build uses the same tables.
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
