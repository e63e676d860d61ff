// `veldra render` run as a user runs it: exact pixels, sequences split any
// way, parameter blocks, and a sequence that stops on a bad frame.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "CliHarness.h"
#include "filter/RotationParams.h"

namespace {

std::string Block(const RotationParams& params)
{
    std::string bytes(sizeof params, '\0');
    std::memcpy(&bytes[0], &params, sizeof params);
    return bytes;
}

void WriteSequence(const std::string& folder, int first, int last)
{
    for (int frame = first; frame <= last; ++frame) {
        char name[32];
        std::snprintf(name, sizeof name, "/in.%04d.png", frame);
        WritePicture(folder + name, CoordinatePicture(23, 17, frame));
    }
}

}  // namespace

// With an axis code the filter does not know, the frame passes through the
// module untouched: every channel must come back bit for bit, including the
// colour of fully transparent pixels, which premultiplying would lose.
TEST(RenderCommand, UnknownAxisGivesBackEveryChannelExactly)
{
    const std::string folder = ScratchFolder("exact");
    WriteBytes(folder + "/unknown-axis.bin", Block({VELDRA_TAG, 0, PivotCenter, 0.0f, 90.0f}));
    const Picture picture = CoordinatePicture(31, 19, 5);
    for (const std::string extension : {"png", "tif"}) {
        const std::string input = folder + "/in." + extension;
        WritePicture(input, picture);
        ASSERT_EQ(ReadPicture(input).values, picture.values) << "the test's own files must hold the colour";
        const RunResult run = RunVeldra(
            folder, "render in." + extension + " out." + extension + " --params unknown-axis.bin --quiet");
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const Picture result = ReadPicture(folder + "/out." + extension);
        EXPECT_EQ(result.channels, 4);
        EXPECT_EQ(result.values, picture.values) << extension;
    }
}

// The filter sees 8-bit values scaled by 257, grey in red, green and blue,
// and a missing alpha opaque; the output keeps the input's depth and
// channels unless -d asks for another depth.
TEST(RenderCommand, InputsKeepTheirDepthAndChannels)
{
    const std::string folder = ScratchFolder("widen");
    WriteBytes(folder + "/unknown-axis.bin", Block({VELDRA_TAG, 0, PivotCenter, 0.0f, 0.0f}));
    Picture grey{3, 2, 1, {0, 1, 127, 128, 254, 255}};
    WritePicture(folder + "/grey.png", grey, true);
    Picture rgb{2, 1, 3, {10, 20, 30, 200, 100, 0}};
    WritePicture(folder + "/rgb.png", rgb, true);

    for (const char* name : {"grey", "rgb"}) {
        const std::string kept = std::string("render ") + name + ".png " + name + "-8.png --params unknown-axis.bin -q";
        ASSERT_EQ(RunVeldra(folder, kept).exitCode, 0) << kept;
        EXPECT_EQ(ReadHeader(folder + "/" + name + "-8.png").format, OIIO::TypeDesc::UINT8) << name;
        const std::string wide = std::string("render ") + name + ".png " + name +
                                 "-16.png -d uint16 "
                                 "--params unknown-axis.bin -q";
        ASSERT_EQ(RunVeldra(folder, wide).exitCode, 0) << wide;
    }
    std::vector<std::uint16_t> expectGrey;
    for (const std::uint16_t v : grey.values)
        expectGrey.push_back(std::uint16_t(v * 257));
    EXPECT_EQ(ReadPicture(folder + "/grey-16.png").values, expectGrey);
    EXPECT_EQ(ReadPictureAs16(folder + "/grey-8.png").values, expectGrey);
    const std::vector<std::uint16_t> expectRgb = {2570, 5140, 7710, 51400, 25700, 0};
    EXPECT_EQ(ReadPicture(folder + "/rgb-16.png").values, expectRgb);
    EXPECT_EQ(ReadPictureAs16(folder + "/rgb-8.png").values, expectRgb);
}

// Pictures are read a band of rows, or a row of tiles, at a time: stored in
// tiles that divide neither side, and taller than a band, a picture turns
// to the same pixels as when it is stored line by line.
TEST(RenderCommand, TiledPicturesTurnAsLinedOnesDo)
{
    const std::string folder = ScratchFolder("tiled");
    const Picture picture = CoordinatePicture(97, 150, 3);
    auto write = [&](const std::string& name, OIIO::TypeDesc format, bool tiled) {
        OIIO::ImageSpec header(picture.width, picture.height, picture.channels, format);
        if (tiled) {
            header.tile_width = 32;
            header.tile_height = 48;
        }
        auto output = OIIO::ImageOutput::create(folder + "/" + name);
        ASSERT_TRUE(output && output->open(folder + "/" + name, header) &&
                    output->write_image(OIIO::TypeDesc::UINT16, picture.values.data()) && output->close())
            << name;
    };
    for (const std::string kind : {"tif", "exr"}) {
        const OIIO::TypeDesc format = kind == "tif" ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::HALF;
        write("lines." + kind, format, false);
        write("tiles." + kind, format, true);
        ASSERT_EQ(ReadHeader(folder + "/tiles." + kind).tile_width, 32) << kind;
        for (const std::string stored : {"lines", "tiles"}) {
            const std::string command = "render " + stored + "." + kind + " out-" + stored + "." + kind +
                                        " --axis y --pivot upper --start 40 --quiet 2>/dev/null";
            ASSERT_EQ(RunVeldra(folder, command).exitCode, 0) << command;
        }
        EXPECT_EQ(ReadPictureAs16(folder + "/out-tiles." + kind).values,
                  ReadPictureAs16(folder + "/out-lines." + kind).values)
            << kind;
    }
}

// A render farm splits a shot across machines and cores: whole, in two
// chunks with the same --range, with one or two jobs, or through a printf
// pattern, the files must be the same bytes.
TEST(RenderCommand, SequencesAreTheSameHoweverTheyAreSplit)
{
    const std::string folder = ScratchFolder("split");
    WriteSequence(folder, 1, 6);
    const std::string settings = " --axis y --pivot lower --start 0 --end 90 --quiet";
    const char* runs[][2] = {
        {"whole1", "render in.####.png whole1/f.####.png --jobs 1"},
        {"whole2", "render in.%04d.png whole2/f.%04d.png --jobs 2"},
        {"chunks", "render in.####.png chunks/f.####.png --frames 1-3 --range 1-6 --jobs 2"},
    };
    for (const auto& run : runs) {
        MakeFolder(folder + "/" + run[0]);
        const RunResult result = RunVeldra(folder, run[1] + settings);
        ASSERT_EQ(result.exitCode, 0) << run[1] << "\n" << result.output;
    }
    const RunResult second = RunVeldra(folder,
                                       "render in.####.png chunks/f.####.png --frames 4-6 --range 1-6" + settings);
    ASSERT_EQ(second.exitCode, 0) << second.output;

    EXPECT_EQ(FolderEntries(folder + "/whole1").size(), 6u);
    for (const char* name : {"f.0001.png", "f.0002.png", "f.0003.png", "f.0004.png", "f.0005.png", "f.0006.png"}) {
        const std::string whole = FileBytes(folder + "/whole1/" + name);
        EXPECT_FALSE(whole.empty()) << name;
        EXPECT_EQ(FileBytes(folder + "/whole2/" + name), whole) << name;
        EXPECT_EQ(FileBytes(folder + "/chunks/" + name), whole) << name;
    }
    // The last frame of the range is turned by 90 degrees.
    EXPECT_NE(ReadPicture(folder + "/whole1/f.0006.png").values, CoordinatePicture(23, 17, 6).values);
}

// Rendering over the input itself works, and the result is a whole picture.
TEST(RenderCommand, OutputMayBeTheInput)
{
    const std::string folder = ScratchFolder("in-place");
    WritePicture(folder + "/frame.tif", CoordinatePicture(20, 20, 9));
    const RunResult run = RunVeldra(folder, "render frame.tif frame.tif --axis z --start 90 --end 90 --quiet");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const Picture turned = ReadPicture(folder + "/frame.tif");
    EXPECT_EQ(turned.width, 20);
    EXPECT_NE(turned.values, CoordinatePicture(20, 20, 9).values);
    EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"frame.tif"});
}

// The block is taken as the host restores a scene (any block with the
// right tag, whatever its other bytes), options replace single fields, and
// --save-params stores exactly what was used.
TEST(RenderCommand, ParameterBlocksRoundTrip)
{
    const std::string folder = ScratchFolder("params");
    WritePicture(folder + "/in.png", CoordinatePicture(8, 8, 1));
    const std::string odd = Block({VELDRA_TAG, 4242, 7, 12.5f, -30.0f});
    WriteBytes(folder + "/odd.bin", odd);

    RunResult run = RunVeldra(folder, "render in.png out.png --params odd.bin --save-params same.bin --quiet");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FileBytes(folder + "/same.bin"), odd);

    run = RunVeldra(folder, "render in.png out.png --params odd.bin --axis z --end 45 --save-params new.bin --quiet");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FileBytes(folder + "/new.bin"), Block({VELDRA_TAG, AxisZ, 7, 12.5f, 45.0f}));

    run = RunVeldra(folder, "render in.png out.png --save-params defaults.bin --quiet");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FileBytes(folder + "/defaults.bin"), Block(kDefaultRotationParams));
}

// A sequence stops at the first bad frame and says which; frames written
// before it are complete, and an earlier file in the bad frame's place is
// left as it was.
TEST(RenderCommand, SequenceStopsAtTheFirstBadFrame)
{
    const std::string folder = ScratchFolder("stop");
    WriteSequence(folder, 1, 5);
    WriteBytes(folder + "/in.0003.png", FileBytes(folder + "/in.0003.png").substr(0, 200));
    WriteBytes(folder + "/out.0003.png", "an earlier render");

    const RunResult run = RunVeldra(folder, "render in.####.png out.####.png --axis x --start 10 --end 10 --jobs 1");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("in.0003.png"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("stopped"), std::string::npos) << run.output;
    EXPECT_EQ(ReadPicture(folder + "/out.0001.png").width, 23);
    EXPECT_EQ(ReadPicture(folder + "/out.0002.png").width, 23);
    EXPECT_EQ(FileBytes(folder + "/out.0003.png"), "an earlier render");
    EXPECT_FALSE(Exists(folder + "/out.0004.png"));
    EXPECT_EQ(FolderEntries(folder).size(), 8u) << "no temporary files left behind";
}

// An interrupt, sent once the first frame is on disk, stops a sequence
// between frames: every file on disk is a whole picture and no temporary
// file is left.
TEST(RenderCommand, InterruptLeavesOnlyWholeFrames)
{
    const std::string folder = ScratchFolder("interrupt");
    WritePicture(folder + "/big.tif", CoordinatePicture(1200, 1000, 3));
    for (int frame = 1; frame <= 150; ++frame) {
        char name[32];
        std::snprintf(name, sizeof name, "/in.%04d.tif", frame);
        std::filesystem::create_symlink("big.tif", folder + name);
    }
    MakeFolder(folder + "/out");
    const RunResult run = RunInShell(
        folder,
        "\"$VELDRA\" render in.####.tif out/f.####.tif --axis z --end 90 "
        "--jobs 2 --quiet & while [ -z \"$(ls out)\" ] && kill -0 $!; do sleep 0.01; done; "
        "kill -TERM $!; wait $!");
    EXPECT_NE(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("interrupted before frame"), std::string::npos) << run.output;
    const std::vector<std::string> written = FolderEntries(folder + "/out");
    EXPECT_LT(written.size(), 150u);
    for (const std::string& name : written)
        EXPECT_EQ(ReadPicture(folder + "/out/" + name).width, 1200) << name;
}
