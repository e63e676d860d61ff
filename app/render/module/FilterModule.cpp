#include "render/module/FilterModule.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "filter/Identity.h"
#include "filter/RotationParams.h"
#include "messages/Failure.h"
#include "render/InstalledFiles.h"
#include "render/module/ModuleFileCheck.h"

namespace {

// The loader's error, which starts with the module's path, as a failure
// naming the module: the loader lies below veldra and knows no Failure.
Failure ModuleFailure(const std::string& path, const ModuleLoadError& error)
{
    const std::string message = error.what();
    const bool named = message.compare(0, path.size() + 2, path + ": ") == 0;
    return Failure(path, named ? message.substr(path.size() + 2) : message);
}

}  // namespace

std::string DefaultModulePath() { return InstalledFile(VELDRA_MODULE_FILE); }

std::unique_ptr<LoadedModule> LoadFilterModule(const std::string& path)
{
    const std::string file = path.empty() ? DefaultModulePath() : path;
    if (access(file.c_str(), R_OK) != 0)
        throw Failure(file, std::string("cannot open the module: ") + std::strerror(errno));
    CheckModuleFile(file);
    try {
        return std::make_unique<LoadedModule>(file);
    } catch (const ModuleLoadError& error) {
        throw ModuleFailure(file, error);
    }
}

std::unique_ptr<ImageFilter> MakeFilter(const LoadedModule& module)
{
    try {
        return module.CreateFilter();
    } catch (const ModuleLoadError& error) {
        throw ModuleFailure(module.Path(), error);
    }
}

std::vector<std::unique_ptr<ImageFilter>> MakeFilters(const LoadedModule& module, int count, const ParamBlock& block)
{
    std::vector<std::unique_ptr<ImageFilter>> filters;
    for (int i = 0; i < count; ++i) {
        filters.push_back(MakeFilter(module));
        LoadParams(*filters.back(), block);
    }
    return filters;
}

ParamBlock SettleParams(ImageFilter& filter, const std::string& paramsFile, const SettingOverrides& overrides)
{
    const std::size_t size = filter.EvaluateConfigure();
    if (size != kParamBlockSize)
        throw Failure("the module's parameter block is " + std::to_string(size) + " bytes; this host stores " +
                      std::to_string(kParamBlockSize));
    if (!paramsFile.empty()) {
        ParamBlock stored = ReadParamFile(paramsFile);
        if (!filter.LoadConfigure(stored.data()))
            throw Failure(paramsFile, "not a parameter block of this filter (its tag is not the filter's)");
    }

    ParamBlock saved{};
    filter.SaveConfigure(saved.data());
    RotationParams params = ParamsOf(saved);
    params.axis = overrides.axis.value_or(params.axis);
    params.pivot = overrides.pivot.value_or(params.pivot);
    params.startAngle = overrides.startAngle.value_or(params.startAngle);
    params.endAngle = overrides.endAngle.value_or(params.endAngle);
    const ParamBlock block = BlockOf(params);
    LoadParams(filter, block);
    return block;
}

void LoadParams(ImageFilter& filter, const ParamBlock& block)
{
    ParamBlock copy = block;  // LoadConfigure takes a mutable block
    if (!filter.LoadConfigure(copy.data()))
        throw Failure("the filter refused its parameter block");
}
