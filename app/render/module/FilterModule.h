// Loading the filter module and settling the filter's parameter block, both
// only through what the module exports: its functions, the class descriptor
// and the filter's configure operations.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "files/ParamFile.h"
#include "loader/ModuleLoader.h"
#include "render/RenderRequest.h"

// VELDRA.FLT beside the running program (as built), else in the folder an
// install puts it in (PREFIX/lib/veldra for PREFIX/bin/veldra).
std::string DefaultModulePath();

// VELDRA.FLT in the folder the host libraries this code runs with were
// loaded from: the build and an install put the module beside them, so a
// library that links them (the Python package) finds it wherever it lies.
std::string ModuleBesideHostLibraries();

// Loads `path` (DefaultModulePath() when empty); throws Failure naming the
// file when it is missing, damaged or not a working filter module. The
// file is checked before the system loader sees it. One process may
// hold a module only once at a time: share the result between threads.
std::unique_ptr<LoadedModule> LoadFilterModule(const std::string& path);

// What a module says about itself through its exports, its class
// descriptor and a filter of its first class.
struct ModuleFacts {
    std::string path;
    std::string description;
    int version = 0;
    int classes = 0;
    std::string className;
    std::string category;
    std::uint32_t familyCode = 0;
    std::uint32_t identifier[2] = {0, 0};
    std::string filterName;
    std::string author;
    std::string notice;
    std::uint32_t tag = 0;
    std::uint32_t capabilities = 0;
    std::uint32_t blockSize = 0;  // bytes
};

// The facts of `module`; throws Failure naming the module when it makes no
// filter.
ModuleFacts DescribeModule(const LoadedModule& module);

// A filter of the module's first class; throws Failure naming the module.
std::unique_ptr<ImageFilter> MakeFilter(const LoadedModule& module);

// `count` filters, one for each worker of a run, each holding `block`.
std::vector<std::unique_ptr<ImageFilter>> MakeFilters(const LoadedModule& module, int count, const ParamBlock& block);

// Gives `filter` its settings: the block stored in `paramsFile` (none: the
// filter's defaults), taken through LoadConfigure as the host restores a
// scene, then the overrides given on the command line. Returns the block
// the filter then holds. Throws Failure when the file's tag is not the
// filter's.
ParamBlock SettleParams(ImageFilter& filter, const std::string& paramsFile, const SettingOverrides& overrides);

// Hands `block` to another filter of the same module; throws Failure when
// the filter refuses it.
void LoadParams(ImageFilter& filter, const ParamBlock& block);
