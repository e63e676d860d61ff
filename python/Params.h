// veldra.Params: the filter's 20-byte parameter block (axis, pivot, start
// and end angle) as a Python object, stored, loaded and compared as the
// block itself.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "files/ParamFile.h"

namespace py = pybind11;

// Adds the class to `module`.
void AddParams(py::module_& module);

// The block a Params holds; TypeError naming `name` for anything else.
ParamBlock BlockOfParams(py::handle value, const std::string& name);
