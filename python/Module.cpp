// `import veldra`: the filter module for Python programs, built on the rooms
// of the command-line host, so that a picture turned here has the bytes
// `veldra render` writes for it.
#include <pybind11/pybind11.h>

#include "Errors.h"
#include "Params.h"
#include "Render.h"
#include "SharedModule.h"
#include "Turn.h"
#include "filter/Identity.h"
#include "messages/LibraryMessages.h"
#include "render/module/FilterModule.h"

namespace py = pybind11;

namespace {

py::dict ModuleInfo()
{
    const ModuleFacts facts = DescribeModule(SharedModule());
    py::dict info;
    info["module"] = facts.path;
    info["description"] = facts.description;
    info["version"] = facts.version;
    info["classes"] = facts.classes;
    info["class_name"] = facts.className;
    info["category"] = facts.category;
    info["family_code"] = facts.familyCode;
    info["identifier"] = py::make_tuple(facts.identifier[0], facts.identifier[1]);
    info["filter_name"] = facts.filterName;
    info["author"] = facts.author;
    info["notice"] = facts.notice;
    info["tag"] = facts.tag;
    info["capabilities"] = facts.capabilities;
    info["block_size"] = facts.blockSize;
    return info;
}

}  // namespace

PYBIND11_MODULE(veldra, module)
{
    module.doc() = R"(The VELDRA.FLT turn filter for Python programs.

turn() runs a NumPy array through the filter; render() runs image files and
sequences, exactly as `veldra render` does; Params holds the filter's
settings. Results have the bytes `veldra render` writes for the same
pictures and settings.)";
    module.attr("__version__") = VELDRA_RELEASE;
    // Each docstring starts with its function's signature as Python writes
    // it ("NAME(ARGUMENTS)\n--\n\n"), which help() and inspect.signature()
    // read; pybind11's own would type every argument as `object`. The types
    // are in the stub, veldra.pyi.
    py::options options;
    options.disable_function_signatures();
    // Libraries' own complaints (libpng's) become part of the error that
    // names the file, as in the command line's messages.
    RouteLibraryMessages();
    TranslateFailures();
    QueueWarnings();
    AddParams(module);
    AddTurn(module);
    AddRender(module);
    module.def("module_info", &ModuleInfo, R"(module_info()
--

What the filter module says about itself, as `veldra info` prints it.)");
}
