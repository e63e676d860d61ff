// The image library linked into the program itself: for the Python package
// and the tests, which load it anyway.
#include "image/OpenImageIOLibrary.h"

const ImageLibrary& TheImageLibrary() { return OpenImageIOLibrary(); }
