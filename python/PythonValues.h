// Python arguments as veldra's rooms take them. Numbers, frame numbers and
// frame lists are written out as the command line's words and read by the
// command line's own readers, so they are checked and converted alike and a
// bad one fails with the command line's message (a ValueError), naming the
// keyword where the command line names its option. A value of the wrong
// kind altogether (a list for a path, a string for a number) is a
// TypeError.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "sequence/FrameList.h"

namespace py = pybind11;

// Throws TypeError: "NAME: expected EXPECTED, not TYPE".
[[noreturn]] void ThrowTypeError(const std::string& name, const std::string& expected, py::handle value);

// A str, or an os.PathLike giving one.
std::string PathOf(py::handle value, const std::string& name);
// A str.
std::string WordOf(py::handle value, const std::string& name);
// A whole number (an int or another integer type, not a bool), as the
// decimal text the command line would be given.
std::string IntegerText(py::handle value, const std::string& name);
// Frames a second as --fps takes them: a whole number, a fraction (a
// fractions.Fraction or "24000/1001"), or a decimal such as 29.97.
std::string RateText(py::handle value, const std::string& name);
// A whole number read as a frame number (--frame).
int FrameNumberOf(py::handle value, const std::string& name);
// An angle in degrees (a real number), read as --start reads its value.
float DegreesOf(py::handle value, const std::string& name);
// The filter's range: (first, last), or "A-B" as --range takes it.
FrameSpan SpanOf(py::handle value, const std::string& name);
// Frames as --frames takes them: a frame number, a frame list such as
// "1-100x2,150", a range() with a positive step, or an iterable of frame
// numbers in increasing order.
FrameList FramesOf(py::handle value, const std::string& name);
