#include "image/OutputFormat.h"

#include <cctype>
#include <utility>

#include "messages/Failure.h"

namespace {

// The file name extensions the image library gives each of the formats
// veldra writes (tests/app/OutputFormatTest.cpp checks them against the
// library itself), kept here so that choosing a format costs no loading of
// the library.
const std::pair<const char*, const char*> kWrittenExtensions[] = {
    {"png", "png"},  {"tif", "tiff"},    {"tiff", "tiff"},   {"tx", "tiff"},     {"env", "tiff"}, {"sm", "tiff"},
    {"vsm", "tiff"}, {"exr", "openexr"}, {"sxr", "openexr"}, {"mxr", "openexr"}, {"dpx", "dpx"},  {"jpg", "jpeg"},
    {"jpe", "jpeg"}, {"jpeg", "jpeg"},   {"jif", "jpeg"},    {"jfif", "jpeg"},   {"jfi", "jpeg"},
};

}  // namespace

std::string ExtensionOf(const std::string& path)
{
    const std::size_t name = path.find_last_of('/') + 1;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < name)
        return "";
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

std::string OutputFormatOf(const std::string& path)
{
    const std::string extension = ExtensionOf(path);
    for (const auto& [known, format] : kWrittenExtensions) {
        if (extension == known)
            return format;
    }
    throw Failure(path,
                  "cannot write this kind of file; veldra writes PNG, TIFF, OpenEXR, DPX and JPEG "
                  "(.png, .tif, .tiff, .exr, .dpx, .jpg, .jpeg)",
                  FailureKind::Value);
}

bool FormatHoldsAlpha(const std::string& format) { return format != "jpeg"; }

bool FormatHoldsSeveralPictures(const std::string& format)
{
    return format == "tiff" || format == "openexr" || format == "dpx";
}
