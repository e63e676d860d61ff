// The image program's image and movie libraries: the formats plugin
// (FormatsPlugin.h), loaded when a file first needs them.
#include <dlfcn.h>

#include <cstring>
#include <string>

#include "FormatsPlugin.h"
#include "filter/Identity.h"
#include "messages/Failure.h"
#include "render/InstalledFiles.h"

namespace {

// What the loader says went wrong, without the path it starts with.
std::string LoaderError(const std::string& path)
{
    const char* said = dlerror();
    std::string words = said ? said : "the loader gives no reason";
    if (words.compare(0, path.size() + 2, path + ": ") == 0)
        words.erase(0, path.size() + 2);
    return words;
}

const FormatsPlugin& Plugin()
{
    // Loaded once, for the rest of the process; a failed load is tried
    // again the next time a file needs it, failing the same way.
    static const FormatsPlugin* const plugin = [] {
        const std::string path = InstalledFile(kFormatsPlugin);
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            throw FileError(path, "cannot load veldra's image and movie formats plugin: " + LoaderError(path));
        const auto entry = reinterpret_cast<const FormatsPlugin* (*)()>(dlsym(handle, kFormatsPluginEntry));
        if (!entry)
            throw FileError(path, "not veldra's formats plugin: it has no " + std::string(kFormatsPluginEntry));
        const FormatsPlugin* found = entry();
        if (std::strcmp(found->release, VELDRA_RELEASE) != 0)
            throw FileError(path, "the formats plugin of veldra " + std::string(found->release) +
                                      ", not of this veldra " + VELDRA_RELEASE + ": reinstall veldra");
        return found;
    }();
    return *plugin;
}

}  // namespace

const ImageLibrary& TheImageLibrary() { return *Plugin().images; }

const MovieLibrary& TheMovieLibrary() { return *Plugin().movies; }
