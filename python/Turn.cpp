#include "Turn.h"

#include <pybind11/numpy.h>

#include <new>
#include <vector>

#include "Errors.h"
#include "Params.h"
#include "PythonValues.h"
#include "SharedModule.h"
#include "image/FrameChecks.h"
#include "image/PixelArrays.h"
#include "messages/Failure.h"
#include "messages/Warnings.h"
#include "render/AlphaKeep.h"
#include "render/FramePlan.h"
#include "render/SettingWords.h"
#include "render/module/FilterModule.h"

namespace {

constexpr const char* kImage = "image";

// The array's element type among those a picture may have.
OIIO::TypeDesc PixelType(const py::array& image)
{
    const py::dtype dtype = image.dtype();
    if (dtype.equal(py::dtype::of<std::uint8_t>()))
        return OIIO::TypeDesc::UINT8;
    if (dtype.equal(py::dtype::of<std::uint16_t>()))
        return OIIO::TypeDesc::UINT16;
    if (dtype.equal(py::dtype("float16")))
        return OIIO::TypeDesc::HALF;
    if (dtype.equal(py::dtype::of<float>()))
        return OIIO::TypeDesc::FLOAT;
    throw py::type_error(std::string(kImage) + ": dtype " + py::str(py::handle(dtype)).cast<std::string>() +
                         " is not one of uint8, uint16, float16, float32");
}

// The array as a picture: checked, and C-contiguous (copied only when it
// is not). (height, width) is grey, as (height, width, 1).
py::array PictureOf(const py::object& value, PixelArray& pixels)
{
    if (!py::isinstance<py::array>(value))
        ThrowTypeError(kImage, "a NumPy array of shape (height, width) or (height, width, 1 to 4)", value);
    py::array image = py::reinterpret_borrow<py::array>(value);
    pixels.type = PixelType(image);
    const py::ssize_t channels = image.ndim() == 3 ? image.shape(2) : 1;
    if ((image.ndim() != 2 && image.ndim() != 3) || channels < 1 || channels > 4)
        throw Failure(kImage,
                      "shape " + py::str(py::tuple(image.attr("shape"))).cast<std::string>() +
                          " is not (height, width) or (height, width, channels) with 1 to 4 channels",
                      FailureKind::Value);
    CheckFrameShape(kImage, image.shape(1), image.shape(0), 1, static_cast<int>(channels));
    pixels.width = static_cast<int>(image.shape(1));
    pixels.height = static_cast<int>(image.shape(0));
    pixels.channels = static_cast<int>(channels);
    CheckFrameMemory(kImage, pixels.width, pixels.height, pixels.channels);
    image = py::array::ensure(image, py::array::c_style | py::detail::npy_api::NPY_ARRAY_ALIGNED_);
    if (!image)
        throw std::bad_alloc();  // the copy could not be made
    pixels.data = const_cast<void*>(image.data());
    return image;
}

py::array Turn(const py::object& image, const py::object& params, const py::object& frame, const py::object& range,
               const py::object& alpha, const py::object& premultiplied)
{
    PixelArray input;
    const py::array source = PictureOf(image, input);
    const ParamBlock block = BlockOfParams(params, "params");
    const int current = FrameNumberOf(frame, "frame");
    const FrameSpan span = range.is_none() ? FrameSpan{current, current} : SpanOf(range, "range");
    if (current < span.first || current > span.last)
        throw Failure("range",
                      "frame " + std::to_string(current) + " lies outside the filter's range " +
                          std::to_string(span.first) + "-" + std::to_string(span.last),
                      FailureKind::Value);
    const AlphaMode mode = AlphaValue("alpha", WordOf(alpha, "alpha"));
    if (!py::isinstance<py::bool_>(premultiplied))
        ThrowTypeError("premultiplied", "True or False", premultiplied);
    const ColourAlpha colour = premultiplied.cast<bool>() ? ColourAlpha::Premultiplied : ColourAlpha::Straight;
    const LoadedModule& module = SharedModule();

    py::array result(source.dtype(), std::vector<py::ssize_t>(source.shape(), source.shape() + source.ndim()));
    PixelArray output = input;
    output.data = result.mutable_data();
    {
        py::gil_scoped_release released;
        const std::string oneFrame = OneFrameRangeWarning(span, ParamsOf(block), current, "range=(A, B)");
        if (!oneFrame.empty())
            Warn(oneFrame);
        bool clamped = false;
        // A 16-bit RGBA picture is turned in the result itself.
        Frame picture = FrameOfPixels(input, clamped, &output);
        if (clamped)
            Warn(kClampedWarning);
        if (mode == AlphaMode::Filter && !picture.IsOpaque())
            Warn(TransparencyLostWarning(kKeepAlpha));
        const auto filter = MakeFilter(module);
        LoadParams(*filter, block);
        RenderFrameWithAlpha(*filter, picture, mode, colour, FrameRange(current, 1, current),
                             FrameRange(span.first, span.Count(), current), kImage);
        StorePixels(picture, output);
    }
    return result;
}

}  // namespace

void AddTurn(py::module_& module)
{
    module.def("turn", IssuingWarnings(&Turn), py::arg("image"), py::arg("params"), py::arg("frame") = 0,
               py::arg("range") = py::none(), py::arg("alpha") = "filter", py::arg("premultiplied") = false,
               R"(turn(image, params, frame=0, range=None, alpha='filter', premultiplied=False)
--

The picture turned by the filter, as a new array of the same shape and dtype.

image is a NumPy array of dtype uint8, uint16, float16 or float32 and shape
(height, width) or (height, width, 1) for grey, (height, width, 2) for grey
and alpha, (height, width, 3) for colour or (height, width, 4) for colour
and alpha; grey is turned as veldra render turns grey files. The filter
works on 16-bit values: 8-bit values are scaled by 257, float values
clamped to 0..1, exactly as veldra render reads files, and the result is
converted back as veldra render writes them, so the values equal what the
command writes for the same picture and settings.

frame is the frame's number and range=(first, last) the filter's active
range (by default the frame alone), which place the angle between
params.start and params.end. alpha="filter" gives the filter's own output
(every pixel it covers opaque); alpha="keep" carries the picture's alpha
through the turn. premultiplied=True says the colour is already multiplied
by alpha (as pictures from EXR files are), so alpha="keep" leaves it so.

The GIL is released while the filter works, and each call has a filter of
its own: several threads turn pictures at once.)");
}
