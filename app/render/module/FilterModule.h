// Loading the filter module and settling the filter's parameter block, both
// only through what the module exports: its functions, the class descriptor
// and the filter's configure operations.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "files/ParamFile.h"
#include "loader/ModuleLoader.h"
#include "render/RenderRequest.h"

// VELDRA.FLT beside the running program (as built), else in the folder an
// install puts it in (PREFIX/lib/veldra for PREFIX/bin/veldra).
std::string DefaultModulePath();

// Loads `path` (DefaultModulePath() when empty); throws Failure naming the
// file when it is missing, damaged or not a working filter module. The
// file is checked before the system loader sees it. One process may
// hold a module only once at a time: share the result between threads.
std::unique_ptr<LoadedModule> LoadFilterModule(const std::string& path);

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
