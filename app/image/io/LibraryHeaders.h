// veldra's picture headers and the image library's, one made from the
// other field by field.
#pragma once

#include <OpenImageIO/imageio.h>

#include "image/PictureHeader.h"

PictureHeader HeaderOf(const OIIO::ImageSpec& library);

// The library's header for a picture `header` describes, as the library
// makes one of that size, channels and format, with the rest of `header`
// set on it.
OIIO::ImageSpec LibraryHeaderOf(const PictureHeader& header);
