// Rows of a picture from the image library's reader, in bands: the one
// place that knows how scanline and tiled files are read.
#pragma once

#include <OpenImageIO/imageio.h>

// Rows [first, first + rows) of the data window of picture `subimage`
// (`header` its header), channels [firstChannel, endChannel), as `type`
// (TypeUnknown: each channel in its own format), packed. A tiled picture
// is read by whole rows of tiles. False when the reader fails.
bool ReadRows(OIIO::ImageInput& input, int subimage, const OIIO::ImageSpec& header, int first, int rows,
              int firstChannel, int endChannel, OIIO::TypeDesc type, void* out);

// Rows read at a time: the library converts through buffers the size of
// what it is asked for, so a whole frame at once would hold more frames'
// worth while it reads, a band only a few rows. Tiles come whole, so a
// tiled picture's band is a row of them.
int BandRows(const OIIO::ImageSpec& header);
