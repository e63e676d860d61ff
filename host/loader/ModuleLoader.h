// Host-side loading of a filter module: opens the file as the platform's
// loader does (LoadLibrary on Windows, dlopen natively), delivers process
// attach and detach to its entry point, and resolves its four exports.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "core/ClassDescriptor.h"
#include "flt/ImageFilter.h"

// A module that could not be loaded; what() names the file and the cause.
class ModuleLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class LoadedModule {
public:
    using DescriptionFn = const char* (*)();
    using NumberClassesFn = int (*)();
    using ClassDescFn = ClassDescriptor* (*)(int);
    using VersionFn = int (*)();

    // Loads and attaches the module; throws ModuleLoadError when the file is
    // missing, is not a module, lacks an export or its entry point refuses.
    explicit LoadedModule(const std::string& path);
    // Delivers process detach and unloads the module.
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    const std::string& Path() const { return path_; }

    const char* Description() const { return description_(); }
    int NumberClasses() const { return numberClasses_(); }
    ClassDescriptor* ClassDesc(int index) const { return classDesc_(index); }
    int Version() const { return version_(); }

    // A new filter of class `index`, owned by the caller; throws
    // ModuleLoadError when the class does not exist or makes no filter.
    std::unique_ptr<ImageFilter> CreateFilter(int index = 0) const;

    // The address of an export, by name or by ordinal; null when absent.
    void* FindExport(const char* name) const;
    void* FindExport(int ordinal) const;

private:
    std::string path_;
    void* handle_ = nullptr;
    DescriptionFn description_ = nullptr;
    NumberClassesFn numberClasses_ = nullptr;
    ClassDescFn classDesc_ = nullptr;
    VersionFn version_ = nullptr;
};
