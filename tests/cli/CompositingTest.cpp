// `veldra render` for compositing work: alpha carried through the turn,
// depth, windows and metadata kept, frames listed before they are written,
// and the warnings that say what the filter does to a picture.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include <algorithm>

#include "CliHarness.h"

namespace {

std::size_t Occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Transparent, opaque and partly transparent areas, with colour under the
// transparent ones, the values made from the coordinates.
Picture PlatePicture(int width, int height)
{
    Picture picture{width, height, 4, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint16_t alpha = x < width / 3       ? 0
                                        : x < 2 * width / 3 ? static_cast<std::uint16_t>(y * 3001 + x * 7)
                                                            : 65535;
            // A few rows where premultiplying lands exactly on a half, so
            // that the rounding shows.
            if (alpha != 0 && alpha != 65535 && y < 3) {
                picture.values.insert(picture.values.end(), {32768, 32768, 32768, 65534});
                continue;
            }
            picture.values.insert(picture.values.end(),
                                  {static_cast<std::uint16_t>(x * 2053 + 11), static_cast<std::uint16_t>(y * 3001 + 5),
                                   static_cast<std::uint16_t>((x * 7919 + y * 104729) & 0xFFFF), alpha});
        }
    }
    return picture;
}

// A picture through the formula's two passes, each made here by hand.
void WritePasses(const Picture& plate, const std::string& colourPath, const std::string& alphaPath)
{
    Picture colour = plate, alpha = plate;
    for (std::size_t i = 0; i < plate.values.size(); i += 4) {
        const std::uint32_t a = plate.values[i + 3];
        for (int c = 0; c < 3; ++c) {
            colour.values[i + c] = static_cast<std::uint16_t>((plate.values[i + c] * a + 32767) / 65535);
            alpha.values[i + c] = static_cast<std::uint16_t>(a);
        }
        colour.values[i + 3] = alpha.values[i + 3] = 65535;
    }
    WritePicture(colourPath, colour);
    WritePicture(alphaPath, alpha);
}

// The two passes joined per pixel; straight colour is divided by the
// turned alpha, premultiplied colour stays as the colour pass made it.
std::vector<std::uint16_t> Joined(const Picture& colourPass, const Picture& alphaPass, bool premultiplied = false)
{
    std::vector<std::uint16_t> joined(colourPass.values.size());
    for (std::size_t i = 0; i < joined.size(); i += 4) {
        const std::uint64_t a = alphaPass.values[i + 3] == 65535 ? alphaPass.values[i] : 0;
        for (int c = 0; c < 3; ++c)
            joined[i + c] = a == 0          ? 0
                            : premultiplied ? colourPass.values[i + c]
                                            : static_cast<std::uint16_t>(std::min<std::uint64_t>(
                                                  65535, (colourPass.values[i + c] * 65535ull + a / 2) / a));
        joined[i + 3] = static_cast<std::uint16_t>(a);
    }
    return joined;
}

}  // namespace

// --alpha keep is the filter run on the premultiplied picture and on the
// alpha as grey, joined per pixel: checked against the two passes run
// through the plain filter, for a turn that leaves partly covered pixels
// and for 0 degrees, which still softens.
TEST(Compositing, AlphaKeepIsTheTwoPassFormulaExactly)
{
    const std::string folder = ScratchFolder("alpha-keep");
    const Picture plate = PlatePicture(45, 31);
    WritePicture(folder + "/plate.png", plate);
    WritePasses(plate, folder + "/colour.png", folder + "/alpha.png");
    for (const std::string turn : {"--axis z --pivot lower --start 17 --end 17", "--axis y --start 0 --end 0",
                                   "--axis x --pivot upper --start 50 --end 50"}) {
        for (const char* name : {"plate", "colour", "alpha"}) {
            const std::string keep = std::string(name) == "plate" ? " --alpha keep" : "";
            const RunResult run = RunVeldra(
                folder, std::string("render ") + name + ".png " + name + "-out.png -q " + turn + keep);
            ASSERT_EQ(run.exitCode, 0) << run.output;
        }
        const Picture kept = ReadPicture(folder + "/plate-out.png");
        const std::vector<std::uint16_t> expected = Joined(ReadPicture(folder + "/colour-out.png"),
                                                           ReadPicture(folder + "/alpha-out.png"));
        EXPECT_EQ(kept.values, expected) << turn;
        // The plate's three kinds of area all survive the turn.
        std::size_t clear = 0, partial = 0, solid = 0;
        for (std::size_t i = 3; i < kept.values.size(); i += 4)
            (kept.values[i] == 0 ? clear : kept.values[i] == 65535 ? solid : partial)++;
        EXPECT_GT(clear, 0u) << turn;
        EXPECT_GT(partial, 0u) << turn;
        EXPECT_GT(solid, 0u) << turn;
    }
}

// A file whose colour is premultiplied (associated alpha) is turned as it
// is, not premultiplied a second time, and comes out premultiplied by the
// turned alpha, labelled so.
TEST(Compositing, AlphaKeepTurnsPremultipliedColourAsItIs)
{
    const std::string folder = ScratchFolder("alpha-keep-associated");
    const Picture plate = PlatePicture(45, 31);
    WritePasses(plate, folder + "/colour.png", folder + "/alpha.png");
    Picture associated = ReadPicture(folder + "/colour.png");
    for (std::size_t i = 3; i < associated.values.size(); i += 4)
        associated.values[i] = plate.values[i];
    OIIO::ImageSpec header(associated.width, associated.height, 4, OIIO::TypeDesc::UINT16);
    auto output = OIIO::ImageOutput::create(folder + "/plate.tif");
    ASSERT_TRUE(output && output->open(folder + "/plate.tif", header) &&
                output->write_image(OIIO::TypeDesc::UINT16, associated.values.data()) && output->close());

    const std::string turn = " -q --axis z --pivot lower --start 17 --end 17";
    ASSERT_EQ(RunVeldra(folder, "render plate.tif plate-out.tif --alpha keep" + turn).exitCode, 0);
    for (const char* name : {"colour", "alpha"})
        ASSERT_EQ(RunVeldra(folder, std::string("render ") + name + ".png " + name + "-out.png" + turn).exitCode, 0);
    EXPECT_EQ(ReadPicture(folder + "/plate-out.tif").values,
              Joined(ReadPicture(folder + "/colour-out.png"), ReadPicture(folder + "/alpha-out.png"), true));
    auto input = OIIO::ImageInput::open(folder + "/plate-out.tif");
    ASSERT_TRUE(input);
    EXPECT_EQ(input->spec().get_int_attribute("oiio:UnassociatedAlpha"), 0) << "labelled straight";

    // EXR colour is premultiplied by the format's own rule: the same values
    // as floats turn alike and stay premultiplied, neither divided by the
    // turned alpha nor multiplied by it again.
    std::vector<float> floats(associated.values.begin(), associated.values.end());
    for (float& value : floats)
        value /= 65535.0f;
    output = OIIO::ImageOutput::create(folder + "/plate.exr");
    const OIIO::ImageSpec floatHeader(associated.width, associated.height, 4, OIIO::TypeDesc::FLOAT);
    ASSERT_TRUE(output && output->open(folder + "/plate.exr", floatHeader) &&
                output->write_image(OIIO::TypeDesc::FLOAT, floats.data()) && output->close());
    const RunResult exr = RunVeldra(folder, "render plate.exr plate-out.exr --alpha keep" + turn);
    ASSERT_EQ(exr.exitCode, 0) << exr.output;
    EXPECT_EQ(ReadPictureAs16(folder + "/plate-out.exr").values, ReadPicture(folder + "/plate-out.tif").values);
    // Straight alpha into EXR (of floats, which hold every 16-bit value):
    // the colour is premultiplied on the way out.
    WritePicture(folder + "/straight.png", plate);
    for (const char* out : {"straight-out.png", "straight-out.exr -d float"})
        ASSERT_EQ(RunVeldra(folder, std::string("render straight.png ") + out + " --alpha keep" + turn).exitCode, 0);
    Picture premultiplied = ReadPicture(folder + "/straight-out.png");
    for (std::size_t i = 0; i < premultiplied.values.size(); i += 4)
        for (int c = 0; c < 3; ++c)
            premultiplied.values[i + c] = static_cast<std::uint16_t>(
                (std::uint32_t{premultiplied.values[i + c]} * premultiplied.values[i + 3] + 32767) / 65535);
    EXPECT_EQ(ReadPictureAs16(folder + "/straight-out.exr").values, premultiplied.values);
}

// Without --alpha the output is the filter's own, every covered pixel
// opaque, and a sequence with transparency says so once, not per frame.
TEST(Compositing, DefaultKeepsTheFilterOutputAndWarnsOnce)
{
    const std::string folder = ScratchFolder("alpha-default");
    const Picture plate = PlatePicture(20, 12);
    for (const char* name : {"in.0001.png", "in.0002.png", "in.0003.png"})
        WritePicture(folder + "/" + name, plate);
    const RunResult run = RunVeldra(folder, "render in.####.png out.####.png -q -j 2 --axis z --start 0 --end 0");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(Occurrences(run.output, "--alpha keep"), 1u) << run.output;
    const Picture out = ReadPicture(folder + "/out.0002.png");
    for (std::size_t i = 3; i < out.values.size(); i += 4)
        ASSERT_TRUE(out.values[i] == 0 || out.values[i] == 65535) << "pixel " << i / 4;

    // An opaque picture has nothing to lose: no warning.
    WritePicture(folder + "/solid.png", Picture{2, 1, 3, {1, 2, 3, 4, 5, 6}});
    EXPECT_FALSE(Has(RunVeldra(folder, "render solid.png solid-out.png -q").output, "warning"));
}

// A dry run lists every frame's percent and angle and writes nothing; a
// run whose range holds a single frame says that the start angle applies.
TEST(Compositing, DryRunListsAnglesAndSingleFramesWarn)
{
    const std::string folder = ScratchFolder("dry-run");
    WritePicture(folder + "/frame.png", PlatePicture(8, 8));
    for (int frame = 0; frame <= 36; ++frame) {
        char name[32];
        std::snprintf(name, sizeof name, "/s.%04d.png", frame);
        WritePicture(folder + name, PlatePicture(4, 4));
    }
    const std::vector<std::string> before = FolderEntries(folder);

    RunResult run = RunVeldra(folder, "render s.####.png o.####.png -n --end 360 --save-params p.bin");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output, "frame 1  2%  7.2 deg  s.0001.png -> o.0001.png\n")) << run.output;
    EXPECT_TRUE(Has(run.output, "frame 2  5%  18 deg")) << run.output;
    EXPECT_TRUE(Has(run.output, "frame 36  100%  360 deg")) << run.output;
    EXPECT_EQ(Occurrences(run.output, "\nframe "), 36u);
    // A stepped list ends on its last step, so its last frame ends the
    // range the filter turns through.
    run = RunVeldra(folder, "render s.####.png o.####.png -n --end 360 -f 0-10x4");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output, "frame 4  50%  180 deg")) << run.output;
    EXPECT_TRUE(Has(run.output, "frame 8  100%  360 deg")) << run.output;
    EXPECT_EQ(Occurrences(run.output, "frame "), 3u) << run.output;

    run = RunVeldra(folder, "render frame.png frame.png --end 45 -n");
    EXPECT_TRUE(Has(run.output, "warning: the filter's range holds one frame")) << run.output;
    EXPECT_TRUE(Has(run.output, "--frame 0 --range A-B")) << run.output;
    run = RunVeldra(folder, "render frame.png frame.png --end 45 --frame 5 --range 0-10 -n");
    EXPECT_FALSE(Has(run.output, "warning")) << run.output;
    EXPECT_TRUE(Has(run.output, "frame 5  50%  22.5 deg")) << run.output;
    EXPECT_EQ(FolderEntries(folder), before);
}

void WriteFloatPicture(const std::string& path, OIIO::TypeDesc type, const std::vector<float>& rgba, int width)
{
    OIIO::ImageSpec header(width, static_cast<int>(rgba.size() / 4 / width), 4, type);
    auto output = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(output && output->open(path, header));
    ASSERT_TRUE(output->write_image(OIIO::TypeDesc::FLOAT, rgba.data()));
    output->close();
}

// Float pictures stay float and half stays half, with one word when values
// beyond 0..1 had to be clamped; 10-bit DPX stays 10-bit; -d chooses; a
// format without alpha says when transparency is dropped.
TEST(Compositing, ChannelFormatsAreKept)
{
    const std::string folder = ScratchFolder("depth");
    const std::vector<float> bright = {0.5f, 2.0f, -1.0f, 1.0f, 0.25f, 0.5f, 0.75f, 1.0f};
    WriteFloatPicture(folder + "/float.exr", OIIO::TypeDesc::FLOAT, bright, 2);
    WriteFloatPicture(folder + "/half.exr", OIIO::TypeDesc::HALF, {0.5f, 0.5f, 0.5f, 1.0f, 0, 0, 0, 1}, 2);
    RunResult run = RunVeldra(folder, "render float.exr float-out.exr -q");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(Occurrences(run.output, "clamped"), 1u) << run.output;
    EXPECT_EQ(ReadHeader(folder + "/float-out.exr").format, OIIO::TypeDesc::FLOAT);
    // Values read band by band: a bright value in the first band of a tall
    // picture is said too, not only one in the last.
    std::vector<float> tall(2 * 200 * 4, 0.5f);
    tall[0] = 3.0f;
    WriteFloatPicture(folder + "/tall.exr", OIIO::TypeDesc::FLOAT, tall, 2);
    run = RunVeldra(folder, "render tall.exr tall-out.exr -q");
    EXPECT_EQ(Occurrences(run.output, "clamped"), 1u) << run.output;
    run = RunVeldra(folder, "render half.exr half-out.exr -q");
    EXPECT_FALSE(Has(run.output, "clamped")) << run.output;
    EXPECT_EQ(ReadHeader(folder + "/half-out.exr").format, OIIO::TypeDesc::HALF);
    run = RunVeldra(folder, "render half.exr half-float.exr -q -d float");
    EXPECT_EQ(ReadHeader(folder + "/half-float.exr").format, OIIO::TypeDesc::FLOAT);

    OIIO::ImageSpec dpxHeader(6, 4, 3, OIIO::TypeDesc::UINT16);
    dpxHeader.attribute("oiio:BitsPerSample", 10);
    auto dpx = OIIO::ImageOutput::create(folder + "/ten.dpx");
    const std::vector<std::uint16_t> grey(6 * 4 * 3, 0x8000);
    ASSERT_TRUE(dpx->open(folder + "/ten.dpx", dpxHeader) && dpx->write_image(OIIO::TypeDesc::UINT16, grey.data()));
    dpx->close();
    ASSERT_EQ(RunVeldra(folder, "render ten.dpx ten-out.dpx -q").exitCode, 0);
    ASSERT_EQ(RunVeldra(folder, "render ten.dpx sixteen.dpx -q -d uint16").exitCode, 0);
    EXPECT_EQ(ReadHeader(folder + "/ten-out.dpx").get_int_attribute("oiio:BitsPerSample"), 10);
    EXPECT_EQ(ReadHeader(folder + "/sixteen.dpx").get_int_attribute("oiio:BitsPerSample"), 16);

    WritePicture(folder + "/plate.png", PlatePicture(12, 8));
    run = RunVeldra(folder, "render plate.png plate.jpg -q --alpha keep -d uint8");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output, "cannot hold alpha")) << run.output;
    EXPECT_EQ(ReadHeader(folder + "/plate.jpg").nchannels, 3);
    run = RunVeldra(folder, "render plate.png plate8.png -q -d uint8");
    EXPECT_EQ(ReadHeader(folder + "/plate8.png").format, OIIO::TypeDesc::UINT8);
}

// An opaque sequence comes out with one channel layout: a frame at 0 degrees
// leaves no gap, yet carries alpha like the turned frames after it, so
// that whatever reads the sequence next meets the same channels throughout.
// A single opaque picture left whole stays as it came.
TEST(Compositing, ASequenceHasOneChannelLayout)
{
    const std::string folder = ScratchFolder("layout");
    Picture colour{8, 6, 3, std::vector<std::uint16_t>(8 * 6 * 3, 40000)};
    Picture grey{8, 6, 1, std::vector<std::uint16_t>(8 * 6, 20000)};
    for (int frame = 1; frame <= 3; ++frame) {
        WritePicture(folder + "/rgb." + std::to_string(frame) + ".png", colour);
        WritePicture(folder + "/grey." + std::to_string(frame) + ".png", grey);
    }
    ASSERT_EQ(RunVeldra(folder, "render rgb.#.png out.#.png -q --end 90").exitCode, 0);
    ASSERT_EQ(RunVeldra(folder, "render grey.#.png g.#.png -q --end 90").exitCode, 0);
    for (int frame = 1; frame <= 3; ++frame) {
        EXPECT_EQ(ReadHeader(folder + "/out." + std::to_string(frame) + ".png").nchannels, 4) << frame;
        EXPECT_EQ(ReadHeader(folder + "/g." + std::to_string(frame) + ".png").nchannels, 2) << frame;
    }
    ASSERT_EQ(RunVeldra(folder, "render rgb.1.png still.png -q").exitCode, 0);
    EXPECT_EQ(ReadHeader(folder + "/still.png").nchannels, 3);

    // One frame of a pattern is placed in a range with -f, which is what
    // the warning then advises.
    const RunResult run = RunVeldra(folder, "render rgb.#.png out.#.png -n --end 90 -f 2");
    EXPECT_TRUE(Has(run.output, "give -f 2 --range A-B")) << run.output;
    EXPECT_EQ(RunVeldra(folder, "render rgb.#.png out.#.png -n --end 90 -f 2 --range 1-3").exitCode, 0);
}

// An EXR's data window keeps its place inside the display window, and the
// timecode, chromaticities and ICC profile travel with the picture.
TEST(Compositing, WindowsAndMetadataRoundTrip)
{
    const std::string folder = ScratchFolder("metadata");
    OIIO::ImageSpec header(64, 48, 4, OIIO::TypeDesc::HALF);
    header.x = 10;
    header.y = 20;
    header.full_x = 0;
    header.full_y = 0;
    header.full_width = 100;
    header.full_height = 80;
    const unsigned int timecode[2] = {0x01020304, 0};
    header.attribute("smpte:TimeCode", OIIO::TypeTimeCode, timecode);
    const float chromaticities[8] = {0.64f, 0.33f, 0.3f, 0.6f, 0.15f, 0.06f, 0.3127f, 0.329f};
    header.attribute("chromaticities", OIIO::TypeDesc(OIIO::TypeDesc::FLOAT, 8), chromaticities);
    header.attribute("Artist", "plate department");
    auto output = OIIO::ImageOutput::create(folder + "/plate.exr");
    const std::vector<float> pixels(64 * 48 * 4, 0.5f);
    ASSERT_TRUE(output->open(folder + "/plate.exr", header) &&
                output->write_image(OIIO::TypeDesc::FLOAT, pixels.data()));
    output->close();

    const RunResult run = RunVeldra(folder, "render plate.exr out.exr -q --axis z --end 10");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const OIIO::ImageSpec out = ReadHeader(folder + "/out.exr");
    EXPECT_EQ(out.x, 10);
    EXPECT_EQ(out.y, 20);
    EXPECT_EQ(out.width, 64);
    EXPECT_EQ(out.height, 48);
    EXPECT_EQ(out.full_width, 100);
    EXPECT_EQ(out.full_height, 80);
    EXPECT_EQ(out.get_string_attribute("Artist"), "plate department");
    const OIIO::ParamValue* kept = out.find_attribute("smpte:TimeCode");
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(static_cast<const unsigned int*>(kept->data())[0], timecode[0]);
    ASSERT_NE(out.find_attribute("chromaticities"), nullptr);
    EXPECT_EQ(static_cast<const float*>(out.find_attribute("chromaticities")->data())[6], 0.3127f);

    // TIFF carries an ICC profile.
    OIIO::ImageSpec tiffHeader(5, 5, 3, OIIO::TypeDesc::UINT16);
    const std::vector<unsigned char> profile(300, 7);
    tiffHeader.attribute("ICCProfile", OIIO::TypeDesc(OIIO::TypeDesc::UINT8, static_cast<int>(profile.size())),
                         profile.data());
    auto tiff = OIIO::ImageOutput::create(folder + "/plate.tif");
    const std::vector<std::uint16_t> grey(5 * 5 * 3, 1000);
    ASSERT_TRUE(tiff->open(folder + "/plate.tif", tiffHeader) &&
                tiff->write_image(OIIO::TypeDesc::UINT16, grey.data()));
    tiff->close();
    ASSERT_EQ(RunVeldra(folder, "render plate.tif out.tif -q").exitCode, 0);
    const OIIO::ImageSpec tiffOut = ReadHeader(folder + "/out.tif");
    const OIIO::ParamValue* icc = tiffOut.find_attribute("ICCProfile");
    ASSERT_NE(icc, nullptr);
    EXPECT_EQ(icc->type().size(), profile.size());
}

// Names as the field writes them: a file whose name holds '#' or '%' is
// the file named, and its output is not a pattern either; frame lists with
// steps; '@' runs and printf's space padding.
TEST(Compositing, PatternSpellings)
{
    const std::string folder = ScratchFolder("patterns");
    WritePicture(folder + "/take #2.png", PlatePicture(6, 6));
    WritePicture(folder + "/grade 50%.png", PlatePicture(6, 6));
    for (int frame = 1; frame <= 5; ++frame) {
        char name[32];
        std::snprintf(name, sizeof name, "/in.%04d.png", frame);
        WritePicture(folder + name, PlatePicture(6, 6));
        std::snprintf(name, sizeof name, "/sp.%3d.png", frame);
        WritePicture(folder + name, PlatePicture(6, 6));
    }
    const char* runs[] = {
        "render 'take #2.png' 'take #2 out.png' -q",
        "render 'grade 50%.png' 'grade 50% out.%04d.png' -q",
        "render in.@@@@.png 'step.#.png' -f 1-5x2 -q",
        "render 'sp.%3d.png' 'sp-out.%03d.png' -q",
    };
    for (const char* command : runs) {
        const RunResult run = RunVeldra(folder, command);
        EXPECT_EQ(run.exitCode, 0) << command << "\n" << run.output;
    }
    for (const char* name : {"take #2 out.png", "grade 50% out.%04d.png", "step.1.png", "step.3.png", "step.5.png",
                             "sp-out.001.png", "sp-out.005.png"})
        EXPECT_TRUE(Exists(folder + "/" + name)) << name;
    EXPECT_FALSE(Exists(folder + "/step.2.png"));

    // A range a billion frames wide is refused at its first missing frame
    // at once, without walking or holding the range.
    const RunResult wide = RunVeldra(folder, "render in.####.png out.####.png -f 1-1000000000 -q");
    EXPECT_NE(wide.exitCode, 0);
    EXPECT_TRUE(Has(wide.output, "in.0006.png: cannot open")) << wide.output;
}

// The conventions of the field's tools: --version, help per command, short
// options.
TEST(Compositing, VersionHelpAndShortOptions)
{
    const std::string folder = ScratchFolder("conventions");
    RunResult run = RunVeldra(folder, "--version");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Has(run.output, "veldra 1.")) << run.output;
    run = RunVeldra(folder, "render --help");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Has(run.output, "--alpha keep")) << run.output;
    run = RunVeldra(folder, "demo -h");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Has(run.output, "usage: veldra demo")) << run.output;
    WritePicture(folder + "/in.png", PlatePicture(6, 6));
    run = RunVeldra(folder, "render in.png out.png -j2 -q -a y -p upper -s 5 -e 5 -d uint8");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ReadHeader(folder + "/out.png").format, OIIO::TypeDesc::UINT8);
}
