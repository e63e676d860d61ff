#include "Turn.h"

#include <pybind11/numpy.h>

#include <new>
#include <vector>

#include "Errors.h"
#include "Params.h"
#include "PythonValues.h"
#include "SharedModule.h"
#include "cli/RenderOptions.h"
#include "image/PixelArrays.h"
#include "image/io/InputChecks.h"
#include "messages/Failure.h"
#include "messages/Warnings.h"
#include "render/AlphaKeep.h"
#include "render/FramePlan.h"
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
// is not).
py::array PictureOf(const py::object& value, PixelArray& pixels)
{
    if (!py::isinstance<py::array>(value))
        ThrowTypeError(kImage, "a NumPy array of shape (height, width, 3 or 4)", value);
    py::array image = py::reinterpret_borrow<py::array>(value);
    pixels.type = PixelType(image);
    if (image.ndim() != 3 || (image.shape(2) != 3 && image.shape(2) != 4))
        throw Failure(kImage, "shape " + py::str(py::tuple(image.attr("shape"))).cast<std::string>() +
                                  " is not (height, width, 3) or (height, width, 4)");
    CheckFrameShape(kImage, image.shape(1), image.shape(0), 1, static_cast<int>(image.shape(2)));
    pixels.width = static_cast<int>(image.shape(1));
    pixels.height = static_cast<int>(image.shape(0));
    pixels.channels = static_cast<int>(image.shape(2));
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
        throw Failure("range", "frame " + std::to_string(current) + " lies outside the filter's range " +
                                   std::to_string(span.first) + "-" + std::to_string(span.last));
    const AlphaMode mode = AlphaValue("alpha", WordOf(alpha, "alpha"));
    if (!py::isinstance<py::bool_>(premultiplied))
        ThrowTypeError("premultiplied", "True or False", premultiplied);
    const ColourAlpha colour = premultiplied.cast<bool>() ? ColourAlpha::Premultiplied : ColourAlpha::Straight;
    const LoadedModule& module = SharedModule();

    py::array result(source.dtype(), std::vector<py::ssize_t>{input.height, input.width, input.channels});
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
               R"(The picture turned by the filter, as a new array of the same shape and dtype.

image is a NumPy array of shape (height, width, 3) or (height, width, 4) and
dtype uint8, uint16, float16 or float32; the fourth channel is alpha. The
filter works on 16-bit values: 8-bit values are scaled by 257, float values
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
