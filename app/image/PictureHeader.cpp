#include "image/PictureHeader.h"

#include <OpenImageIO/ustring.h>

PictureHeader::PictureHeader(int w, int h, int channels, OIIO::TypeDesc type)
    : width(w), height(h), depth(1), full_width(w), full_height(h), nchannels(channels), format(type)
{
    static const char* const kNames[4] = {"R", "G", "B", "A"};
    if (channels == 1) {
        channelnames.push_back("Y");
        return;
    }
    for (int channel = 0; channel < channels; ++channel)
        channelnames.push_back(channel < 4 ? kNames[channel] : "channel" + std::to_string(channel));
    if (channels >= 4)
        alpha_channel = 3;
}

void PictureHeader::attribute(const std::string& name, OIIO::TypeDesc type, const void* value)
{
    if (name.empty())
        return;
    auto found = extra_attribs.find(name, OIIO::TypeUnknown, false);
    if (found == extra_attribs.end()) {
        extra_attribs.emplace_back();
        found = extra_attribs.end() - 1;
    }
    found->init(name, type, 1, value);
}

void PictureHeader::attribute(const std::string& name, int value) { attribute(name, OIIO::TypeInt, &value); }

void PictureHeader::attribute(const std::string& name, float value) { attribute(name, OIIO::TypeFloat, &value); }

void PictureHeader::attribute(const std::string& name, const std::string& value)
{
    const OIIO::ustring text(value);
    attribute(name, OIIO::TypeString, &text);
}

int PictureHeader::get_int_attribute(const std::string& name, int otherwise) const
{
    const auto found = extra_attribs.find(name, OIIO::TypeUnknown, false);
    return found == extra_attribs.end() ? otherwise : found->get_int(otherwise);
}

std::string PictureHeader::get_string_attribute(const std::string& name) const
{
    const auto found = extra_attribs.find(name, OIIO::TypeString, false);
    return found == extra_attribs.end() ? std::string() : found->get_string();
}
