#include "image/io/ReadRows.h"

#include <algorithm>

namespace {

constexpr int kBandRows = 64;

}  // namespace

bool ReadRows(OIIO::ImageInput& input, int subimage, const OIIO::ImageSpec& header, int first, int rows,
              int firstChannel, int endChannel, OIIO::TypeDesc type, void* out)
{
    const int top = header.y + first;
    if (header.tile_width > 0)
        return input.read_tiles(subimage, 0, header.x, header.x + header.width, top, top + rows, header.z, header.z + 1,
                                firstChannel, endChannel, type, out);
    return input.read_scanlines(subimage, 0, top, top + rows, header.z, firstChannel, endChannel, type, out);
}

int BandRows(const OIIO::ImageSpec& header)
{
    return std::min(header.height, header.tile_width > 0 ? header.tile_height : kBandRows);
}
