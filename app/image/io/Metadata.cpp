#include "image/io/Metadata.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace {

// The image library's format names (tests/app/OutputFormatTest.cpp checks them
// against the library itself), kept here so that carrying metadata costs no
// loading of the library.
const char* const kLibraryFormats[] = {
    "openexr", "tiff", "jpeg", "bmp", "cineon",    "dds",      "dicom", "dpx",     "ffmpeg", "fits",
    "gif",     "heif", "hdr",  "ico", "iff",       "jpeg2000", "null",  "openvdb", "png",    "pnm",
    "psd",     "raw",  "rla",  "sgi", "softimage", "targa",    "term",  "webp",    "zfile",
};

bool StartsWith(const std::string& text, const char* start) { return text.rfind(start, 0) == 0; }

bool Carried(const std::string& name, const std::string& outputFormat)
{
    // Colour space and gamma say how to read the pixels, and a part's name
    // which part it is; the reader's other notes (bits per sample, alpha
    // handling...) are settled by the writer.
    if (StartsWith(name, "oiio:"))
        return name == "oiio:ColorSpace" || name == "oiio:Gamma" || name == "oiio:subimagename";
    // The writer picks the compression and the photometric reading of the
    // channels it writes; WriteImage settles the date (the input's own, never
    // the time of writing).
    if (name == "compression" || name == "tiff:PhotometricInterpretation" || name == "DateTime")
        return false;
    // "tiff:RowsPerStrip" means something to the TIFF writer only.
    const std::size_t colon = name.find(':');
    if (colon != std::string::npos) {
        const std::string prefix = name.substr(0, colon);
        if (prefix != outputFormat && IsLibraryFormatName(prefix))
            return false;
    }
    return true;
}

}  // namespace

bool IsLibraryFormatName(const std::string& name)
{
    std::string lower = name;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::find(std::begin(kLibraryFormats), std::end(kLibraryFormats), lower) != std::end(kLibraryFormats);
}

void CarryFileDetails(const PictureHeader& from, PictureHeader& to, const std::string& outputFormat)
{
    to.x = from.x;
    to.y = from.y;
    to.full_x = from.full_x;
    to.full_y = from.full_y;
    to.full_width = from.full_width;
    to.full_height = from.full_height;
    for (const OIIO::ParamValue& value : from.extra_attribs) {
        if (Carried(value.name().string(), outputFormat))
            to.attribute(value.name().string(), value.type(), value.data());
    }
}
