// The output format chosen by a file's name without loading the image
// library must be the library's own choice, for every extension the
// library knows, or a refusal where it would write a format veldra does
// not; and what its writer holds must be what the library's writer says.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "image/OutputFormat.h"
#include "image/io/Metadata.h"
#include "messages/Failure.h"

TEST(OutputFormat, ExtensionsChooseWhatTheLibraryChooses)
{
    const std::string written[] = {"png", "tiff", "openexr", "dpx", "jpeg"};
    std::string list;
    ASSERT_TRUE(OIIO::getattribute("extension_list", list));
    // "format:ext,ext;format:ext..."
    std::size_t checked = 0;
    for (std::size_t start = 0; start < list.size();) {
        std::size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string entry = list.substr(start, end - start);
        start = end + 1;
        std::string extensions = entry.substr(entry.find(':') + 1) + ",";
        for (std::size_t at = 0, comma; (comma = extensions.find(',', at)) != std::string::npos; at = comma + 1) {
            std::string extension = extensions.substr(at, comma - at);
            for (const bool upper : {false, true}) {
                if (upper)
                    std::transform(extension.begin(), extension.end(), extension.begin(), ::toupper);
                const std::string name = "out/f.0001." + extension;
                const auto output = OIIO::ImageOutput::create(name);
                OIIO::geterror();
                const std::string library = output ? output->format_name() : "";
                const bool ours = std::find(std::begin(written), std::end(written), library) != std::end(written);
                if (ours)
                    EXPECT_EQ(OutputFormatOf(name), library) << name;
                else
                    EXPECT_THROW(OutputFormatOf(name), Failure) << name << " (" << library << ")";
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 40u);
    EXPECT_THROW(OutputFormatOf("out/png"), Failure);
    EXPECT_THROW(OutputFormatOf("out.png/f"), Failure);
}

TEST(OutputFormat, WhatEachWriterHoldsIsWhatTheLibrarySays)
{
    for (const char* format : {"png", "tiff", "openexr", "dpx", "jpeg"}) {
        const auto output = OIIO::ImageOutput::create(format);
        ASSERT_TRUE(output) << format;
        EXPECT_EQ(FormatHoldsAlpha(format), output->supports("alpha")) << format;
        EXPECT_EQ(FormatHoldsSeveralPictures(format), output->supports("multiimage")) << format;
    }
}

// Metadata named for another format is left out of an output; which names
// are formats must be the library's own answer.
TEST(OutputFormat, FormatNamesAreTheLibrarys)
{
    std::string list;
    ASSERT_TRUE(OIIO::getattribute("format_list", list));
    list += ",Exif,GPS,IPTC,XMP,ICCProfile,oiio,photoshop,smpte,DocumentName,";
    std::size_t checked = 0;
    for (std::size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos; at = comma + 1) {
        std::string name = list.substr(at, comma - at);
        for (const bool upper : {false, true}) {
            if (upper)
                std::transform(name.begin(), name.end(), name.begin(), ::toupper);
            EXPECT_EQ(IsLibraryFormatName(name), OIIO::is_imageio_format_name(name)) << name;
            ++checked;
        }
    }
    EXPECT_GT(checked, 60u);
}
