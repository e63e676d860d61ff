#include "render/FilterModule.h"

#include <cerrno>
#include <cstring>
#include <limits.h>
#include <unistd.h>

#include "Failure.h"
#include "filter/RotationParams.h"
#include "render/ModuleFileCheck.h"

std::string DefaultModulePath()
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return VELDRA_MODULE_FILE;
    std::string path(self, static_cast<std::size_t>(length));
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    // The build puts the module beside the program; an install puts it
    // with the host libraries.
    const std::string beside = folder + VELDRA_MODULE_FILE;
    if (access(beside.c_str(), F_OK) == 0)
        return beside;
    return folder + VELDRA_MODULE_FOLDER_FROM_BIN + "/" + VELDRA_MODULE_FILE;
}

std::unique_ptr<LoadedModule> LoadFilterModule(const std::string& path)
{
    const std::string file = path.empty() ? DefaultModulePath() : path;
    if (access(file.c_str(), R_OK) != 0)
        throw Failure(file + ": cannot open the module: " + std::strerror(errno));
    CheckModuleFile(file);
    try {
        return std::make_unique<LoadedModule>(file);
    } catch (const ModuleLoadError& error) {
        throw Failure(error.what());
    }
}

std::unique_ptr<ImageFilter> MakeFilter(const LoadedModule& module)
{
    try {
        return module.CreateFilter();
    } catch (const ModuleLoadError& error) {
        throw Failure(error.what());
    }
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
            throw Failure(paramsFile + ": not a parameter block of this filter (its tag is not the filter's)");
    }

    ParamBlock block{};
    filter.SaveConfigure(block.data());
    RotationParams params;
    std::memcpy(&params, block.data(), sizeof params);
    params.axis = overrides.axis.value_or(params.axis);
    params.pivot = overrides.pivot.value_or(params.pivot);
    params.startAngle = overrides.startAngle.value_or(params.startAngle);
    params.endAngle = overrides.endAngle.value_or(params.endAngle);
    std::memcpy(block.data(), &params, sizeof params);
    LoadParams(filter, block);
    return block;
}

void LoadParams(ImageFilter& filter, const ParamBlock& block)
{
    ParamBlock copy = block;  // LoadConfigure takes a mutable block
    if (!filter.LoadConfigure(copy.data()))
        throw Failure("the filter refused its parameter block");
}
