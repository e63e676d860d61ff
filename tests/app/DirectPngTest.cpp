// The PNG files veldra reads and writes without the image library must be
// the library's own: the same header and pixels read, the same chunks
// written around pixel data that decode to the same values, and every file
// of another kind or with anything unusual left to the library.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "files/WholeFile.h"
#include "image/ImageFiles.h"
#include "image/io/ChannelPlan.h"
#include "image/io/Encode.h"
#include "image/io/LibraryHeaders.h"
#include "image/io/png/DirectPngReader.h"
#include "image/io/png/DirectPngWriter.h"
#include "image/io/png/PngChunks.h"
#include "messages/Failure.h"

namespace {

using Bytes = std::vector<unsigned char>;

class DirectPng : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + std::string("/pngXXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }

    std::string Path(const std::string& name) const { return folder_ + "/" + name; }

    std::string Save(const std::string& name, const Bytes& bytes) const
    {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }

private:
    std::string folder_;
};

// Values that encode their place: each channel a different mix of x and y,
// spread over the whole 16-bit range so that both bytes vary.
std::vector<std::uint16_t> Pattern(int width, int height, int channels)
{
    std::vector<std::uint16_t> values(static_cast<std::size_t>(width) * height * channels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                values[(static_cast<std::size_t>(y) * width + x) * channels + c] = static_cast<std::uint16_t>(
                    x * 4099 + y * 257 * (c + 1) + c * 12345);
    return values;
}

PictureHeader PngHeader(int width, int height, int channels, OIIO::TypeDesc type)
{
    PictureHeader header(width, height, channels, type);
    if (channels == 2) {
        header.channelnames = {"Y", "A"};
        header.alpha_channel = 1;
    }
    header.attribute("oiio:UnassociatedAlpha", 1);
    header.attribute("png:compressionLevel", 1);
    header.attribute("png:filter", 16);
    return header;
}

Bytes LibraryPng(const PictureHeader& header, const std::vector<std::uint16_t>& values)
{
    Bytes file;
    auto output = OIIO::ImageOutput::create("png");
    EncodeInMemory(*output, "library.png", {EncodedPicture{header, values.data()}},
                   [&](const unsigned char* bytes, std::size_t size) { file.assign(bytes, bytes + size); });
    return file;
}

Bytes DirectPngOf(const PictureHeader& header, const std::vector<std::uint16_t>& values)
{
    Bytes file;
    const bool encoded = EncodePngDirectly(
        header, values.data(), static_cast<std::size_t>(header.nchannels),
        [&](const unsigned char* bytes, std::size_t size) { file.assign(bytes, bytes + size); });
    EXPECT_TRUE(encoded) << LibraryHeaderOf(header).serialize(OIIO::ImageSpec::SerialText);
    return file;
}

// Every chunk but the pixel data, whole (length, type, data, CRC).
std::vector<std::string> ChunksBesidePixels(const Bytes& file)
{
    const std::string bytes(file.begin(), file.end());
    std::vector<std::string> kept;
    for (const PngChunk& chunk : PngChunksOf(bytes))
        if (chunk.type != "IDAT")
            kept.emplace_back(reinterpret_cast<const char*>(chunk.data) - 8, chunk.size + 12);
    return kept;
}

// The header and 16-bit values the library's reader gives for a file.
struct LibraryRead {
    std::string header;
    std::vector<std::uint16_t> values;
};

LibraryRead ReadWithLibrary(const std::string& path)
{
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(path, &config);
    EXPECT_TRUE(input) << OIIO::geterror();
    LibraryRead read;
    read.header = input->spec().serialize(OIIO::ImageSpec::SerialText, OIIO::ImageSpec::SerialDetailed);
    read.values.resize(input->spec().image_pixels() * input->spec().nchannels);
    EXPECT_TRUE(input->read_image(0, 0, 0, input->spec().nchannels, OIIO::TypeDesc::UINT16, read.values.data()));
    return read;
}

// The file's pixels as the direct reader fills a frame, and the library's
// values spread into a frame the same way.
void ExpectReadAsLibrary(const std::string& path)
{
    const std::optional<DirectPngReader> reader = DirectPngReader::Open(path, RegularFileSize(path));
    ASSERT_TRUE(reader) << path;
    const LibraryRead library = ReadWithLibrary(path);
    EXPECT_EQ(LibraryHeaderOf(reader->Header()).serialize(OIIO::ImageSpec::SerialText, OIIO::ImageSpec::SerialDetailed),
              library.header);
    const PictureHeader& header = reader->Header();
    const ChannelPlan plan = ChannelPlan::For(header);
    Frame direct = Frame::Make(static_cast<std::uint16_t>(header.width), static_cast<std::uint16_t>(header.height));
    ASSERT_TRUE(reader->ReadPixels(plan, direct)) << path;
    Frame expected = Frame::Make(direct.Width(), direct.Height());
    plan.Spread(library.values.data(), header.nchannels, expected.pixels, expected.PixelCount());
    for (std::size_t i = 0; i < direct.PixelCount(); ++i) {
        const BMM_Color_64 &a = direct.pixels[i], &b = expected.pixels[i];
        ASSERT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a) << path << " pixel " << i;
    }
}

// A copy of `file` with the chunk of `type` changed by `change` (its CRC
// made right again), or with a chunk inserted before it.
Bytes Rechunked(const Bytes& file, const std::string& type, const std::function<void(Bytes&)>& change,
                const std::string& inserted = "", const Bytes& insertedData = {})
{
    const std::string bytes(file.begin(), file.end());
    Bytes out(kPngSignature, kPngSignature + sizeof kPngSignature);
    for (const PngChunk& chunk : PngChunksOf(bytes)) {
        Bytes data(chunk.data, chunk.data + chunk.size);
        if (chunk.type == type) {
            if (!inserted.empty())
                AppendPngChunk(out, inserted.c_str(), insertedData.data(), insertedData.size());
            if (change)
                change(data);
        }
        AppendPngChunk(out, chunk.type.c_str(), data.data(), data.size());
    }
    return out;
}

Bytes Text(const std::string& key, const std::string& text)
{
    Bytes data(key.begin(), key.end());
    data.push_back(0);
    data.insert(data.end(), text.begin(), text.end());
    return data;
}

}  // namespace

// Each kind read directly: grey, grey with alpha, RGB and RGBA in 8 and 16
// bits, odd sizes down to one pixel and up to several bands of rows in
// many chunks, offsets and text (renamed as the library renames it),
// written by the library's own writer.
TEST_F(DirectPng, ReadsWhatTheLibraryReads)
{
    int n = 0;
    for (int channels = 1; channels <= 4; ++channels)
        for (const OIIO::TypeDesc type : {OIIO::TypeDesc::UINT8, OIIO::TypeDesc::UINT16})
            for (const auto& [width, height] : {std::pair{1, 1}, std::pair{37, 5}, std::pair{300, 150}}) {
                PictureHeader header = PngHeader(width, height, channels, type);
                header.x = -3;
                header.y = 70000;
                header.attribute("oiio:ColorSpace", "sRGB");
                header.attribute("ImageDescription", "a test");
                header.attribute("Artist", "Ö. Someone");
                header.attribute("Exif:ImageHistory", "made");
                const std::string path = Save("in" + std::to_string(n++) + ".png",
                                              LibraryPng(header, Pattern(width, height, channels)));
                ExpectReadAsLibrary(path);
            }
}

// Files of other kinds, and anything unusual in a file of the kinds read
// directly, go to the library's reader, which accepts or refuses them as
// it always did.
TEST_F(DirectPng, LeavesOtherFilesToTheLibrary)
{
    const Bytes plain = LibraryPng(PngHeader(8, 4, 3, OIIO::TypeDesc::UINT8), Pattern(8, 4, 3));
    const auto interlaced = [](Bytes& ihdr) { ihdr[12] = 1; };
    const auto twoBits = [](Bytes& ihdr) { ihdr[8] = 2; };
    const auto cut = [](Bytes& data) { data.resize(data.size() / 2); };
    const auto damaged = [](Bytes& data) { data[data.size() / 2] ^= 0x55; };
    struct Case {
        const char* why;
        Bytes file;
        bool libraryReads;
    } cases[] = {
        {"interlaced", Rechunked(plain, "IHDR", interlaced), false},
        {"2-bit", Rechunked(plain, "IHDR", twoBits), false},
        {"gamma without sRGB", Rechunked(plain, "IDAT", nullptr, "gAMA", {0, 1, 0x86, 0xa0}), true},
        {"an ICC profile", Rechunked(plain, "IDAT", nullptr, "iCCP", Text("p", std::string(1, '\0') + "x")), true},
        {"Exif as text", Rechunked(plain, "IDAT", nullptr, "tEXt", Text("Raw profile type exif", "x")), true},
        {"text after the pixels", Rechunked(plain, "IEND", nullptr, "tEXt", Text("Comment", "late")), true},
        {"a private chunk", Rechunked(plain, "IDAT", nullptr, "prVt", {1, 2, 3}), true},
        {"pixel data cut short", Rechunked(plain, "IDAT", cut), false},
        {"damaged pixel data", Rechunked(plain, "IDAT", damaged), false},
        {"data after the pixel data", Rechunked(plain, "IEND", nullptr, "IDAT", {1, 2, 3}), true},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = Save("odd" + std::to_string(n++) + ".png", c.file);
        const std::optional<DirectPngReader> reader = DirectPngReader::Open(path, RegularFileSize(path));
        if (reader) {
            Frame frame = Frame::Make(8, 4);
            EXPECT_FALSE(reader->ReadPixels(ChannelPlan::For(reader->Header()), frame)) << c.why;
        }
        if (c.libraryReads) {
            const LoadedImage image = ReadImage(path);
            EXPECT_EQ(
                LibraryHeaderOf(image.header).serialize(OIIO::ImageSpec::SerialText, OIIO::ImageSpec::SerialDetailed),
                ReadWithLibrary(path).header)
                << c.why;
        } else {
            EXPECT_THROW(ReadImage(path), Failure) << c.why;
        }
    }
}

// The writer makes the library's chunks, byte for byte, around pixel data
// that decode to the same values, for each kind, both filters and levels,
// with text, an offset and the sRGB chunks; the file reads back directly.
TEST_F(DirectPng, WritesWhatTheLibraryWrites)
{
    int n = 0;
    for (int channels = 1; channels <= 4; ++channels)
        for (const OIIO::TypeDesc type : {OIIO::TypeDesc::UINT8, OIIO::TypeDesc::UINT16})
            for (const int level : {0, 1, 9}) {
                PictureHeader header = PngHeader(23, 7, channels, type);
                header.attribute("png:compressionLevel", level);
                header.attribute("png:filter", level == 0 ? 8 : 16);
                header.x = 5;
                header.y = -2;
                header.attribute("oiio:ColorSpace", n % 2 ? "sRGB" : "srgb");
                header.attribute("DocumentName", "shot");
                header.attribute("Exif:ExposureTime", 0.5f);  // not a string: neither writer keeps it
                header.attribute("DateTime", "");
                header.attribute("Software", "veldra");
                const std::vector<std::uint16_t> values = Pattern(23, 7, channels);
                const Bytes library = LibraryPng(header, values);
                const Bytes direct = DirectPngOf(header, values);
                EXPECT_EQ(ChunksBesidePixels(direct), ChunksBesidePixels(library)) << channels << " " << level;
                const std::string tag = std::to_string(n++);
                const LibraryRead ours = ReadWithLibrary(Save("direct" + tag + ".png", direct));
                const LibraryRead theirs = ReadWithLibrary(Save("library" + tag + ".png", library));
                EXPECT_EQ(ours.header, theirs.header);
                EXPECT_EQ(ours.values, theirs.values);
                ExpectReadAsLibrary(Path("direct" + tag + ".png"));
            }
}

// A header asking for what only the library's writer does is refused,
// delivering nothing, so that the library writes it.
TEST_F(DirectPng, LeavesOtherHeadersToTheLibrary)
{
    const std::vector<std::uint16_t> values = Pattern(4, 4, 4);
    const std::vector<std::pair<const char*, std::function<void(PictureHeader&)>>> cases = {
        {"associated alpha", [](PictureHeader& h) { h.attribute("oiio:UnassociatedAlpha", 0); }},
        {"an ICC profile",
         [](PictureHeader& h) {
             const unsigned char profile[4] = {1, 2, 3, 4};
             h.attribute("ICCProfile", OIIO::TypeDesc(OIIO::TypeDesc::UINT8, 4), profile);
         }},
        {"a resolution", [](PictureHeader& h) { h.attribute("XResolution", 72.0f); }},
        {"a date", [](PictureHeader& h) { h.attribute("DateTime", "2020:01:02 03:04:05"); }},
        {"a linear colour space", [](PictureHeader& h) { h.attribute("oiio:ColorSpace", "linear"); }},
        {"another spelling of a renamed field", [](PictureHeader& h) { h.attribute("artist", "me"); }},
        {"the library's own filter choice", [](PictureHeader& h) { h.extra_attribs.remove("png:filter"); }},
        {"half values", [](PictureHeader& h) { h.format = OIIO::TypeDesc::HALF; }},
    };
    for (const auto& [why, change] : cases) {
        PictureHeader header = PngHeader(4, 4, 4, OIIO::TypeDesc::UINT16);
        change(header);
        bool delivered = false;
        EXPECT_FALSE(EncodePngDirectly(header, values.data(), 4, [&](const unsigned char*, std::size_t) {
            delivered = true;
        })) << why;
        EXPECT_FALSE(delivered) << why;
    }
}

// Other programs read the files as written: ffmpeg decodes each kind to
// the values written.
TEST_F(DirectPng, FfmpegReadsTheFiles)
{
    const struct {
        int channels;
        OIIO::TypeDesc type;
        const char* ffmpegFormat;
    } kinds[] = {{1, OIIO::TypeDesc::UINT8, "gray"},
                 {2, OIIO::TypeDesc::UINT16, "ya16le"},
                 {3, OIIO::TypeDesc::UINT8, "rgb24"},
                 {4, OIIO::TypeDesc::UINT16, "rgba64le"}};
    for (const auto& kind : kinds) {
        const PictureHeader header = PngHeader(31, 9, kind.channels, kind.type);
        const std::vector<std::uint16_t> values = Pattern(31, 9, kind.channels);
        const std::string path = Save(std::string(kind.ffmpegFormat) + ".png", DirectPngOf(header, values));
        const std::string command = "ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt " + kind.ffmpegFormat +
                                    " -";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        Bytes decoded;
        unsigned char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            decoded.insert(decoded.end(), buffer, buffer + got);
        ASSERT_EQ(pclose(pipe), 0) << command << " (is ffmpeg installed? scripts/install-deps.sh)";
        const bool sixteen = kind.type == OIIO::TypeDesc::UINT16;
        ASSERT_EQ(decoded.size(), values.size() * (sixteen ? 2 : 1)) << kind.ffmpegFormat;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const unsigned value = sixteen ? decoded[2 * i] | (decoded[2 * i + 1] << 8) : decoded[i];
            ASSERT_EQ(value, sixteen ? values[i] : EightBitsOf(values[i])) << kind.ffmpegFormat << " value " << i;
        }
    }
}

// 8-bit files hold every 16-bit value as the library rounds it.
TEST(DirectPngValues, EightBitsRoundAsTheLibraryRounds)
{
    std::vector<std::uint16_t> all(65536);
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<std::uint16_t>(i);
    std::vector<std::uint8_t> library(all.size());
    ASSERT_TRUE(OIIO::convert_pixel_values(OIIO::TypeDesc::UINT16, all.data(), OIIO::TypeDesc::UINT8, library.data(),
                                           static_cast<int>(all.size())));
    for (std::size_t i = 0; i < all.size(); ++i)
        ASSERT_EQ(EightBitsOf(all[i]), library[i]) << i;
}
