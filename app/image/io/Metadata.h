// What a picture file carries besides its pixels, passed from an input's
// header to an output's: the data window's place and the display window,
// and the metadata (timecode, chromaticities, ICC profile, camera and
// description fields...) the output format can hold.
#pragma once

#include <string>

#include "image/PictureHeader.h"

// Copies `from`'s windows and metadata into `to`, a header for a picture of
// the same size written as `outputFormat` (the library's format name).
// Left out: the reader's own notes, another format's private fields, the
// compression (which the writer chooses) and timestamps.
void CarryFileDetails(const PictureHeader& from, PictureHeader& to, const std::string& outputFormat);

// Whether `name` is one of the image library's format names, in any case of
// letters ("tiff", "OpenEXR"...), as an attribute's prefix may be.
bool IsLibraryFormatName(const std::string& name);
