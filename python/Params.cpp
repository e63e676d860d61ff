#include "Params.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "PythonValues.h"
#include "filter/ParamWords.h"
#include "messages/Failure.h"
#include "messages/DegreesText.h"
#include "render/SettingWords.h"

namespace {

struct Params {
    RotationParams fields = kDefaultRotationParams;
};

// The fields of a block that holds a usable one: the filter's tag, known
// codes and finite angles. Throws Failure naming `what` saying why not.
Params CheckedParams(const std::string& what, const ParamBlock& block)
{
    CheckParamTag(what, block);
    Params params{ParamsOf(block)};
    const RotationParams& p = params.fields;
    if (!AxisWordOf(p.axis))
        throw Failure(what, "damaged: its axis code " + std::to_string(p.axis) + " is none of x, y, z",
                      FailureKind::Data);
    if (!PivotWordOf(p.pivot))
        throw Failure(what, "damaged: its pivot code " + std::to_string(p.pivot) + " is none of lower, center, upper",
                      FailureKind::Data);
    if (!std::isfinite(p.startAngle) || !std::isfinite(p.endAngle))
        throw Failure(what, "damaged: an angle is not a finite number", FailureKind::Data);
    return params;
}

// The shortest decimal that reads back as `value` in single precision,
// written as Python writes that number: 0.1 rather than 0.10000000149011612.
std::string FloatLiteral(float value) { return py::repr(py::float_(std::strtod(DegreesText(value).c_str(), nullptr))); }

ParamBlock BytesToBlock(py::handle value)
{
    if (!PyObject_CheckBuffer(value.ptr()) || py::isinstance<py::str>(value))
        ThrowTypeError("block", "bytes", value);
    const auto copy = py::reinterpret_steal<py::bytes>(PyBytes_FromObject(value.ptr()));
    if (!copy)
        throw py::error_already_set();
    const std::string bytes = copy;
    if (bytes.size() != kParamBlockSize)
        throw Failure(
            "block",
            "not a parameter block: " + std::to_string(bytes.size()) + " bytes, not " + std::to_string(kParamBlockSize),
            FailureKind::Data);
    ParamBlock block;
    std::memcpy(block.data(), bytes.data(), block.size());
    return block;
}

py::bytes BytesOf(const Params& params)
{
    const ParamBlock block = BlockOf(params.fields);
    return py::bytes(reinterpret_cast<const char*>(block.data()), block.size());
}

}  // namespace

ParamBlock BlockOfParams(py::handle value, const std::string& name)
{
    if (!py::isinstance<Params>(value))
        ThrowTypeError(name, "a veldra.Params", value);
    return BlockOf(value.cast<const Params&>().fields);
}

void AddParams(py::module_& module)
{
    py::class_<Params>(module, "Params", R"(The filter's settings: its 20-byte parameter block.

axis is "x", "y" or "z"; pivot "lower", "center" (or "centre") or "upper";
start and end are the angles in degrees at the first and last frame of the
filter's range, stored as single-precision floats. Params compare equal when
their blocks are equal, and bytes(params) is the block as veldra's
--save-params and the setup dialog store it.)")
        .def(py::init(
                 [](const py::object& axis, const py::object& pivot, const py::object& start, const py::object& end) {
                     Params params;
                     params.fields.axis = AxisValue("axis", WordOf(axis, "axis"));
                     params.fields.pivot = PivotValue("pivot", WordOf(pivot, "pivot"));
                     params.fields.startAngle = DegreesOf(start, "start");
                     params.fields.endAngle = DegreesOf(end, "end");
                     return params;
                 }),
             py::arg("axis") = "x", py::arg("pivot") = "center", py::arg("start") = 0.0, py::arg("end") = 0.0,
             "__init__(self, axis='x', pivot='center', start=0.0, end=0.0)\n--\n\n")
        .def_property(
            "axis", [](const Params& p) { return AxisWordOf(p.fields.axis); },
            [](Params& p, const py::object& word) { p.fields.axis = AxisValue("axis", WordOf(word, "axis")); },
            "The axis of the turn: \"x\", \"y\" or \"z\".")
        .def_property(
            "pivot", [](const Params& p) { return PivotWordOf(p.fields.pivot); },
            [](Params& p, const py::object& word) { p.fields.pivot = PivotValue("pivot", WordOf(word, "pivot")); },
            "The pivot: \"lower\", \"center\" or \"upper\" (\"centre\" is taken as \"center\").")
        .def_property(
            "start", [](const Params& p) { return static_cast<double>(p.fields.startAngle); },
            [](Params& p, const py::object& degrees) { p.fields.startAngle = DegreesOf(degrees, "start"); },
            "The angle in degrees at the first frame of the filter's range.")
        .def_property(
            "end", [](const Params& p) { return static_cast<double>(p.fields.endAngle); },
            [](Params& p, const py::object& degrees) { p.fields.endAngle = DegreesOf(degrees, "end"); },
            "The angle in degrees at the last frame of the filter's range.")
        .def_static(
            "load",
            [](const py::object& path) {
                const std::string file = PathOf(path, "path");
                return CheckedParams(file, ReadParamFile(file));
            },
            py::arg("path"), "load(path)\n--\n\nThe parameter block stored in the file at path.")
        .def(
            "save",
            [](const Params& p, const py::object& path) { WriteParamFile(PathOf(path, "path"), BlockOf(p.fields)); },
            py::arg("path"),
            "save(self, path)\n--\n\nStores the block in the file at path, replacing it whole or not at all.")
        .def_static(
            "from_bytes", [](const py::object& bytes) { return CheckedParams("block", BytesToBlock(bytes)); },
            py::arg("block"),
            "from_bytes(block)\n--\n\nThe Params of a 20-byte block; ValueError says why a block is not one.")
        .def("__bytes__", &BytesOf)
        .def("__eq__",
             [](const Params& a, const py::object& b) -> py::object {
                 if (!py::isinstance<Params>(b))
                     return py::reinterpret_borrow<py::object>(Py_NotImplemented);
                 return py::bool_(BlockOf(a.fields) == BlockOf(b.cast<const Params&>().fields));
             })
        .def("__repr__",
             [](const Params& p) {
                 return std::string("veldra.Params(axis='") + AxisWordOf(p.fields.axis) + "', pivot='" +
                        PivotWordOf(p.fields.pivot) + "', start=" + FloatLiteral(p.fields.startAngle) +
                        ", end=" + FloatLiteral(p.fields.endAngle) + ")";
             })
        .def(py::pickle([](const Params& p) { return BytesOf(p); },
                        [](const py::bytes& block) { return CheckedParams("block", BytesToBlock(block)); }));
}
