#include "image/OutputFormat.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <iterator>

#include "messages/Failure.h"

namespace {

const char* const kWrittenFormats[] = {"png", "tiff", "openexr", "dpx", "jpeg"};

}  // namespace

std::string OutputFormatOf(const std::string& path)
{
    // The library chooses a writer by the name as it would to write it.
    const auto output = OIIO::ImageOutput::create(path);
    OIIO::geterror();  // a refused name leaves an error we replace by ours
    const std::string format = output ? output->format_name() : "";
    if (std::find(std::begin(kWrittenFormats), std::end(kWrittenFormats), format) == std::end(kWrittenFormats))
        throw Failure(path,
                      "cannot write this kind of file; veldra writes PNG, TIFF, OpenEXR, DPX and JPEG "
                      "(.png, .tif, .tiff, .exr, .dpx, .jpg, .jpeg)");
    return format;
}
