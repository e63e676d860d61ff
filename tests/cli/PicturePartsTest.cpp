// Every part of a picture file and every channel of a part goes through the
// turn: OpenEXR parts and TIFF pages part by part, channels beyond colour
// and alpha (depth, normals, IDs) in groups through the same filter; what
// veldra cannot carry is refused by name.
#include <gtest/gtest.h>

#include <OpenImageIO/half.h>
#include <OpenImageIO/imageio.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "CliHarness.h"
#include "filter/RotationParams.h"

namespace {

// A channel: its name, its format in the file, and its value at (x, y).
struct TestChannel {
    std::string name;
    OIIO::TypeDesc type;
    std::function<double(int x, int y)> value;
};

struct TestPart {
    std::string name;
    int width, height, x = 0, y = 0;
    std::vector<TestChannel> channels;
    int alpha = -1;
};

OIIO::ImageSpec HeaderOf(const TestPart& part)
{
    OIIO::ImageSpec header(part.width, part.height, static_cast<int>(part.channels.size()), OIIO::TypeDesc::HALF);
    header.x = part.x;
    header.y = part.y;
    // The parts of one file share a display window.
    header.full_width = 44;
    header.full_height = 36;
    header.channelnames.clear();
    header.channelformats.clear();
    bool mixed = false;
    for (const TestChannel& channel : part.channels) {
        header.channelnames.push_back(channel.name);
        header.channelformats.push_back(channel.type);
        mixed = mixed || channel.type != part.channels[0].type;
    }
    // One format for every channel, where the file (TIFF) holds no other.
    header.format = part.channels[0].type;
    if (!mixed)
        header.channelformats.clear();
    header.alpha_channel = part.alpha;
    header.attribute("name", part.name);
    header.attribute("shot", "sq010_" + part.name);
    return header;
}

// The part's pixels, each channel in its own format.
std::vector<unsigned char> PixelsOf(const TestPart& part, const OIIO::ImageSpec& header)
{
    std::vector<unsigned char> pixels(header.image_bytes(true));
    unsigned char* at = pixels.data();
    for (int y = 0; y < part.height; ++y)
        for (int x = 0; x < part.width; ++x)
            for (const TestChannel& channel : part.channels) {
                const double value = channel.value(x, y);
                if (channel.type == OIIO::TypeDesc::HALF) {
                    const half h(static_cast<float>(value));
                    std::memcpy(at, &h, 2);
                } else if (channel.type == OIIO::TypeDesc::UINT16) {
                    const std::uint16_t u = static_cast<std::uint16_t>(value);
                    std::memcpy(at, &u, 2);
                } else if (channel.type == OIIO::TypeDesc::FLOAT) {
                    const float f = static_cast<float>(value);
                    std::memcpy(at, &f, 4);
                } else {
                    const std::uint32_t u = static_cast<std::uint32_t>(value);
                    std::memcpy(at, &u, 4);
                }
                at += channel.type.size();
            }
    return pixels;
}

void WriteParts(const std::string& path, const std::vector<TestPart>& parts)
{
    std::vector<OIIO::ImageSpec> headers;
    for (const TestPart& part : parts)
        headers.push_back(HeaderOf(part));
    auto output = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(output && output->open(path, static_cast<int>(headers.size()), headers.data()))
        << path << ": " << (output ? output->geterror() : "");
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            ASSERT_TRUE(output->open(path, headers[i], OIIO::ImageOutput::AppendSubimage)) << path;
        }
        ASSERT_TRUE(output->write_image(OIIO::TypeUnknown, PixelsOf(parts[i], headers[i]).data())) << path;
    }
    ASSERT_TRUE(output->close()) << path;
}

// Picture `subimage` of a file: its header and its pixels as stored.
struct StoredPicture {
    OIIO::ImageSpec header;
    std::vector<unsigned char> pixels;
};

StoredPicture ReadStored(const std::string& path, int subimage)
{
    StoredPicture picture;
    auto input = OIIO::ImageInput::open(path);
    EXPECT_TRUE(input && input->seek_subimage(subimage, 0)) << path << " " << subimage;
    if (!input)
        return picture;
    picture.header = input->spec();
    picture.pixels.resize(picture.header.image_bytes(true));
    EXPECT_TRUE(input->read_image(subimage, 0, 0, picture.header.nchannels, OIIO::TypeUnknown, picture.pixels.data()));
    return picture;
}

// The channel named `name` of a picture file's first picture, as floats.
std::vector<float> ChannelValues(const std::string& path, const std::string& name)
{
    auto input = OIIO::ImageInput::open(path);
    EXPECT_TRUE(input) << path;
    const OIIO::ImageSpec header = input->spec();
    const int channel = header.channelindex(name);
    EXPECT_GE(channel, 0) << path << " has no channel " << name;
    std::vector<float> values(static_cast<std::size_t>(header.width) * header.height);
    EXPECT_TRUE(input->read_image(0, 0, channel, channel + 1, OIIO::TypeDesc::FLOAT, values.data()));
    return values;
}

void WriteBlock(const std::string& path, const RotationParams& params)
{
    std::string bytes(sizeof params, '\0');
    std::memcpy(&bytes[0], &params, sizeof params);
    WriteBytes(path, bytes);
}

std::vector<TestPart> TwoParts()
{
    const auto colour = [](int k) {
        return [k](int x, int y) { return std::fmod((x * 0.031 + y * 0.017) * (k + 1), 1.0); };
    };
    TestPart beauty{"beauty", 37, 23, 3, 2, {}, 3};
    beauty.channels = {{"R", OIIO::TypeDesc::HALF, colour(0)},
                       {"G", OIIO::TypeDesc::HALF, colour(1)},
                       {"B", OIIO::TypeDesc::HALF, colour(2)},
                       {"A", OIIO::TypeDesc::HALF, [](int x, int y) { return (x + y) % 4 == 0 ? 0.0 : 0.75; }},
                       // Depth far beyond 0..1.
                       {"Z", OIIO::TypeDesc::FLOAT, [](int x, int y) { return 100.0 + x * 13 + y * 7; }}};
    TestPart passes{"passes", 29, 31, 0, 0, {}, -1};
    passes.channels = {{"R", OIIO::TypeDesc::HALF, colour(2)},
                       {"G", OIIO::TypeDesc::HALF, colour(0)},
                       {"B", OIIO::TypeDesc::HALF, colour(1)},
                       // Normals, -1..1; IDs, whole numbers up to 40000.
                       {"N.x", OIIO::TypeDesc::HALF, [](int x, int) { return std::sin(x / 5.0); }},
                       {"N.y", OIIO::TypeDesc::HALF, [](int, int y) { return std::cos(y / 4.0); }},
                       {"N.z", OIIO::TypeDesc::HALF, [](int x, int y) { return (x - y) / 70.0; }},
                       {"id", OIIO::TypeDesc::UINT32, [](int x, int y) { return (x / 8) * 10000 + (y / 10); }}};
    return {beauty, passes};
}

}  // namespace

// A file of two parts, with windows, metadata and channels of their own
// formats, turns into a file of the same two parts, each exactly the part
// turned alone, with its name, channel list, formats, windows and
// metadata.
TEST(PictureParts, EveryPartTurnsAsThatPartAlone)
{
    const std::string folder = ScratchFolder("parts");
    const std::vector<TestPart> parts = TwoParts();
    WriteParts(folder + "/two.exr", parts);
    WriteParts(folder + "/beauty.exr", {parts[0]});
    WriteParts(folder + "/passes.exr", {parts[1]});
    const std::string turn = " -a y -p upper -e 50 --frame 6 --range 0-10 -q";
    for (const std::string name : {"two", "beauty", "passes"}) {
        const RunResult run = RunVeldra(folder, "render " + name + ".exr out-" + name + ".exr" + turn);
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.output;
    }
    for (int part = 0; part < 2; ++part) {
        const StoredPicture together = ReadStored(folder + "/out-two.exr", part);
        const StoredPicture alone = ReadStored(folder + "/out-" + parts[part].name + ".exr", 0);
        EXPECT_EQ(together.pixels, alone.pixels) << parts[part].name;
        const OIIO::ImageSpec& header = together.header;
        EXPECT_EQ(header.get_string_attribute("name"), parts[part].name);
        EXPECT_EQ(header.get_string_attribute("shot"), "sq010_" + parts[part].name);
        EXPECT_EQ(header.x, parts[part].x);
        EXPECT_EQ(header.full_width, 44);
        // The turn leaves transparency, so a part without alpha gets one.
        EXPECT_EQ(header.nchannels, static_cast<int>(parts[part].channels.size()) + (parts[part].alpha < 0 ? 1 : 0));
        for (const TestChannel& channel : parts[part].channels) {
            const int index = header.channelindex(channel.name);
            ASSERT_GE(index, 0) << parts[part].name << " has no " << channel.name;
            EXPECT_EQ(header.channelformat(index), channel.type) << channel.name;
        }
    }
    // Where the turn leaves the frame, data channels hold 0, not the
    // bottom of their range.
    const std::vector<float> depth = ChannelValues(folder + "/out-beauty.exr", "Z");
    EXPECT_EQ(depth[0], 0.0f);
    EXPECT_GT(depth[depth.size() / 2 + 18], 100.0f);

    // One picture a file: no part is dropped without a word.
    RunResult run = RunVeldra(folder, "render two.exr out.png" + turn);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(OneLineNaming(run, "out.png: png holds one picture a file; the input holds 2 (parts or pages)"))
        << run.output;
    EXPECT_FALSE(Exists(folder + "/out.png"));
    run = RunVeldra(folder, "render passes.exr passes.png" + turn);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output,
                    "veldra: warning: passes.png: channels id, N.x, N.y, N.z are not written: png holds "
                    "colour and alpha only"))
        << run.output;
}

// Data channels turn as the same values turned as a grey picture; passed
// through unturned (an axis the filter does not know), depth, normals and
// IDs come back as they were: IDs exactly, the others within a step of
// the 16-bit scale their range is spread over.
TEST(PictureParts, DataChannelsTurnAsAGreyPictureAndKeepTheirValues)
{
    const std::string folder = ScratchFolder("data-channels");
    const auto mask = [](int x, int y) { return std::fmod(x * 0.043 + y * 0.029, 1.0); };
    TestPart withData{"rgba", 41, 27, 0, 0, {}, 3};
    withData.channels = {{"R", OIIO::TypeDesc::HALF, [](int x, int) { return x / 41.0; }},
                         {"G", OIIO::TypeDesc::HALF, [](int, int y) { return y / 27.0; }},
                         {"B", OIIO::TypeDesc::HALF, [](int, int) { return 0.5; }},
                         {"A", OIIO::TypeDesc::HALF, [](int x, int) { return x % 3 ? 1.0 : 0.5; }},
                         {"matte.Y", OIIO::TypeDesc::HALF, mask}};
    TestPart grey{"grey", 41, 27, 0, 0, {{"Y", OIIO::TypeDesc::HALF, mask}}, -1};
    WriteParts(folder + "/data.exr", {withData});
    WriteParts(folder + "/grey.exr", {grey});
    for (const std::string name : {"data", "grey"}) {
        const RunResult run = RunVeldra(folder, "render " + name + ".exr out-" + name + ".exr -a z -e 35 -q");
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.output;
    }
    EXPECT_EQ(ChannelValues(folder + "/out-data.exr", "matte.Y"), ChannelValues(folder + "/out-grey.exr", "Y"));

    WriteBlock(folder + "/pass.bin", {VELDRA_TAG, 0, PivotCenter, 0.0f, 0.0f});
    const std::vector<TestPart> parts = TwoParts();
    WriteParts(folder + "/passes.exr", {parts[1]});
    WriteParts(folder + "/beauty.exr", {parts[0]});
    for (const TestPart& part : parts) {
        const RunResult run = RunVeldra(folder,
                                        "render " + part.name + ".exr same-" + part.name + ".exr --params pass.bin -q");
        ASSERT_EQ(run.exitCode, 0) << run.output;
        for (int c = 3; c < static_cast<int>(part.channels.size()); ++c) {
            if (c == part.alpha)
                continue;
            const std::vector<float> values = ChannelValues(folder + "/same-" + part.name + ".exr",
                                                            part.channels[c].name);
            double least = 0, most = 1;
            for (int y = 0; y < part.height; ++y)
                for (int x = 0; x < part.width; ++x) {
                    least = std::min(least, part.channels[c].value(x, y));
                    most = std::max(most, part.channels[c].value(x, y));
                }
            const bool ids = part.channels[c].type == OIIO::TypeDesc::UINT32;
            const double step = (most - least) / 65535;
            for (int y = 0; y < part.height; ++y)
                for (int x = 0; x < part.width; ++x) {
                    const double stored = part.channels[c].type == OIIO::TypeDesc::HALF
                                              ? double(half(float(part.channels[c].value(x, y))))
                                              : part.channels[c].value(x, y);
                    const double got = values[static_cast<std::size_t>(y) * part.width + x];
                    if (ids) {
                        // Read as floats, IDs are scaled by the library:
                        // compared as the whole numbers they were.
                        EXPECT_EQ(std::llround(got * 4294967295.0), std::llround(stored)) << part.channels[c].name;
                    } else {
                        EXPECT_NEAR(got, stored, step * 0.5 + std::abs(stored) * 1e-3) << part.channels[c].name;
                    }
                }
        }
    }
}

// A TIFF's pages turn page by page into a TIFF of the same pages.
TEST(PictureParts, TiffPagesTurnPageByPage)
{
    const std::string folder = ScratchFolder("pages");
    const auto channel = [](const char* name, int k) {
        return TestChannel{name, OIIO::TypeDesc::UINT16,
                           [k](int x, int y) { return (x * 2053 + y * 3001 * k) % 65536; }};
    };
    const std::vector<TestPart> pages = {
        {"first", 30, 20, 0, 0, {channel("R", 1), channel("G", 2), channel("B", 3), channel("A", 4)}, 3},
        {"second", 17, 26, 0, 0, {channel("R", 5), channel("G", 6), channel("B", 7)}, -1}};
    WriteParts(folder + "/pages.tif", pages);
    WriteParts(folder + "/first.tif", {pages[0]});
    WriteParts(folder + "/second.tif", {pages[1]});
    for (const std::string name : {"pages", "first", "second"}) {
        const RunResult run = RunVeldra(folder, "render " + name + ".tif out-" + name +
                                                    ".tif -a x -e 40 --frame 1 "
                                                    "--range 0-1 -q");
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.output;
    }
    EXPECT_EQ(ReadStored(folder + "/out-pages.tif", 0).pixels, ReadStored(folder + "/out-first.tif", 0).pixels);
    EXPECT_EQ(ReadStored(folder + "/out-pages.tif", 1).pixels, ReadStored(folder + "/out-second.tif", 0).pixels);
    EXPECT_EQ(ReadStored(folder + "/out-pages.tif", 1).header.width, 17);
}

// What a frame cannot carry, a deep picture or MIP-map levels beyond the
// first, is refused by name and nothing is written.
TEST(PictureParts, DeepAndMipMappedPicturesAreRefusedByName)
{
    const std::string folder = ScratchFolder("not-carried");
    RunResult make = RunInShell(folder,
                                "oiiotool --pattern constant:color=0.5,0.5,0.5,1,0.25 8x8 5 "
                                "--chnames R,G,B,A,Z --deepen -o deep.exr && "
                                "oiiotool --pattern checker 16x16 3 -otex mip.exr");
    ASSERT_EQ(make.exitCode, 0) << make.output;
    RunResult run = RunVeldra(folder, "render deep.exr out.exr");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(OneLineNaming(run, "deep.exr: a deep picture")) << run.output;
    run = RunVeldra(folder, "render mip.exr out.exr");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(OneLineNaming(run, "mip.exr: holds 5 MIP-map levels")) << run.output;
    EXPECT_FALSE(Exists(folder + "/out.exr"));
}
