#include "SharedModule.h"

#include <mutex>

#include "render/module/FilterModule.h"

const LoadedModule& SharedModule()
{
    static std::mutex lock;
    // Never unloaded: a thread still rendering when the interpreter exits
    // would otherwise lose the code under it.
    static const LoadedModule* module = nullptr;
    std::lock_guard<std::mutex> guard(lock);
    if (!module)
        module = LoadFilterModule(ModuleBesideHostLibraries()).release();
    return *module;
}
