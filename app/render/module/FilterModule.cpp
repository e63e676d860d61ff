#include "render/module/FilterModule.h"

#include <cerrno>
#include <dlfcn.h>
#include <filesystem>
#include <unistd.h>

#include "bmm/Bitmap.h"

#include "filter/Identity.h"
#include "filter/RotationParams.h"
#include "messages/Failure.h"
#include "render/InstalledFiles.h"
#include "render/module/ModuleFileCheck.h"

namespace {

// The loader's error, which starts with the module's path, as a failure
// naming the module: the loader lies below veldra and knows no Failure.
FileError ModuleFailure(const std::string& path, const ModuleLoadError& error)
{
    const std::string message = error.what();
    const bool named = message.compare(0, path.size() + 2, path + ": ") == 0;
    return FileError(path, named ? message.substr(path.size() + 2) : message);
}

}  // namespace

std::string DefaultModulePath() { return InstalledFile(VELDRA_MODULE_FILE); }

std::string ModuleBesideHostLibraries()
{
    // Any function of a host library tells where that library was loaded
    // from.
    Dl_info library{};
    if (dladdr(reinterpret_cast<void*>(&CreateMemoryBitmap), &library) == 0 || !library.dli_fname)
        return VELDRA_MODULE_FILE;
    return (std::filesystem::path(library.dli_fname).parent_path() / VELDRA_MODULE_FILE).lexically_normal().string();
}

std::unique_ptr<LoadedModule> LoadFilterModule(const std::string& path)
{
    const std::string file = path.empty() ? DefaultModulePath() : path;
    if (access(file.c_str(), R_OK) != 0)
        throw FileError::OfSystemError(file, "cannot open the module", errno);
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

ModuleFacts DescribeModule(const LoadedModule& module)
{
    const auto filter = MakeFilter(module);
    ClassDescriptor* descriptor = module.ClassDesc(0);  // MakeFilter found it
    const ClassIdentifier id = descriptor->Identifier();
    ModuleFacts facts;
    facts.path = module.Path();
    facts.description = module.Description();
    facts.version = module.Version();
    facts.classes = module.NumberClasses();
    facts.className = descriptor->ClassTitle();
    facts.category = descriptor->CategoryText();
    facts.familyCode = static_cast<std::uint32_t>(descriptor->FamilyCode());
    facts.identifier[0] = id.first;
    facts.identifier[1] = id.second;
    facts.filterName = filter->FilterName();
    facts.author = filter->AuthorText();
    facts.notice = filter->NoticeText();
    facts.tag = static_cast<std::uint32_t>(filter->VersionTag());
    facts.capabilities = static_cast<std::uint32_t>(filter->CapabilityFlags());
    facts.blockSize = static_cast<std::uint32_t>(filter->EvaluateConfigure());
    return facts;
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
                          std::to_string(kParamBlockSize),
                      FailureKind::Module);
    if (!paramsFile.empty()) {
        ParamBlock stored = ReadParamFile(paramsFile);
        CheckParamTag(paramsFile, stored);
        if (!filter.LoadConfigure(stored.data()))
            throw Failure(paramsFile, "not a parameter block of this filter (its tag is not the filter's)",
                          FailureKind::Data);
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
        throw Failure("the filter refused its parameter block", FailureKind::Module);
}
