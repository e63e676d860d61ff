#include "render/FilterModule.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits.h>
#include <unistd.h>

#include "Failure.h"
#include "filter/RotationParams.h"

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

ParamsBlock ReadParamsFile(const std::string& path, std::size_t size)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw Failure(path + ": cannot open: " + std::strerror(errno));
    ParamsBlock block((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        throw Failure(path + ": cannot read: " + std::strerror(errno));
    if (block.size() != size)
        throw Failure(path + ": is " + std::to_string(block.size()) + " bytes; a parameter block is " +
                      std::to_string(size));
    return block;
}

ParamsBlock SettleParams(ImageFilter& filter, const std::string& paramsFile, const SettingOverrides& overrides)
{
    const std::size_t size = filter.EvaluateConfigure();
    if (size < sizeof(RotationParams))
        throw Failure("the module's parameter block is " + std::to_string(size) + " bytes, too small for this host");
    if (!paramsFile.empty() && !filter.LoadConfigure(ReadParamsFile(paramsFile, size).data()))
        throw Failure(paramsFile + ": not a parameter block of this filter (its tag is not the filter's)");

    ParamsBlock block(size);
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

void LoadParams(ImageFilter& filter, const ParamsBlock& block)
{
    ParamsBlock copy = block;  // LoadConfigure takes a mutable block
    if (!filter.LoadConfigure(copy.data()))
        throw Failure("the filter refused its parameter block");
}
