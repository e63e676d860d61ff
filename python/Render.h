// veldra.render: a frame or a sequence of files through the filter, as
// `veldra render` runs it.
#pragma once

#include <pybind11/pybind11.h>

namespace py = pybind11;

// Adds render() to `module`.
void AddRender(py::module_& module);
