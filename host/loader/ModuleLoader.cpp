#include "loader/ModuleLoader.h"

#include <iterator>

#include "loader/ModuleExports.h"

#if defined(_WIN32)
#include <cstdint>
#include <cstring>
#include <fstream>

#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)
// The system's words for error `code`, where "%1" stands for the file.
std::string ErrorText(DWORD code, const std::string& path)
{
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                   nullptr);
    std::string message = text;
    while (!message.empty() && std::strchr("\r\n .", message.back()))
        message.pop_back();
    for (std::size_t at = message.find("%1"); at != std::string::npos; at = message.find("%1", at + path.size()))
        message.replace(at, 2, path);
    return message.empty() ? "error " + std::to_string(code) : message;
}

// Why the loader refuses a module of the other processor width, which its
// words do not say: read from the machine field of the file's PE header.
// Empty when the file is no such module.
std::string OtherWidthNote(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    unsigned char dos[64] = {};
    if (!file.read(reinterpret_cast<char*>(dos), sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return "";
    const std::uint32_t header = dos[60] | dos[61] << 8 | dos[62] << 16 | static_cast<std::uint32_t>(dos[63]) << 24;
    unsigned char pe[6] = {};
    if (!file.seekg(header) || !file.read(reinterpret_cast<char*>(pe), sizeof pe) || std::memcmp(pe, "PE\0\0", 4) != 0)
        return "";
    const unsigned machine = pe[4] | pe[5] << 8u;
    const bool program64 = sizeof(void*) == 8;
    if (machine == (program64 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64))
        return program64 ? "; it is a 32-bit module, and this 64-bit program loads only 64-bit modules"
                         : "; it is a 64-bit module, and this 32-bit program loads only 32-bit modules";
    return "";
}

void* OpenModule(const std::string& path)
{
    // The Windows loader delivers process attach itself; a refused attach
    // makes LoadLibrary fail.
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        const DWORD code = GetLastError();
        throw ModuleLoadError(path + ": cannot load module: " + ErrorText(code, path) + OtherWidthNote(path));
    }
    return reinterpret_cast<void*>(module);
}

void CloseModule(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }

void* Symbol(void* handle, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void* Ordinal(void* handle, int ordinal)
{
    return reinterpret_cast<void*>(
        GetProcAddress(static_cast<HMODULE>(handle), MAKEINTRESOURCEA(static_cast<WORD>(ordinal))));
}
#else
using EntryPointFn = int (*)(void*, unsigned, void*);
constexpr unsigned kProcessDetach = 0;
constexpr unsigned kProcessAttach = 1;

void* OpenModule(const std::string& path)
{
    // A bare file name means the current folder, as on Windows, not the
    // library search path.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw ModuleLoadError(path + ": cannot load module: " + dlerror());
    // Natively the loader does not know the entry point; call it as the
    // Windows loader would, with the module handle as instance.
    auto entry = reinterpret_cast<EntryPointFn>(dlsym(handle, "DllMain"));
    if (!entry) {
        dlclose(handle);
        throw ModuleLoadError(path + ": not a filter module: no entry point DllMain");
    }
    if (!entry(handle, kProcessAttach, nullptr)) {
        dlclose(handle);
        throw ModuleLoadError(path + ": the module refused to attach (is it loaded already?)");
    }
    return handle;
}

void CloseModule(void* handle)
{
    if (auto entry = reinterpret_cast<EntryPointFn>(dlsym(handle, "DllMain")))
        entry(handle, kProcessDetach, nullptr);
    dlclose(handle);
}

void* Symbol(void* handle, const char* name) { return dlsym(handle, name); }

// ELF has no ordinals: map them to the export names in their fixed order.
void* Ordinal(void* handle, int ordinal)
{
    if (ordinal < 1 || ordinal > static_cast<int>(std::size(kModuleExports)))
        return nullptr;
    return dlsym(handle, kModuleExports[ordinal - 1]);
}
#endif

}  // namespace

LoadedModule::LoadedModule(const std::string& path) : path_(path), handle_(OpenModule(path))
{
    void* found[std::size(kModuleExports)];
    for (std::size_t i = 0; i < std::size(kModuleExports); ++i) {
        found[i] = Symbol(handle_, kModuleExports[i]);
        if (!found[i]) {
            CloseModule(handle_);
            throw ModuleLoadError(path + ": not a filter module: export " + kModuleExports[i] + " is missing");
        }
    }
    // The exports in their ordinal order.
    static_assert(std::size(kModuleExports) == 4, "the host knows four exports");
    description_ = reinterpret_cast<DescriptionFn>(found[0]);
    numberClasses_ = reinterpret_cast<NumberClassesFn>(found[1]);
    classDesc_ = reinterpret_cast<ClassDescFn>(found[2]);
    version_ = reinterpret_cast<VersionFn>(found[3]);
}

LoadedModule::~LoadedModule() { CloseModule(handle_); }

std::unique_ptr<ImageFilter> LoadedModule::CreateFilter(int index) const
{
    ClassDescriptor* descriptor = index < NumberClasses() ? ClassDesc(index) : nullptr;
    if (!descriptor)
        throw ModuleLoadError(path_ + ": the module has no class " + std::to_string(index));
    auto* filter = static_cast<ImageFilter*>(descriptor->CreateObject(0));
    if (!filter)
        throw ModuleLoadError(path_ + ": class " + std::to_string(index) + " made no filter");
    return std::unique_ptr<ImageFilter>(filter);
}

void* LoadedModule::FindExport(const char* name) const { return Symbol(handle_, name); }

void* LoadedModule::FindExport(int ordinal) const { return Ordinal(handle_, ordinal); }
