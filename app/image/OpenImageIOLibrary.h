// The image library's side of ImageLibrary (image/ImageLibrary.h): what
// the formats plugin serves, and what the Python package and the tests
// link directly.
#pragma once

#include "image/ImageLibrary.h"

const ImageLibrary& OpenImageIOLibrary();
