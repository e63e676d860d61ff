// veldra's picture header stands in for the image library's wherever the
// library is not loaded, and the two are converted into each other on the
// way to the library's readers and writers: made and changed the same way,
// they must describe the same picture, field for field and attribute for
// attribute, or a file would change with the reader or writer it meets.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include <string>

#include "image/PictureHeader.h"
#include "image/io/LibraryHeaders.h"

namespace {

std::string Detailed(const OIIO::ImageSpec& header)
{
    return header.serialize(OIIO::ImageSpec::SerialText, OIIO::ImageSpec::SerialDetailed);
}

}  // namespace

TEST(PictureHeader, MadeAsTheLibraryMakesItsHeader)
{
    for (const OIIO::TypeDesc type : {OIIO::TypeDesc::UINT8, OIIO::TypeDesc::UINT16, OIIO::TypeDesc::HALF})
        for (int channels = 1; channels <= 6; ++channels) {
            const PictureHeader ours(31, 17, channels, type);
            const OIIO::ImageSpec theirs(31, 17, channels, type);
            EXPECT_EQ(Detailed(LibraryHeaderOf(ours)), Detailed(theirs)) << channels << " " << type;
            EXPECT_EQ(ours.alpha_channel, theirs.alpha_channel) << channels;
            EXPECT_EQ(Detailed(LibraryHeaderOf(HeaderOf(theirs))), Detailed(theirs)) << channels;
        }
}

TEST(PictureHeader, AttributesBehaveAsTheLibrarysDo)
{
    PictureHeader ours(8, 4, 4, OIIO::TypeDesc::UINT16);
    OIIO::ImageSpec theirs(8, 4, 4, OIIO::TypeDesc::UINT16);
    const auto both = [&](auto&& change) {
        change(ours);
        change(theirs);
    };
    both([](auto& h) { h.attribute("Software", std::string("veldra")); });
    both([](auto& h) { h.attribute("compression", 5); });
    both([](auto& h) { h.attribute("oiio:Gamma", 2.2f); });
    // Another spelling replaces the attribute in its place, under the new name.
    both([](auto& h) { h.attribute("SOFTWARE", std::string("other")); });
    both([](auto& h) { h.attribute("Count", std::string("7")); });
    const float values[3] = {1, 2, 3};
    both([&](auto& h) { h.attribute("Exif:Shape", OIIO::TypeDesc(OIIO::TypeDesc::FLOAT, 3), values); });
    both([](auto& h) {
        h.x = -3;
        h.full_height = 9;
    });
    EXPECT_EQ(Detailed(LibraryHeaderOf(ours)), Detailed(theirs));

    for (const char* name : {"software", "compression", "COUNT", "oiio:gamma", "missing"}) {
        EXPECT_EQ(ours.get_int_attribute(name, -1), theirs.get_int_attribute(name, -1)) << name;
        EXPECT_EQ(ours.get_string_attribute(name), theirs.get_string_attribute(name)) << name;
    }
}
