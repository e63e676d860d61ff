// Half pictures are read and written through tables of every value rather
// than by the library's conversions: the frames read and the files written
// must be exactly those the library's conversions give.
#include <gtest/gtest.h>

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "image/ImageFiles.h"
#include "image/PixelArrays.h"
#include "image/io/Encode.h"
#include "image/io/LibraryHeaders.h"

namespace {

std::string ScratchFile(const std::string& name)
{
    return (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + std::string("/veldra-half-") +
           std::to_string(getpid()) + "-" + name;
}

std::vector<unsigned char> EncodedBy(const std::function<void(OIIO::ImageOutput&, const std::string&)>& write,
                                     const std::string& name)
{
    OIIO::Filesystem::IOVecOutput memory;
    auto output = OIIO::ImageOutput::create(name);
    output->set_ioproxy(&memory);
    write(*output, name);
    output->close();
    output->set_ioproxy(nullptr);
    return memory.buffer();
}

}  // namespace

// Every half value, NaN, infinities and subnormals among them, becomes the
// 16-bit value the library's float conversion gives, and values outside
// 0..1 are said to be clamped.
TEST(HalfValues, ReadAsTheLibraryConvertsThem)
{
    std::vector<std::uint16_t> halves(65536);
    for (std::size_t i = 0; i < halves.size(); ++i)
        halves[i] = static_cast<std::uint16_t>(i);
    const std::string path = ScratchFile("all.exr");
    {
        const OIIO::ImageSpec header(256, 256, 1, OIIO::TypeDesc::HALF);
        auto output = OIIO::ImageOutput::create(path);
        ASSERT_TRUE(output->open(path, header) && output->write_image(OIIO::TypeDesc::HALF, halves.data()) &&
                    output->close());
    }
    const LoadedImage image = ReadImage(path);
    std::remove(path.c_str());

    std::vector<float> floats(halves.size());
    ASSERT_TRUE(OIIO::convert_pixel_values(OIIO::TypeDesc::HALF, halves.data(), OIIO::TypeDesc::FLOAT, floats.data(),
                                           static_cast<int>(floats.size())));
    std::vector<std::uint16_t> expected(halves.size());
    bool clamped = false;
    ASSERT_TRUE(FloatsToSixteenBits(floats.data(), 1, 256, 256, expected.data(), OIIO::AutoStride, clamped));
    EXPECT_TRUE(clamped);
    EXPECT_TRUE(image.clamped);
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(image.frame.pixels[i].r, expected[i]) << "half " << i;

    // A band of values all within 0..1 says nothing is clamped.
    std::vector<std::uint16_t> inside = {0x0000, 0x3800, 0x3c00, 0x0001};
    HalvesToSixteenBits(inside.data(), inside.size(), clamped);
    EXPECT_FALSE(clamped);
    EXPECT_EQ(inside, (std::vector<std::uint16_t>{0, 32768, 65535, 0}));
}

// A half file written from 16-bit values is byte for byte the one the
// library writes converting them itself: OpenEXR in several bands, with a
// data window that does not start at 0, and TIFF, whose writer stores
// float values instead, converted from the 16-bit ones, never from halves.
TEST(HalfValues, WrittenAsTheLibraryConvertsThem)
{
    for (const char* name : {"frame.exr", "frame.tif"}) {
        PictureHeader header(37, 150, 4, OIIO::TypeDesc::HALF);
        header.y = 11;
        header.full_height = 200;
        header.attribute("compression", "zip");
        header.attribute("DateTime", "");  // as WriteImage says: writers stamp the time otherwise
        std::vector<std::uint16_t> values(37 * 150 * 4);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<std::uint16_t>(i * 2654435761u >> 7);
        std::vector<unsigned char> ours;
        auto output = OIIO::ImageOutput::create(name);
        EncodeInMemory(*output, name, {EncodedPicture{header, values.data()}},
                       [&](const unsigned char* bytes, std::size_t size) { ours.assign(bytes, bytes + size); });
        const auto library = EncodedBy(
            [&](OIIO::ImageOutput& writer, const std::string& file) {
                ASSERT_TRUE(writer.open(file, LibraryHeaderOf(header)) &&
                            writer.write_image(OIIO::TypeDesc::UINT16, values.data()));
            },
            name);
        EXPECT_FALSE(ours.empty());
        EXPECT_TRUE(ours == library) << name;
    }
}
