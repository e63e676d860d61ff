#include "image/io/LibraryHeaders.h"

namespace {

// The fields both headers have under the same names, but for the size,
// channel count and format, which make the library's header.
template <class From, class To>
void CopyDetails(const From& from, To& to)
{
    to.x = from.x;
    to.y = from.y;
    to.depth = from.depth;
    to.full_x = from.full_x;
    to.full_y = from.full_y;
    to.full_width = from.full_width;
    to.full_height = from.full_height;
    to.channelformats = from.channelformats;
    to.channelnames = from.channelnames;
    to.alpha_channel = from.alpha_channel;
    to.deep = from.deep;
    to.extra_attribs = from.extra_attribs;
}

}  // namespace

PictureHeader HeaderOf(const OIIO::ImageSpec& library)
{
    PictureHeader header(library.width, library.height, library.nchannels, library.format);
    CopyDetails(library, header);
    return header;
}

OIIO::ImageSpec LibraryHeaderOf(const PictureHeader& header)
{
    OIIO::ImageSpec library(header.width, header.height, header.nchannels, header.format);
    CopyDetails(header, library);
    return library;
}
