// veldra.turn: one picture held in a NumPy array through the filter.
#pragma once

#include <pybind11/pybind11.h>

namespace py = pybind11;

// Adds turn() to `module`.
void AddTurn(py::module_& module);
