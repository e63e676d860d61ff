// What a picture file says of its picture besides the pixels: the size and
// place of its data window, its display window, its channels and their
// formats, which channel is alpha, and its metadata. Its fields and
// accessors mean what the image library's own header means by the same
// names, but it lives without the library's reading and writing code, so
// that the files veldra reads and writes itself never load that library
// (image/ImageLibrary.h converts between the two).
#pragma once

#include <OpenImageIO/paramlist.h>
#include <OpenImageIO/typedesc.h>

#include <string>
#include <vector>

struct PictureHeader {
    int x = 0, y = 0;                      // the data window's origin
    int width = 0, height = 0, depth = 0;  // its size; depth 1 for a flat picture
    int full_x = 0, full_y = 0;            // the display window
    int full_width = 0, full_height = 0;
    int nchannels = 0;
    OIIO::TypeDesc format;                       // every channel's, unless channelformats says
    std::vector<OIIO::TypeDesc> channelformats;  // empty when all are `format`
    std::vector<std::string> channelnames;
    int alpha_channel = -1;  // -1: none
    bool deep = false;       // several samples a pixel
    OIIO::ParamValueList extra_attribs;

    PictureHeader() = default;
    // A flat picture of `width` x `height` whose display window is its data
    // window, with channels named Y (one), R G (two), R G B, R G B A (alpha
    // the fourth), then channel4, channel5...
    PictureHeader(int width, int height, int channels, OIIO::TypeDesc format);

    OIIO::TypeDesc channelformat(int channel) const
    {
        return channel >= 0 && channel < static_cast<int>(channelformats.size()) ? channelformats[channel] : format;
    }
    std::string channel_name(int channel) const
    {
        return channel >= 0 && channel < static_cast<int>(channelnames.size()) ? channelnames[channel] : "";
    }

    // Sets the attribute `name`, replacing one of the same name in any case
    // of letters (in its place, under the new spelling).
    void attribute(const std::string& name, OIIO::TypeDesc type, const void* value);
    void attribute(const std::string& name, int value);
    void attribute(const std::string& name, float value);
    void attribute(const std::string& name, const std::string& value);
    // The attribute `name` (any case of letters) as a whole number, converted
    // from its type when it can be; `otherwise` when there is none.
    int get_int_attribute(const std::string& name, int otherwise = 0) const;
    // The string attribute `name` (any case of letters); "" when there is
    // none or it is not a string.
    std::string get_string_attribute(const std::string& name) const;
};
