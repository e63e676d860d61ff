// `veldra info`, `params`, `demo`, and what every bad input gets: one line
// naming the file or option and the problem, a non-zero exit, and nothing
// written.
#include <gtest/gtest.h>

#include <cstring>

#include "CliHarness.h"
#include "filter/RotationParams.h"

// info reports what the module says about itself through its exports.
TEST(OtherCommands, InfoShowsWhatTheModuleReports)
{
    const RunResult run = RunVeldra(ScratchFolder("info"), "info");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    for (const char* line :
         {"description:   Veldra Image Generator", "version:       110", "class name:    Veldra",
          "category:      Image Filter", "family code:   0xE00", "identifier:    0x6AC71744 0x41DE1E4E",
          "filter name:   Veldra", "tag:           0x6AC71744", "capabilities:  0x6", "block size:    20 bytes",
          "author:", "notice:"})
        EXPECT_TRUE(Has(run.output, line)) << line << "\n" << run.output;
}

// params spells a block out, unknown codes included.
TEST(OtherCommands, ParamsShowsABlockInWords)
{
    const std::string folder = ScratchFolder("params-words");
    RotationParams params{VELDRA_TAG, AxisY, PivotUpper, -12.5f, 370.0f};
    std::string bytes(20, '\0');
    std::memcpy(&bytes[0], &params, 20);
    WriteBytes(folder + "/y.bin", bytes);
    RunResult run = RunVeldra(folder, "params y.bin");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output, "axis:         y (1011)")) << run.output;
    EXPECT_TRUE(Has(run.output, "pivot:        upper (1015)")) << run.output;
    EXPECT_TRUE(Has(run.output, "start angle:  -12.5 degrees")) << run.output;
    EXPECT_TRUE(Has(run.output, "end angle:    370 degrees")) << run.output;

    // Angles read as the user typed them, and as --dry-run shows them.
    params.startAngle = 0.1f;
    params.endAngle = 123456789.0f;
    std::memcpy(&bytes[0], &params, 20);
    WriteBytes(folder + "/tenth.bin", bytes);
    run = RunVeldra(folder, "params tenth.bin");
    EXPECT_TRUE(Has(run.output, "start angle:  0.1 degrees")) << run.output;
    EXPECT_TRUE(Has(run.output, "end angle:    123456792 degrees")) << run.output;
    WritePicture(folder + "/tenth.png", CoordinatePicture(4, 4, 1));
    run = RunVeldra(folder, "render tenth.png t.png -n --start 0.1");
    EXPECT_TRUE(Has(run.output, "frame 0  0%  0.1 deg")) << run.output;

    params.axis = 5;
    std::memcpy(&bytes[0], &params, 20);
    WriteBytes(folder + "/odd.bin", bytes);
    run = RunVeldra(folder, "params odd.bin");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output, "unknown code")) << run.output;
}

// Each bad input ends in one line naming the culprit, a failed exit, and
// no output file, finished or not. A command line veldra cannot take exits
// 2, anything else that fails 1, in every command, wherever the mistake is
// found: an option that does not fit the files named is found only once the
// files are looked at.
TEST(OtherCommands, BadInputIsNamedAndWritesNothing)
{
    const std::string folder = ScratchFolder("bad");
    WritePicture(folder + "/good.png", CoordinatePicture(9, 7, 1));
    WriteBytes(folder + "/text.png", "this is not a picture\n");
    WriteBytes(folder + "/cut.png", FileBytes(folder + "/good.png").substr(0, 120));
    WritePicture(folder + "/wide.png", Picture{70000, 1, 1, std::vector<std::uint16_t>(70000, 1)});
    WritePicture(folder + "/tall.png", Picture{1, 70000, 1, std::vector<std::uint16_t>(70000, 1)});
    WriteBytes(folder + "/short.bin", std::string(19, '\0'));
    WriteBytes(folder + "/alien.bin", std::string(20, '\x01'));
    WriteBytes(folder + "/not-a-module.flt", "text");
    MakeFolder(folder + "/empty");

    constexpr int failed = 1, usage = 2;
    const struct {
        const char* arguments;
        int exitCode;
        const char* named;
    } cases[] = {
        {"render missing.png out.png", failed, "missing.png: cannot open"},
        {"render text.png out.png", failed, "text.png: not an image"},
        {"render cut.png out.png", failed, "cut.png: truncated or corrupt"},
        {"render wide.png out.png", failed, "wide.png: the picture is 70000 x 1"},
        {"render tall.png out.png", failed, "tall.png: the picture is 1 x 70000"},
        {"render empty/f.####.png out.####.png", failed, "empty/f.####.png: no frames found"},
        {"render good.png out.png --frames 1-2", usage, "--frames"},
        {"render in.####.png out.####.png --frames 9-3", usage, "--frames: the frame range 9-3 is empty"},
        {"render in.####.png out.####.png --frames 1-3", failed, "in.0001.png: cannot open"},
        {"render good.png out.png --params short.bin", failed,
         "short.bin: not a parameter file: 19 bytes, not 20 bytes"},
        {"render good.png out.png --params alien.bin", failed, "alien.bin: not a parameter block"},
        {"render good.png out.png --module nowhere.flt", failed, "nowhere.flt: cannot open the module"},
        {"render good.png out.png --module not-a-module.flt", failed, "not-a-module.flt: not a usable module file"},
        {"render good.png no-such-folder/out.png", failed, "no-such-folder/: cannot write"},
        {"render good.png out.xyz", usage, "out.xyz: cannot write this kind of file"},
        {"render good.png out.png --axis w", usage, "--axis: bad value 'w'"},
        {"render good.png out.png --pivot middle", usage, "--pivot: bad value 'middle'"},
        {"render good.png out.png --start 1e999", usage, "--start: bad value"},
        {"render good.png out.png --end nan", usage, "--end: bad value"},
        {"render good.png out.png --jobs 0", usage, "--jobs: bad value '0'"},
        {"render good.png out.png --frame x", usage, "--frame: bad value 'x'"},
        {"render good.png out.png --range 5", usage, "--range: bad value '5'"},
        {"render good.png out.tif --compression 4", usage, "--compression: applies to PNG output only"},
        {"render good.png out.png --compression 10", usage, "--compression: bad value '10'"},
        {"render good.png", usage, "render: wrong number of operands"},
        {"params short.bin", failed, "short.bin: not a parameter file: 19 bytes, not 20 bytes"},
        {"params alien.bin", failed, "alien.bin: not a parameter block"},
        {"params", usage, "params: wrong number of operands"},
        {"info --module not-a-module.flt", failed, "not-a-module.flt"},
        {"info extra", usage, "info: wrong number of operands"},
        {"demo a b", usage, "demo: wrong number of operands"},
        {"paint good.png", usage, "paint: unknown command"},
        {"help paint", usage, "paint: unknown command"},
        {"farm paint", usage, "farm paint: unknown action"},
        {"farm help paint", usage, "farm paint: unknown action"},
        {"farm status", usage, "farm status: wrong number of operands"},
        {"farm status empty", failed, "empty: no farm run here"},
        {"render good.png out.png --params ''", usage, "--params: empty value"},
        {"render good.png out.png --save-params=", usage, "--save-params: empty value"},
        {"info --module ''", usage, "--module: empty value"},
        {"render good.png out.png --frames 1-5", usage, "--frames: good.png is a single image"},
        {"render in.####.png out.####.png --frames 1-1000000000", failed, "in.0001.png: cannot open"},
        {"render good.png out.png --range -2147483648-2147483647", usage, "--range: the frame range"},
        // The filter counts a range's frames in an int: 2^31 frames are one
        // too many, and would put frame 4 at 400 %.
        {"render good.png out.png --frame 4 --range 0-2147483647 -n", usage,
         "--range: the frame range 0-2147483647 is too long"},
        {"render good.png out.png -z", usage, "-z: unknown option"},
        {"render good.png out.png --alpha straight", usage, "--alpha: bad value 'straight'"},
        {"render good.png out.png -d int12", usage, "--depth: bad value 'int12'"},
    };
    const std::vector<std::string> before = FolderEntries(folder);
    for (const auto& c : cases) {
        const RunResult run = RunVeldra(folder, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.output;
        EXPECT_TRUE(Has(run.output, std::string("veldra: ") + c.named)) << c.arguments << "\n" << run.output;
        EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << c.arguments << "\n" << run.output;
    }
    EXPECT_EQ(FolderEntries(folder), before) << "a failed command left a file behind";
}

// Help for every command and farm action, asked either way, on standard
// output; a command line with no command (or no farm action) gets the
// commands on standard error and exit 2.
TEST(OtherCommands, HelpForEveryCommand)
{
    const std::string folder = ScratchFolder("help");
    for (const char* topic :
         {"render", "info", "params", "demo", "farm", "farm submit", "farm status", "farm retry", "farm cancel"}) {
        const RunResult asked = RunVeldra(folder, std::string(topic) + " --help 2>/dev/null");
        EXPECT_EQ(asked.exitCode, 0) << topic;
        EXPECT_EQ(asked.output.rfind(std::string("usage: veldra ") + topic, 0), 0u) << topic << "\n" << asked.output;
        EXPECT_EQ(RunVeldra(folder, std::string("help ") + topic + " 2>/dev/null").output, asked.output) << topic;
        // The whole program's help holds every command's.
        EXPECT_TRUE(Has(RunVeldra(folder, "--help 2>/dev/null").output, asked.output)) << topic;
    }
    EXPECT_EQ(RunVeldra(folder, "farm help submit 2>/dev/null").output,
              RunVeldra(folder, "farm submit --help 2>/dev/null").output);
    for (const char* nothing : {"", "farm"}) {
        const RunResult run = RunVeldra(folder, std::string(nothing) + " 2>/dev/null");
        EXPECT_EQ(run.exitCode, 2) << nothing;
        EXPECT_EQ(run.output, "") << nothing << ": the usage went to standard output";
        EXPECT_TRUE(Has(RunVeldra(folder, nothing).output, "usage: veldra")) << nothing;
    }
}

// The main job: all nine turns of the test card as 16-bit frames, and a
// contact sheet of them.
TEST(OtherCommands, DemoWritesFramesAndAContactSheet)
{
    const std::string folder = ScratchFolder("demo");
    const RunResult run = RunVeldra(folder, "demo out --quiet");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output, folder + "/out/contact-sheet.png")) << run.output;

    const std::vector<std::string> entries = FolderEntries(folder + "/out");
    EXPECT_EQ(entries.size(), 9u * 20u + 2u);
    for (const char* name : {"x-lower.0000.png", "y-center.0017.png", "z-upper.0019.png"}) {
        const Picture frame = ReadPicture(folder + "/out/" + name);
        EXPECT_EQ(frame.width, 320) << name;
        EXPECT_EQ(frame.height, 240) << name;
        EXPECT_EQ(frame.channels, 4) << name;
    }
    // A quarter turn about z leaves frame corners the card no longer covers.
    EXPECT_NE(ReadPicture(folder + "/out/z-center.0005.png").values, ReadPicture(folder + "/out/test-card.png").values);
    const Picture sheet = ReadPicture(folder + "/out/contact-sheet.png");
    EXPECT_GT(sheet.width, 9 * 80);
    EXPECT_GT(sheet.height, 9 * 60);
}
