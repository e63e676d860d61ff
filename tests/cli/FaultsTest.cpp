// `veldra` against real faults: a full disk, a second writer, planted
// links, inputs that are not files or lie about their size, cut files,
// signals. Each must end in one clear line, a failed exit and nothing on
// disk damaged or left behind.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>
#include <zlib.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CliHarness.h"
#include "filter/RotationParams.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A block whose unknown axis passes frames through unchanged.
void WritePassThroughBlock(const std::string& path)
{
    const RotationParams params{VELDRA_TAG, 0, PivotCenter, 0.0f, 0.0f};
    std::string bytes(sizeof params, '\0');
    std::memcpy(&bytes[0], &params, sizeof params);
    WriteBytes(path, bytes);
}

// Runs veldra directly (no shell) and reports its exit code and the peak
// memory of that one process, counted by the small launcher peak_memory.
struct MeasuredRun {
    int exitCode = -1;
    long peakKilobytes = 0;
};

MeasuredRun RunMeasured(const std::string& folder, const std::vector<std::string>& arguments)
{
    const std::string launcher = BinFile("peak_memory");
    const std::string program = BinFile("veldra");
    std::vector<char*> argv{const_cast<char*>(launcher.c_str()), const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int report[2];
    if (pipe(report) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_adddup2(&actions, report[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, report[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    MeasuredRun run;
    const bool started = posix_spawn(&child, launcher.c_str(), &actions, nullptr, argv.data(), environ) == 0;
    close(report[1]);
    if (started) {
        std::string printed;
        char chunk[64];
        for (ssize_t got; (got = read(report[0], chunk, sizeof chunk)) > 0;)
            printed.append(chunk, static_cast<std::size_t>(got));
        int status = 0;
        waitpid(child, &status, 0);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        // The launcher's figure is the last line, after what veldra printed.
        const std::size_t lastLine = printed.find_last_of('\n', printed.size() - 2);
        run.peakKilobytes = std::atol(printed.c_str() + (lastLine == std::string::npos ? 0 : lastLine + 1));
    }
    close(report[0]);
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// A small tmpfs at `folder` for the length of a test; unmounted however
// the test ends.
class SmallDisk {
public:
    SmallDisk(const std::string& folder, const std::string& size) : folder_(folder)
    {
        MakeFolder(folder_);
        mounted_ = std::system(("mount -t tmpfs -o size=" + size + " veldra-test '" + folder_ + "'").c_str()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted_)
            std::system(("umount -l '" + folder_ + "'").c_str());
    }
    bool Mounted() const { return mounted_; }

    // Takes up all the room left.
    void Fill() const { std::system(("dd if=/dev/zero of='" + folder_ + "/filler' bs=4k 2>/dev/null; sync").c_str()); }

private:
    std::string folder_;
    bool mounted_ = false;
};

// A minimal uncompressed 16-bit RGB TIFF with its directory before the
// pixels, so that a cut leaves a readable header over strips that end
// early.
std::string HandMadeTiff(int width, int height)
{
    std::string bytes;
    auto put16 = [&](unsigned v) {
        bytes += char(v & 255);
        bytes += char(v >> 8);
    };
    auto put32 = [&](unsigned v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const unsigned entries = 9, ifd = 8, bitsAt = ifd + 2 + entries * 12 + 4, dataAt = bitsAt + 6;
    const unsigned rowBytes = unsigned(width) * 6;
    bytes += "II";
    put16(42);
    put32(ifd);
    put16(entries);
    // A single short value sits in the first half of the value field.
    auto entry = [&](unsigned tag, unsigned type, unsigned count, unsigned value) {
        put16(tag);
        put16(type);
        put32(count);
        put32(type == 3 && count == 1 ? value & 0xFFFF : value);
    };
    entry(256, 3, 1, unsigned(width));
    entry(257, 3, 1, unsigned(height));
    entry(258, 3, 3, bitsAt);
    entry(259, 3, 1, 1);  // no compression
    entry(262, 3, 1, 2);  // RGB
    entry(273, 4, 1, dataAt);
    entry(277, 3, 1, 3);
    entry(278, 3, 1, unsigned(height));
    entry(279, 4, 1, rowBytes * unsigned(height));
    put32(0);
    for (int sample = 0; sample < 3; ++sample)
        put16(16);
    for (int i = 0; i < width * height * 3; ++i)
        put16(unsigned(i * 37) & 0xFFFF);
    return bytes;
}

std::string BigEndian(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

// A PNG file of one grey channel of `bitDepth` bits whose image data is
// `data`, made by hand to hold what no writer makes.
std::string PngFile(std::uint32_t width, std::uint32_t height, char bitDepth, const std::string& data)
{
    const auto chunk = [](const std::string& type, const std::string& body) {
        const std::string checked = type + body;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(checked.data()), static_cast<uInt>(checked.size()));
        return BigEndian(static_cast<std::uint32_t>(body.size())) + checked +
               BigEndian(static_cast<std::uint32_t>(crc));
    };
    // Grey, deflate, adaptive filtering, no interlace.
    const std::string header = BigEndian(width) + BigEndian(height) + std::string{bitDepth, 0, 0, 0, 0};
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", data) + chunk("IEND", "");
}

// `bytes` deflated as tightly as zlib can.
std::string Deflated(const std::string& bytes)
{
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(bytes.data()),
              static_cast<uLong>(bytes.size()), 9);
    packed.resize(size);
    return packed;
}

}  // namespace

// A full disk: in place, in a sequence and in the demo, the run fails
// naming the file and the cause, and leaves the old files as they were and
// no temporary file. Needs root for the mount.
TEST(Faults, FullDiskDamagesNothing)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root; the simulated full disk test still runs";
    const std::string folder = ScratchFolder("full-disk");
    SmallDisk disk(folder + "/disk", "512k");
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (no CAP_SYS_ADMIN?); the simulated full disk test still runs";
    WritePicture(folder + "/disk/frame.png", CoordinatePicture(120, 90, 4));
    for (int frame = 1; frame <= 3; ++frame)
        WritePicture(folder + "/in." + std::to_string(frame) + ".png", CoordinatePicture(120, 90, frame));
    WriteBytes(folder + "/disk/out.0002.png", "an earlier render");
    disk.Fill();
    const std::string before = FileBytes(folder + "/disk/frame.png");
    const std::vector<std::string> entries = FolderEntries(folder + "/disk");

    RunResult run = RunVeldra(folder + "/disk", "render frame.png frame.png --axis z --end 45 --quiet");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(OneLineNaming(run, "frame.png: cannot write: No space left on device")) << run.output;
    EXPECT_EQ(FileBytes(folder + "/disk/frame.png"), before);

    run = RunVeldra(folder, "render in.%d.png disk/out.####.png --frames 1-3 --jobs 1 --quiet");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(Has(run.output, "No space left on device")) << run.output;
    EXPECT_EQ(FileBytes(folder + "/disk/out.0002.png"), "an earlier render");

    run = RunVeldra(folder, "demo disk/demo --quiet");
    EXPECT_NE(run.exitCode, 0) << run.output;
    fs::remove_all(folder + "/disk/demo");
    EXPECT_EQ(FolderEntries(folder + "/disk"), entries) << "a temporary file or a partial frame was left";
}

// The same faults through the write path's stand-in for a full disk, which
// needs no root: every output kind, and the parameter file.
TEST(Faults, SimulatedFullDiskDamagesNothing)
{
    const std::string folder = ScratchFolder("simulated-full");
    WritePicture(folder + "/frame.png", CoordinatePicture(60, 40, 2));
    for (const char* kind : {"png", "tif", "exr", "dpx", "jpg"})
        ASSERT_EQ(RunVeldra(folder, std::string("render frame.png old.") + kind + " --quiet").exitCode, 0);
    WriteBytes(folder + "/old.bin", "old block");
    const std::vector<std::string> entries = FolderEntries(folder);
    const std::string full = "VELDRA_TEST_DISK_BYTES=100 \"$VELDRA\" ";
    for (const char* kind : {"png", "tif", "exr", "dpx", "jpg"}) {
        const std::string output = std::string("old.") + kind;
        const std::string before = FileBytes(folder + "/" + output);
        const RunResult run = RunInShell(folder, full + "render " + output + " " + output + " --end 30 --quiet");
        EXPECT_NE(run.exitCode, 0) << kind;
        EXPECT_TRUE(OneLineNaming(run, output + ": cannot write: No space left on device")) << run.output;
        EXPECT_EQ(FileBytes(folder + "/" + output), before) << kind;
    }
    const RunResult run = RunInShell(folder,
                                     "VELDRA_TEST_DISK_BYTES=10 \"$VELDRA\" render frame.png old.png "
                                     "--save-params old.bin --quiet");
    EXPECT_TRUE(OneLineNaming(run, "old.bin: cannot write: No space left on device")) << run.output;
    EXPECT_EQ(FileBytes(folder + "/old.bin"), "old block");
    EXPECT_EQ(FolderEntries(folder), entries);
}

// Two renders of one output at once leave one complete picture, the one
// or the other, and no temporary file; a link planted where the old
// predictable temporary name was is not written through; a replaced file
// keeps its mode; a linked output updates the file it points to.
TEST(Faults, OutputsCannotBeHijackedOrMixed)
{
    const std::string folder = ScratchFolder("hijack");
    WritePicture(folder + "/a.png", CoordinatePicture(300, 200, 1));
    WritePicture(folder + "/b.png", CoordinatePicture(200, 300, 2));
    ASSERT_EQ(RunVeldra(folder, "render a.png ref-a.png --axis y --end 20 --quiet").exitCode, 0);
    ASSERT_EQ(RunVeldra(folder, "render b.png ref-b.png --axis y --end 20 --quiet").exitCode, 0);
    const std::string refA = FileBytes(folder + "/ref-a.png"), refB = FileBytes(folder + "/ref-b.png");
    for (int round = 0; round < 4; ++round) {
        const RunResult run = RunInShell(folder,
                                         "\"$VELDRA\" render a.png out.png --axis y --end 20 --quiet & "
                                         "\"$VELDRA\" render b.png out.png --axis y --end 20 --quiet & wait");
        const std::string out = FileBytes(folder + "/out.png");
        EXPECT_TRUE(out == refA || out == refB) << "round " << round << ": a mixed or partial picture";
        EXPECT_TRUE(Leftovers(folder).empty());
    }

    WriteBytes(folder + "/victim", "not to be touched");
    chmod(folder.c_str(), 01777);
    for (int pid = 1; pid < 64; ++pid)
        fs::create_symlink(folder + "/victim", folder + "/.out.png.veldra-" + std::to_string(pid) + "-0.tmp");
    ASSERT_EQ(RunVeldra(folder, "render a.png out.png --quiet").exitCode, 0);
    EXPECT_EQ(FileBytes(folder + "/victim"), "not to be touched");

    chmod((folder + "/out.png").c_str(), 0600);
    fs::create_symlink("out.png", folder + "/link.png");
    const RunResult run = RunVeldra(folder, "render b.png link.png --axis y --end 20 --quiet");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(fs::is_symlink(folder + "/link.png"));
    EXPECT_EQ(FileBytes(folder + "/out.png"), refB);
    struct stat info {};
    stat((folder + "/out.png").c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

// In an output folder others may write to (a studio's shared shot folder,
// mode 2775), a link someone else planted is not written through: the
// frame or parameter file is refused, naming the link and its owner, the
// file it points to stays as it was, and so does the link. Links of the
// user's own (OutputsCannotBeHijackedOrMixed) and of the folder's owner are
// followed; a chain is refused at the first link it may not follow.
TEST(Faults, OthersLinksInAnOutputFolderAreNotFollowed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "a second user takes root";
    const OtherUser other;
    ASSERT_TRUE(other.Made()) << other.Why();
    const std::string folder = ScratchFolder("planted-link");
    WritePicture(folder + "/frame.png", CoordinatePicture(30, 20, 6));
    MakeFolder(folder + "/secret");
    WriteBytes(folder + "/secret/precious.txt", "root's alone");
    ASSERT_EQ(chmod((folder + "/secret").c_str(), 0700), 0);
    ASSERT_EQ(chmod((folder + "/secret/precious.txt").c_str(), 0600), 0);
    MakeFolder(folder + "/shared");
    ASSERT_EQ(chmod((folder + "/shared").c_str(), 02775), 0);
    const auto plant = [&](const std::string& target, const std::string& link, int owner) {
        fs::create_symlink(target, folder + "/shared/" + link);
        ASSERT_EQ(lchown((folder + "/shared/" + link).c_str(), owner, owner), 0);
    };
    plant("../secret/precious.txt", "s.0003.png", other.Uid());
    plant("../secret/turn.blk", "turn.blk", other.Uid());
    plant("chain.png", "s.0002.png", 0);
    plant("../secret/precious.txt", "chain.png", other.Uid());
    const std::string owner = other.Name() + " (uid " + std::to_string(other.Uid()) + ")";

    RunResult run = RunVeldra(folder, "render frame.png shared/s.0003.png --axis y --end 30 --quiet");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(OneLineNaming(run, "shared/s.0003.png: is a symbolic link owned by " + owner +
                                       ", neither you nor the folder's owner: not followed, nothing written"))
        << run.output;
    run = RunVeldra(folder, "render frame.png shared/s.0002.png --quiet");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(
        OneLineNaming(run, "shared/s.0002.png: leads through the symbolic link shared/chain.png owned by " + owner))
        << run.output;
    run = RunVeldra(folder, "render frame.png shared/own.png --save-params shared/turn.blk --quiet");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.output, "shared/turn.blk: is a symbolic link owned by " + owner)) << run.output;
    EXPECT_EQ(FileBytes(folder + "/secret/precious.txt"), "root's alone");
    EXPECT_FALSE(Exists(folder + "/secret/turn.blk"));
    EXPECT_EQ(fs::read_symlink(folder + "/shared/s.0003.png"), "../secret/precious.txt");
    EXPECT_TRUE(Leftovers(folder + "/shared").empty());

    // The folder's owner could replace any of its entries anyway: a link
    // of theirs is followed.
    MakeFolder(folder + "/theirs");
    plant("../theirs/target.png", "s.0004.png", other.Uid());
    ASSERT_EQ(chown((folder + "/shared").c_str(), other.Uid(), other.Gid()), 0);
    run = RunVeldra(folder, "render frame.png shared/s.0004.png --quiet");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ReadPicture(folder + "/theirs/target.png").width, 30);
    EXPECT_TRUE(fs::is_symlink(folder + "/shared/s.0004.png"));
    // Everything made for the second user goes before it does.
    ASSERT_EQ(chown((folder + "/shared").c_str(), 0, 0), 0);
    fs::remove_all(folder + "/shared");
}

// Inputs that are not files fail at once, instead of blocking on a FIFO or
// reading a device forever; so do parameter files, read at most 21 bytes.
TEST(Faults, InputsThatAreNotFilesFailAtOnce)
{
    const std::string folder = ScratchFolder("not-files");
    WritePicture(folder + "/good.png", CoordinatePicture(8, 8, 1));
    ASSERT_EQ(mkfifo((folder + "/fifo.png").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((folder + "/fifo.bin").c_str(), 0644), 0);
    MakeFolder(folder + "/folder.png");
    const struct {
        const char* arguments;
        const char* named;
    } cases[] = {
        {"render fifo.png out.png", "fifo.png: is a FIFO, not a file"},
        {"render /dev/zero out.png", "/dev/zero: is a device, not a file"},
        {"render folder.png out.png", "folder.png: is a folder, not a file"},
        {"render good.png out.png --params fifo.bin", "fifo.bin: is a FIFO, not a file"},
        {"render good.png out.png --params /dev/zero", "/dev/zero: is a device, not a file"},
        {"render good.png out.png --params folder.png", "folder.png: is a folder, not a file"},
        {"params /dev/zero", "/dev/zero: is a device, not a file"},
        {"info --module /dev/zero", "/dev/zero: is a device, not a file"},
    };
    for (const auto& c : cases) {
        // `timeout` turns a hang into a failed case rather than a stuck test;
        // its limit is far beyond what a refusal takes on a loaded machine.
        const RunResult run = RunInShell(folder, std::string("timeout -s KILL 300 \"$VELDRA\" ") + c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.arguments << "\n" << run.output;
        EXPECT_TRUE(OneLineNaming(run, c.named)) << c.arguments << "\n" << run.output;
    }
    EXPECT_FALSE(Exists(folder + "/out.png"));
}

// Cut files of every format written fail, whatever the cut, rather than
// giving a picture with grey or garbage rows.
TEST(Faults, TruncatedInputsFail)
{
    const std::string folder = ScratchFolder("truncated");
    WritePicture(folder + "/whole.png", CoordinatePicture(150, 100, 3));
    for (const char* kind : {"tif", "exr", "dpx", "jpg"})
        ASSERT_EQ(RunVeldra(folder, std::string("render whole.png whole.") + kind + " --quiet").exitCode, 0);
    WriteBytes(folder + "/whole.raw.tif", HandMadeTiff(150, 100));
    ASSERT_EQ(RunVeldra(folder, "render whole.raw.tif check.png --quiet").exitCode, 0);
    for (const char* kind : {"png", "tif", "exr", "dpx", "jpg", "raw.tif"}) {
        const std::string whole = FileBytes(folder + "/whole." + kind);
        for (const double keep : {0.3, 0.6, 0.9}) {
            const std::string cut = std::string("cut.") + kind;
            WriteBytes(folder + "/" + cut, whole.substr(0, static_cast<std::size_t>(whole.size() * keep)));
            const RunResult run = RunVeldra(folder, "render " + cut + " out.png --quiet");
            EXPECT_NE(run.exitCode, 0) << kind << " cut to " << keep;
            EXPECT_TRUE(OneLineNaming(run, cut + ": ")) << run.output;
            EXPECT_FALSE(Exists(folder + "/out.png")) << kind << " cut to " << keep;
        }
    }
}

// Small files that claim huge pictures are refused from their headers,
// before the pixels are allocated; a cut module file is refused before the
// loader maps it.
TEST(Faults, LyingHeadersAndCutModulesAreRefusedCheaply)
{
    const std::string folder = ScratchFolder("lying");
    // A PNG header for 20000 x 20000 RGBA with a token of pixel data.
    const unsigned char png[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
                                 0x44, 0x52, 0x00, 0x00, 0x4E, 0x20, 0x00, 0x00, 0x4E, 0x20, 0x08, 0x06, 0x00, 0x00,
                                 0x00, 0x8E, 0x4A, 0x4E, 0x58, 0x00, 0x00, 0x00, 0x0C, 0x49, 0x44, 0x41, 0x54, 0x78,
                                 0x9C, 0x63, 0x60, 0x18, 0x05, 0x00, 0x00, 0x00, 0x64, 0x00, 0x01, 0x3B, 0x6A, 0x95,
                                 0x76, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    WriteBytes(folder + "/huge.png", std::string(reinterpret_cast<const char*>(png), sizeof png));
    WritePicture(folder + "/pic.png", CoordinatePicture(60, 60, 1));
    ASSERT_EQ(RunVeldra(folder, "render pic.png pic.dpx --quiet").exitCode, 0);
    // A DPX header (the first 3 KB) whose size fields claim 40000 x 40000.
    std::string dpx = FileBytes(folder + "/pic.dpx").substr(0, 3000);
    const bool bigEndian = dpx.compare(0, 4, "SDPX") == 0;
    for (const std::size_t at : {std::size_t{772}, std::size_t{776}}) {
        const unsigned side = 40000;
        for (int i = 0; i < 4; ++i)
            dpx[at + i] = static_cast<char>(bigEndian ? side >> (24 - 8 * i) : side >> (8 * i));
    }
    WriteBytes(folder + "/huge.dpx", dpx);

    for (const char* input : {"huge.png", "huge.dpx"}) {
        const RunResult named = RunVeldra(folder, std::string("render ") + input + " out.png");
        EXPECT_TRUE(OneLineNaming(named, std::string(input) + ": ")) << named.output;
        const MeasuredRun run = RunMeasured(folder, {"render", input, "out.png"});
        EXPECT_EQ(run.exitCode, 1) << input;
        EXPECT_LT(run.peakKilobytes, 400 * 1024) << input << ": memory taken before refusing";
    }

    const std::string module = FileBytes(BinFile("VELDRA.FLT"));
    for (const std::size_t keep : {std::size_t{1000}, module.size() / 2, module.size() - 1}) {
        WriteBytes(folder + "/cut.flt", module.substr(0, keep));
        const RunResult run = RunVeldra(folder, "info --module cut.flt");
        EXPECT_EQ(run.exitCode, 1) << "cut at " << keep << "\n" << run.output;
        EXPECT_TRUE(OneLineNaming(run, "cut.flt: not a usable module file")) << run.output;
    }
}

// The image program loads the image and movie libraries, with its formats
// plugin, only for a file it does not read or write itself: without the
// plugin those fail naming it, as does a broken one, and the PNG files it
// handles itself still render, to the same bytes.
TEST(Faults, AMissingOrBrokenFormatsPluginIsNamed)
{
    const std::string folder = ScratchFolder("plugin");
    MakeFolder(folder + "/programs");
    // The programs, the module and the host libraries, without the plugin.
    ASSERT_EQ(
        RunInShell(folder, "cd '" + BinFolder() +
                               "' && cp -p veldra veldra-images VELDRA.FLT $(ls *.so | grep -v veldra-formats) '" +
                               folder + "/programs/'")
            .exitCode,
        0);
    WritePicture(folder + "/pic.png", CoordinatePicture(40, 30, 1));
    ASSERT_EQ(RunVeldra(folder, "render pic.png expected.png --end 30 --quiet").exitCode, 0);

    const RunResult direct = RunInShell(folder, "programs/veldra render pic.png out.png --end 30 --quiet");
    EXPECT_EQ(direct.exitCode, 0) << direct.output;
    EXPECT_EQ(FileBytes(folder + "/out.png"), FileBytes(folder + "/expected.png"));

    // Missing beside the program, it is looked for where it is installed.
    const std::string plugin = folder + "/programs/veldra-formats.so";
    for (const char* broken : {"", "not a shared library"}) {
        if (*broken)
            WriteBytes(plugin, broken);
        const RunResult run = RunInShell(folder, "programs/veldra render pic.png out.tif --quiet");
        EXPECT_EQ(run.exitCode, 1) << run.output;
        const std::string where = *broken ? plugin : folder + "/programs/../lib/veldra/veldra-formats.so";
        EXPECT_TRUE(OneLineNaming(run, where + ": cannot load veldra's image and movie formats plugin: "))
            << run.output;
        EXPECT_FALSE(Exists(folder + "/out.tif"));
    }
}

// A large frame costs about two frames of memory, the host's frame and the
// filter's work buffer: the picture is read into the frame a band of rows
// at a time and written from it in place, never through whole-frame copies.
TEST(Faults, LargeFramesCostTheirTwoFramesOfMemory)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the address sanitizer shadows every byte and keeps freed memory in quarantine";
#endif
    const std::string folder = ScratchFolder("large");
    constexpr int kSide = 2048;
    constexpr long kFrameKilobytes = long{kSide} * kSide * 8 / 1024;
    for (const int channels : {1, 3, 4}) {
        const int side = channels == 1 ? 16 : kSide;
        // Noise. RGBA is compressed as the library compresses by default, so
        // that the reader decodes through buffers of its own; RGB is stored
        // plain, and its output, which keeps that, holds as many bytes as
        // its pixels while it is written.
        OIIO::ImageSpec header(side, side, channels == 1 ? 4 : channels, OIIO::TypeDesc::UINT16);
        if (channels == 3)
            header.attribute("compression", "none");
        std::vector<std::uint16_t> values(static_cast<std::size_t>(side) * side * header.nchannels);
        std::uint32_t noise = 12345;
        for (std::uint16_t& value : values)
            value = static_cast<std::uint16_t>((noise = noise * 1664525u + 1013904223u) >> 16);
        const std::string path = folder + "/in" + std::to_string(channels) + ".tif";
        auto output = OIIO::ImageOutput::create(path);
        ASSERT_TRUE(output && output->open(path, header) && output->write_image(OIIO::TypeDesc::UINT16, values.data()));
        output->close();
    }
    const MeasuredRun small = RunMeasured(folder, {"render", "in1.tif", "out1.tif", "-a", "z", "-e", "30"});
    ASSERT_EQ(small.exitCode, 0);
    for (const char* input : {"in3.tif", "in4.tif"}) {
        const MeasuredRun run = RunMeasured(folder, {"render", input, "out.tif", "-a", "z", "-e", "30"});
        ASSERT_EQ(run.exitCode, 0) << input;
        EXPECT_LT(run.peakKilobytes - small.peakKilobytes, kFrameKilobytes * 11 / 5) << input;
    }
}

// A signal while a frame is being made: the frame in flight finishes or is
// abandoned, no temporary file stays, and the exit says the run was
// interrupted even when the frame was the last. A second signal ends the
// run at once.
TEST(Faults, SignalsEndTheRunPromptly)
{
    const std::string folder = ScratchFolder("signals");
    WritePicture(folder + "/in.0001.png", CoordinatePicture(16, 16, 1));
    WritePicture(folder + "/big.tif", CoordinatePicture(2500, 2000, 2));
    fs::create_symlink("big.tif", folder + "/in.0002.png");
    // Two jobs start both frames at once; the small first one appearing
    // (renamed into place, so complete) shows the big last one is in flight.
    const std::string waitThenSignal = "while [ ! -e out.0001.png ]; do sleep 0.01; done; kill -TERM $!; ";
    // Signals of one kind do not queue: the second is sent once the first
    // is no longer pending.
    const std::string untilDelivered = "while grep -q '^ShdPnd:.*[1-9a-f]' /proc/$!/status 2>/dev/null; do :; done; ";
    RunResult run = RunInShell(folder,
                               "\"$VELDRA\" render in.####.png out.####.png --axis z --end 90 --jobs 2 "
                               "--quiet & " +
                                   waitThenSignal + "wait $!");
    // The big frame finishes within the grace period and the run ends
    // failed, or (on a slow or loaded machine) it outlasts it and is
    // abandoned, the run ending by the signal: either way what is on disk
    // is whole and nothing is left behind.
    EXPECT_TRUE(run.exitCode == 1 || run.exitCode == 128 + SIGTERM) << run.output;
    EXPECT_TRUE(Has(run.output, "interrupted")) << run.output;
    EXPECT_TRUE(Leftovers(folder).empty());
    if (run.exitCode == 128 + SIGTERM) {
        EXPECT_TRUE(Has(run.output, "the work in progress was abandoned")) << run.output;
    }
    if (Exists(folder + "/out.0002.png")) {
        EXPECT_EQ(ReadPicture(folder + "/out.0002.png").width, 2500);
    }

    fs::remove(folder + "/out.0001.png");
    fs::remove(folder + "/out.0002.png");
    run = RunInShell(folder, "\"$VELDRA\" render in.####.png out.####.png --axis z --end 90 --jobs 2 --quiet & " +
                                 waitThenSignal + untilDelivered + "kill -TERM $!; wait $!");
    EXPECT_EQ(run.exitCode, 128 + SIGTERM) << run.output;
    EXPECT_TRUE(Leftovers(folder).empty());
}

// Two renders a second apart give the same bytes in every format written:
// no time of writing goes into a file.
TEST(Faults, SameInputSameBytesInEveryFormat)
{
    const std::string folder = ScratchFolder("same-bytes");
    WritePicture(folder + "/in.png", CoordinatePicture(40, 30, 7));
    const std::vector<std::string> kinds = {"png", "tif", "exr", "dpx", "jpg"};
    auto render = [&](const std::string& kind) {
        return RunVeldra(folder, "render in.png out." + kind + " --axis x --end 30 --quiet").exitCode;
    };
    std::vector<std::string> first;
    for (const std::string& kind : kinds) {
        ASSERT_EQ(render(kind), 0) << kind;
        first.push_back(FileBytes(folder + "/out." + kind));
    }
    sleep(1);
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        ASSERT_EQ(render(kinds[i]), 0) << kinds[i];
        EXPECT_EQ(FileBytes(folder + "/out." + kinds[i]), first[i]) << kinds[i];
    }

    // A date the input carries is its own, and is kept.
    OIIO::ImageSpec header(4, 4, 3, OIIO::TypeDesc::UINT16);
    header.attribute("DateTime", "2020:01:02 03:04:05");
    const std::vector<std::uint16_t> grey(4 * 4 * 3, 30000);
    auto output = OIIO::ImageOutput::create(folder + "/dated.tif");
    ASSERT_TRUE(output->open(folder + "/dated.tif", header) &&
                output->write_image(OIIO::TypeDesc::UINT16, grey.data()) && output->close());
    ASSERT_EQ(RunVeldra(folder, "render dated.tif dated-out.tif --quiet").exitCode, 0);
    auto input = OIIO::ImageInput::open(folder + "/dated-out.tif");
    ASSERT_TRUE(input);
    EXPECT_EQ(input->spec().get_string_attribute("DateTime"), "2020:01:02 03:04:05");
}

// Alpha is the channel the file names as alpha: a depth channel is not
// taken for it, two colour channels stay colour, and associated alpha keeps
// its meaning on the way out.
TEST(Faults, ChannelsMeanWhatTheFileSays)
{
    const std::string folder = ScratchFolder("channels");
    WritePassThroughBlock(folder + "/pass.bin");
    auto writeExr = [&](const std::string& name, std::vector<std::string> channels, std::vector<float> values) {
        OIIO::ImageSpec header(1, 1, static_cast<int>(channels.size()), OIIO::TypeDesc::FLOAT);
        header.channelnames = channels;
        header.alpha_channel = -1;
        auto output = OIIO::ImageOutput::create(folder + "/" + name);
        ASSERT_TRUE(output && output->open(folder + "/" + name, header) &&
                    output->write_image(OIIO::TypeDesc::FLOAT, values.data()) && output->close());
    };
    writeExr("rgbz.exr", {"R", "G", "B", "Z"}, {0.25f, 0.5f, 0.75f, 0.0f});
    writeExr("rg.exr", {"R", "G"}, {0.25f, 0.5f});
    RunResult run = RunVeldra(folder, "render rgbz.exr rgbz.png --params pass.bin -d uint16 --quiet");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output, "veldra: warning: rgbz.png: channels Z are not written: png holds colour and alpha"))
        << run.output;
    EXPECT_EQ(ReadPicture(folder + "/rgbz.png").values, (std::vector<std::uint16_t>{16384, 32768, 49151}));
    ASSERT_EQ(RunVeldra(folder, "render rg.exr rg.png --params pass.bin -d uint16 --quiet").exitCode, 0);
    EXPECT_EQ(ReadPicture(folder + "/rg.png").values, (std::vector<std::uint16_t>{16384, 32768, 0}));

    // Associated (premultiplied) alpha in a TIFF: TIFF out keeps numbers
    // and label; PNG out, which holds straight alpha, is divided.
    OIIO::ImageSpec header(1, 1, 4, OIIO::TypeDesc::UINT16);
    const std::uint16_t associated[4] = {10000, 20000, 30000, 32768};
    auto output = OIIO::ImageOutput::create(folder + "/assoc.tif");
    ASSERT_TRUE(output->open(folder + "/assoc.tif", header) &&
                output->write_image(OIIO::TypeDesc::UINT16, associated) && output->close());
    ASSERT_EQ(RunVeldra(folder, "render assoc.tif assoc-out.tif --params pass.bin --quiet").exitCode, 0);
    EXPECT_EQ(ReadPicture(folder + "/assoc-out.tif").values, ReadPicture(folder + "/assoc.tif").values);
    auto input = OIIO::ImageInput::open(folder + "/assoc-out.tif");
    ASSERT_TRUE(input);
    EXPECT_EQ(input->spec().get_int_attribute("oiio:UnassociatedAlpha"), 0) << "labelled straight";
    ASSERT_EQ(RunVeldra(folder, "render assoc.tif assoc.png --params pass.bin --quiet").exitCode, 0);
    EXPECT_EQ(ReadPicture(folder + "/assoc.png").values, (std::vector<std::uint16_t>{19999, 39999, 59999, 32768}));

    // Straight alpha into OpenEXR, which holds associated alpha only.
    WritePicture(folder + "/straight.png", Picture{1, 1, 4, {40000, 20000, 0, 32768}});
    ASSERT_EQ(RunVeldra(folder, "render straight.png straight.exr --params pass.bin --quiet").exitCode, 0);
    input = OIIO::ImageInput::open(folder + "/straight.exr");
    ASSERT_TRUE(input);
    float pixel[4] = {};
    ASSERT_TRUE(input->read_image(0, 0, 0, 4, OIIO::TypeDesc::FLOAT, pixel));
    EXPECT_NEAR(pixel[0], 40000.0 / 65535 * 0.5, 1e-3);
    EXPECT_NEAR(pixel[3], 0.5, 1e-3);
}

// Each step that puts a file in place failing (its flush, its close, its
// rename; made to fail with EIO): one line saying so, the old file as it
// was, and no temporary file left. Without the fault the same command
// writes the file.
TEST(Faults, FailedFlushCloseOrRenameDamagesNothing)
{
    const std::string folder = ScratchFolder("failed-steps");
    WritePicture(folder + "/frame.png", CoordinatePicture(30, 20, 3));
    WriteBytes(folder + "/out.png", "an earlier render");
    const std::vector<std::string> entries = FolderEntries(folder);
    for (const char* step : {"fsync", "close", "rename"}) {
        const RunResult run = RunInShell(
            folder, std::string("VELDRA_TEST_FAIL=") + step + " \"$VELDRA\" render frame.png out.png --end 30 --quiet");
        EXPECT_EQ(run.exitCode, 1) << step;
        EXPECT_TRUE(OneLineNaming(run, "out.png: cannot write: Input/output error")) << step << "\n" << run.output;
        EXPECT_EQ(FileBytes(folder + "/out.png"), "an earlier render") << step;
        EXPECT_EQ(FolderEntries(folder), entries) << step;
    }
    ASSERT_EQ(RunVeldra(folder, "render frame.png out.png --end 30 --quiet").exitCode, 0);
    EXPECT_EQ(ReadPicture(folder + "/out.png").width, 30);
}

// A temporary file is made, never opened where something already is: files
// planted where the next ones will be made (the names made predictable for
// the test) are neither written through nor taken over, and the picture
// goes to the next free name.
TEST(Faults, TemporaryFilesAreNeverOpenedOverPlantedOnes)
{
    const std::string folder = ScratchFolder("planted");
    WritePicture(folder + "/frame.png", CoordinatePicture(30, 20, 4));
    WriteBytes(folder + "/victim", "not to be touched");
    ASSERT_EQ(link((folder + "/victim").c_str(), (folder + "/.veldra-0000000000000000.tmp").c_str()), 0);
    fs::create_symlink(folder + "/victim", folder + "/.veldra-0000000000000001.tmp");
    const RunResult run = RunInShell(folder,
                                     "VELDRA_TEST_PREDICTABLE_NAMES=1 \"$VELDRA\" render frame.png out.png --quiet");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(FileBytes(folder + "/victim"), "not to be touched");
    EXPECT_EQ(FileBytes(folder + "/.veldra-0000000000000000.tmp"), "not to be touched");
    EXPECT_TRUE(fs::is_symlink(folder + "/.veldra-0000000000000001.tmp"));
    EXPECT_EQ(ReadPicture(folder + "/out.png").width, 30);
}

// A signal while a frame is being written, its bytes in a temporary file
// not yet in place (the write held there for the test): after the grace
// period the program ends by the signal, the temporary file removed and the
// old output as it was.
TEST(Faults, SignalWhileWritingLeavesNoTemporaryFile)
{
    const std::string folder = ScratchFolder("signal-writing");
    WritePicture(folder + "/frame.png", CoordinatePicture(30, 20, 5));
    WriteBytes(folder + "/out.png", "an earlier render");
    const RunResult run = RunInShell(
        folder, "VELDRA_TEST_STALL_WRITE=600 \"$VELDRA\" render frame.png out.png --quiet & " + kWaitForTemporary +
                    "kill -TERM $!; wait $!");
    EXPECT_EQ(run.exitCode, 128 + SIGTERM) << run.output;
    EXPECT_TRUE(Has(run.output, "interrupted")) << run.output;
    EXPECT_TRUE(Leftovers(folder).empty());
    EXPECT_EQ(FileBytes(folder + "/out.png"), "an earlier render");
}

// The header check at its edge: a black 4000 x 4000 one-bit PNG deflates
// to about 2 KB, close to the most deflate packs, and is a picture to read;
// the same header over half that data cannot be one and is refused from
// the header, before its pixels are allocated.
TEST(Faults, HeaderSizeLimitAtItsEdge)
{
    const std::string folder = ScratchFolder("header-edge");
    const std::string rows(static_cast<std::size_t>(4000 / 8 + 1) * 4000, '\0');
    const std::string data = Deflated(rows);
    WriteBytes(folder + "/whole.png", PngFile(4000, 4000, 1, data));
    WriteBytes(folder + "/half.png", PngFile(4000, 4000, 1, data.substr(0, data.size() / 2)));
    ASSERT_LT(FileBytes(folder + "/whole.png").size(), 2100u);

    RunResult run = RunVeldra(folder, "render whole.png out.png --quiet");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ReadHeader(folder + "/out.png").width, 4000);
    run = RunVeldra(folder, "render half.png half-out.png --quiet");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(OneLineNaming(run, "half.png: truncated or corrupt: its header claims a 4000 x 4000 picture"))
        << run.output;

    // The widest frame the host's bitmaps hold is a picture; one pixel more
    // is refused by name.
    for (const std::uint32_t width : {65535u, 65536u}) {
        const std::string row = std::string(1, '\0') + std::string((width + 7) / 8, '\0');
        WriteBytes(folder + "/wide.png", PngFile(width, 2, 1, Deflated(row + row)));
        run = RunVeldra(folder, "render wide.png wide-out.png --quiet");
        if (width == 65535u) {
            ASSERT_EQ(run.exitCode, 0) << run.output;
            EXPECT_EQ(ReadHeader(folder + "/wide-out.png").width, 65535);
        } else {
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_TRUE(OneLineNaming(run, "wide.png: the picture is 65536 x 2; frames are at most 65535 x 65535"))
                << run.output;
        }
    }
}
