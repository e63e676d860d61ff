#include "PythonValues.h"

#include <cstdio>

#include "cli/RenderOptions.h"
#include "cli/WordReader.h"

namespace {

std::string TypeName(py::handle value) { return py::str(py::type::handle_of(value).attr("__name__")); }

bool IsInteger(py::handle value) { return !PyBool_Check(value.ptr()) && PyIndex_Check(value.ptr()); }

}  // namespace

void ThrowTypeError(const std::string& name, const std::string& expected, py::handle value)
{
    throw py::type_error(name + ": expected " + expected + ", not " + TypeName(value));
}

std::string PathOf(py::handle value, const std::string& name)
{
    if (py::isinstance<py::str>(value))
        return value.cast<std::string>();
    if (py::hasattr(value, "__fspath__")) {
        const py::object path = value.attr("__fspath__")();
        if (py::isinstance<py::str>(path))
            return path.cast<std::string>();
    }
    ThrowTypeError(name, "a path (str or os.PathLike)", value);
}

std::string WordOf(py::handle value, const std::string& name)
{
    if (!py::isinstance<py::str>(value))
        ThrowTypeError(name, "a str", value);
    return value.cast<std::string>();
}

std::string IntegerText(py::handle value, const std::string& name)
{
    if (!IsInteger(value))
        ThrowTypeError(name, "a whole number", value);
    return py::str(py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr())));
}

std::string RateText(py::handle value, const std::string& name)
{
    if (IsInteger(value))
        return IntegerText(value, name);
    if (py::isinstance<py::str>(value))
        return value.cast<std::string>();
    if (py::hasattr(value, "numerator") && py::hasattr(value, "denominator"))
        return IntegerText(value.attr("numerator"), name) + "/" + IntegerText(value.attr("denominator"), name);
    if (py::isinstance<py::float_>(value))
        return py::repr(value);
    ThrowTypeError(name, "frames a second (an int, a Fraction, a float or a str)", value);
}

int FrameNumberOf(py::handle value, const std::string& name) { return FrameValue(name, IntegerText(value, name)); }

float DegreesOf(py::handle value, const std::string& name)
{
    // An int is read as its digits, however many; other numbers as the
    // shortest text that gives back the same double.
    if (IsInteger(value))
        return DegreesValue(name, IntegerText(value, name));
    if (PyBool_Check(value.ptr()) || py::isinstance<py::str>(value) || !PyNumber_Check(value.ptr()))
        ThrowTypeError(name, "an angle in degrees (a number)", value);
    return DegreesValue(name, py::repr(py::float_(py::reinterpret_borrow<py::object>(value))));
}

FrameSpan SpanOf(py::handle value, const std::string& name)
{
    if (py::isinstance<py::str>(value))
        return FrameList::ParseSpan(name, value.cast<std::string>());
    if (!(py::isinstance<py::tuple>(value) || py::isinstance<py::list>(value)) || py::len(value) != 2)
        ThrowTypeError(name, "(first, last), two frame numbers", value);
    const py::sequence pair = py::reinterpret_borrow<py::sequence>(value);
    return FrameList::ParseSpan(name, IntegerText(pair[0], name) + "-" + IntegerText(pair[1], name));
}

FrameList FramesOf(py::handle value, const std::string& name)
{
    if (py::isinstance<py::str>(value))
        return FrameList::Parse(name, value.cast<std::string>());
    if (IsInteger(value))
        return FrameList::Parse(name, IntegerText(value, name));
    // A range() is a span with steps, however long.
    const py::object range = py::module_::import("builtins").attr("range");
    if (py::isinstance(value, range) && py::len(value) > 0 && value.attr("step").cast<py::int_>() > py::int_(0)) {
        const py::object last = value[py::int_(-1)];
        return FrameList::Parse(name, IntegerText(value.attr("start"), name) + "-" + IntegerText(last, name) + "x" +
                                          IntegerText(value.attr("step"), name));
    }
    if (!py::isinstance<py::iterable>(value))
        ThrowTypeError(name, "frames (a frame number, a frame list such as \"1-100x2\", or frame numbers)", value);
    std::string text;
    for (const py::handle frame : value)
        text += (text.empty() ? "" : ",") + IntegerText(frame, name);
    return FrameList::Parse(name, text);
}
