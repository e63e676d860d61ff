// The parts of `veldra farm` that carry logic, without a cluster: chunks,
// frame sets, records, run folders, squeue's answers, the run's state, the
// command line and the runner of other programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/Arguments.h"
#include "cli/CliHarness.h"
#include "farm/ChunkAttempts.h"
#include "farm/RendererProtocol.h"
#include "farm/FarmActions.h"
#include "farm/LeftoverFiles.h"
#include "farm/WaitPatience.h"
#include "farm/run/FarmFolder.h"
#include "farm/run/KeptOutputs.h"
#include "farm/run/RunFiles.h"
#include "farm/run/RunNames.h"
#include "farm/run/RunState.h"
#include "farm/slurm/Slurm.h"
#include "files/TemporaryNames.h"
#include "filter/RotationParams.h"
#include "messages/Failure.h"
#include "process/ChildProcess.h"
#include "sequence/FrameList.h"

namespace fs = std::filesystem;

namespace {

std::vector<int> Frames(int first, int last)
{
    std::vector<int> frames;
    for (int frame = first; frame <= last; ++frame)
        frames.push_back(frame);
    return frames;
}

std::vector<std::vector<int>> Chunks(const std::vector<int>& frames, int chunkSize)
{
    return MakeSubmission(0, frames, chunkSize).chunks;
}

// A manifest of frames 1-3 submitted from `folder`, with output in it.
FarmManifest SmallManifest(const std::string& folder)
{
    FarmManifest manifest;
    manifest.program = "/bin/veldra";
    manifest.workdir = folder;
    manifest.input = folder + "/in.####.png";
    manifest.output = folder + "/out.####.png";
    manifest.frames = {1, 2, 3};
    manifest.chunk = 2;
    return manifest;
}

// The arguments of `veldra farm WORDS...`.
FarmArguments Farm(std::vector<std::string> words)
{
    words.insert(words.begin(), "farm");
    return ParseArguments(words).farm;
}

}  // namespace

// Every frame lands in exactly one chunk, in order; only the last is short.
TEST(FarmPlan, ChunksCoverTheFramesInOrder)
{
    const auto chunks = Chunks(Frames(1, 24), 5);
    ASSERT_EQ(chunks.size(), 5u);
    EXPECT_EQ(chunks[0], Frames(1, 5));
    EXPECT_EQ(chunks[4], Frames(21, 24));
    EXPECT_EQ(Chunks(Frames(1, 3), 10).size(), 1u);
    EXPECT_EQ(Chunks({4, 9, 30}, 1), (std::vector<std::vector<int>>{{4}, {9}, {30}}));
    EXPECT_TRUE(Chunks({}, 5).empty());
}

// Frame sets read back as they were written, gaps and signs included; the
// run's files are held to the limits of every frame list (a set spanning
// more numbers than a range can count is refused, as render refuses it).
TEST(FarmPlan, FrameSetsRoundTrip)
{
    const std::vector<std::vector<int>> sets = {
        {7}, Frames(1, 24), {1, 2, 3, 5, 7, 8, 9, 12}, {-3, -2, -1, 0, 1}, {2147483640, 2147483641, 2147483647}};
    for (const auto& frames : sets) {
        const std::string text = FrameList::Of(frames).Text();
        EXPECT_EQ(FrameList::Parse("test", text).Frames(), frames) << text;
    }
    EXPECT_EQ(FrameList::Of({}).Text(), "");
    EXPECT_EQ(FrameList::Of({1, 2, 3, 5, 7, 8, 9, 12}).Text(), "1-3,5,7-9,12");
    EXPECT_EQ(FrameList::Of({-3, -2, -1}).Text(), "-3--1");
    for (const char* bad : {"1-", "3-1", "1,,2", "5,3", ",", "1,", "a", "1-2-3", "4,4", "1 -2", "-10,-4,2147483647"})
        EXPECT_THROW(FrameList::Parse("test", bad), Failure) << bad;
}

// The records a task writes read back whole, identities to the
// nanosecond and every bit of a device or inode number; a message can
// never break the one-line format.
TEST(FarmFolder, RecordsRoundTrip)
{
    FrameRecord record;
    record.frame = -12;
    record.ok = true;
    record.attempts = 3;
    record.host = "node7";
    record.job = "1234";
    record.task = "5";
    record.log = "/farm/logs/1234_5.log";
    record.message = "kept from run 20261208-000000 = earlier";
    record.output = FileIdentity{18446744073709551615ull, 9223372036854775809ull, 4096, 1796712081000000007};
    record.input = FileIdentity{2049, 77, 1000, -1};
    record.node = "node7-slurm";
    record.restart = 2;
    record.started = 1796712080.25;
    record.ended = 1796712081.5;
    const FrameRecord back = ParseRecord(FormatRecord(record, "run-a"), "test", -12, "run-a");
    EXPECT_EQ(back.frame, -12);
    EXPECT_TRUE(back.ok);
    EXPECT_EQ(back.attempts, 3);
    EXPECT_EQ(back.host, "node7");
    EXPECT_EQ(back.job, "1234");
    EXPECT_EQ(back.task, "5");
    EXPECT_EQ(back.log, record.log);
    EXPECT_EQ(back.message, record.message);
    EXPECT_EQ(back.output, record.output);
    EXPECT_EQ(back.input, record.input);
    EXPECT_EQ(back.node, "node7-slurm");
    EXPECT_EQ(back.restart, 2);
    EXPECT_EQ(back.started, 1796712080.25);
    EXPECT_EQ(back.ended, 1796712081.5);
    FrameRecord rendering = record;
    rendering.ok = false;
    rendering.rendering = true;
    EXPECT_TRUE(ParseRecord(FormatRecord(rendering, "r"), "test", -12, "r").rendering);
    // A node whose clock stands before 1970 writes times below zero.
    for (const std::int64_t mtime : {std::int64_t{-1}, std::int64_t{-999999999}, std::int64_t{-1000000001}}) {
        FrameRecord early = record;
        early.output->mtimeNs = mtime;
        EXPECT_EQ(ParseRecord(FormatRecord(early, "r"), "test", -12, "r").output, early.output) << mtime;
    }
    FrameRecord failed = record;
    failed.ok = false;
    failed.output.reset();
    failed.input.reset();
    EXPECT_FALSE(ParseRecord(FormatRecord(failed, "r"), "test", -12, "r").output);
    FrameRecord twoLines = record;
    twoLines.message = "first\nsecond";
    EXPECT_THROW(FormatRecord(twoLines, "r"), Failure);
    FrameRecord unproven = record;
    unproven.input.reset();
    EXPECT_THROW(FormatRecord(unproven, "r"), Failure);  // a frame done names what it was made from

    const TaskRecord task{"1234", "5", "node7", true, "timed out", "n7", 1, 1796712080.25, 1796712081.5};
    const TaskRecord taskBack = ParseTaskRecord(FormatTaskRecord(task), "test");
    EXPECT_TRUE(taskBack.ended);
    EXPECT_EQ(taskBack.ending, "timed out");
    EXPECT_EQ(taskBack.node, "n7");
    EXPECT_EQ(taskBack.restart, 1);
    EXPECT_EQ(taskBack.endedAt, 1796712081.5);
    EXPECT_THROW(ParseTaskRecord("job=1\ntask=2\nrestart=0\nstate=maybe\n", "test"), Failure);
    EXPECT_THROW(ParseTaskRecord("job=1\ntask=2\nstate=ended\n", "test"), Failure);  // no restart
}

// A record that is not whole, not this run's or not its frame's proves
// nothing: each is refused with a reason, never read as done.
TEST(FarmFolder, DamagedRecordsAreRefusedWithTheirReason)
{
    FrameRecord record;
    record.frame = 3;
    record.ok = true;
    record.attempts = 1;
    record.output = FileIdentity{1, 2, 3, 4};
    record.input = FileIdentity{5, 6, 7, 8};
    const std::string whole = FormatRecord(record, "run-a");
    const auto why = [](const std::string& text, int frame = 3) {
        try {
            ParseRecord(text, "status/3.txt", frame, "run-a");
        } catch (const Failure& failure) {
            return std::string(failure.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(why(whole), "accepted");
    EXPECT_EQ(why(""), "status/3.txt: is empty");
    const std::string firstLine = whole.substr(0, whole.find('\n') + 1);
    EXPECT_EQ(why(firstLine), "status/3.txt: is cut short or garbled (it does not end with end=3)");
    EXPECT_NE(why(whole.substr(0, whole.size() - 3)).find("cut short"), std::string::npos);
    EXPECT_NE(why(whole.substr(0, whole.find("output-inode")) + "end=3\n").find("without its output's and input's"),
              std::string::npos);
    EXPECT_NE(why(FormatRecord(record, "run-b")).find("another run ('run-b')"), std::string::npos);
    std::string noRestart = whole;
    noRestart.erase(noRestart.find("restart=0\n"), 10);
    EXPECT_EQ(why(noRestart), "status/3.txt: has a bad or missing restart");
    EXPECT_EQ(why(whole, 4), "status/3.txt: is the record of frame 3");  // frame 3's record as frame 4's
    std::string renamed = whole;
    renamed.replace(0, 7, "frame=4");
    EXPECT_EQ(why(renamed), "status/3.txt: is the record of frame 4");
    std::string garbled = whole;
    garbled.replace(garbled.find("state=ok"), 8, "state=o?");
    EXPECT_NE(why(garbled).find("bad or missing state"), std::string::npos);
    std::string badInode = whole;
    badInode.replace(badInode.find("output-inode=2"), 14, "output-inode=x");
    EXPECT_NE(why(badInode).find("without its output's and input's"), std::string::npos);
}

// The latest run is the latest time stamp, then the highest sequence
// number within a second; other names do not count.
TEST(FarmFolder, LatestRunByTimeThenSequence)
{
    EXPECT_EQ(LatestRun({"20261208-002931", "20261208-002931-2", "20261208-002931-10", "20261207-235959"}),
              "20261208-002931-10");
    EXPECT_EQ(LatestRun({"20261208-002931-9", "20261208-002932"}), "20261208-002932");
    EXPECT_EQ(LatestRun({"notes", "20261208-00293", "20261208-002931-", "2026120x-002931"}), std::nullopt);
    EXPECT_EQ(LatestRun({}), std::nullopt);
    // A name made for a time reads back as that time, in UTC, and a name
    // that is no date is no run's.
    EXPECT_EQ(RunNameAt(1796731200, 1), "20261208-120000");
    EXPECT_EQ(RunNameAt(1796731200, 3), "20261208-120000-3");
    EXPECT_EQ(ReadRunName(RunNameAt(1796731259, 3)), std::make_pair(std::time_t{1796731259}, 3L));
    EXPECT_EQ(ReadRunName("20261340-120000"), std::nullopt);
}

// Runs made one after the other are found from the output folder as the
// latest, and from their own folder as themselves; a folder with no run is
// refused.
TEST(FarmFolder, FindsARunFromItsFolderOrTheOutputFolder)
{
    const std::string output = ScratchFolder("farm-find");
    FarmManifest manifest = SmallManifest(output);
    manifest.renderWords = {"in.####.png", "out dir/out.####.png", "--axis", "y"};
    manifest.sbatchOptions = {"--partition=render", "--comment=a=b"};

    const FarmFolder first = FarmFolder::Create(output);
    first.WriteManifest(manifest);
    const FarmFolder second = FarmFolder::Create(output);
    second.WriteManifest(manifest);
    EXPECT_NE(first.Path(), second.Path());
    EXPECT_EQ(FarmFolder::Find(output).Path(), second.Path());
    EXPECT_EQ(FarmFolder::Find(first.Path()).Path(), first.Path());

    const FarmManifest back = FarmFolder::Find(output).ReadManifest();
    EXPECT_EQ(back.frames, manifest.frames);
    EXPECT_EQ(back.input, manifest.input);
    EXPECT_EQ(back.renderWords, manifest.renderWords);
    EXPECT_EQ(back.sbatchOptions, manifest.sbatchOptions);

    EXPECT_THROW(FarmFolder::Find(ScratchFolder("farm-empty")), Failure);
    // A run that never reached Slurm leaves nothing behind.
    second.Discard();
    EXPECT_FALSE(fs::exists(second.Path()));
    EXPECT_EQ(FarmFolder::Find(output).Path(), first.Path());
}

// A run of another format is refused by name, never read as this one's:
// found itself, it says so; among an output folder's runs, it is left out
// with that note while the others are found.
TEST(FarmFolder, RunsOfAnotherFormatAreRefusedByName)
{
    const std::string output = ScratchFolder("farm-format");
    const FarmFolder old = FarmFolder::Create(output);
    old.WriteManifest(SmallManifest(output));
    const FarmFolder current = FarmFolder::Create(output);
    current.WriteManifest(SmallManifest(output + "/other"));
    const std::string text = FileBytes(old.ManifestPath());
    ASSERT_NE(text.find("run-format=1\n"), std::string::npos);
    const auto refusal = [&](const std::string& manifest) {
        WriteBytes(old.ManifestPath(), manifest);
        try {
            old.ReadManifest();
        } catch (const Failure& failure) {
            return std::string(failure.what());
        }
        return std::string("accepted");
    };
    std::string other = text;
    other.replace(other.find("run-format=1"), 12, "run-format=2");
    EXPECT_EQ(refusal(other),
              old.Path() + ": a farm run of another format (2; this veldra reads format 1): submit the shot again");
    std::string none = text;
    none.erase(none.find("run-format=1\n"), 13);
    EXPECT_EQ(refusal(none),
              old.Path() + ": a farm run of another format (none; this veldra reads format 1): submit the shot again");
    std::string relative = text;
    relative.replace(relative.find("input=/"), 7, "input=");
    EXPECT_EQ(refusal(relative), old.ManifestPath() + ": not a complete farm manifest");

    refusal(none);
    std::vector<std::string> notes;
    const std::vector<FarmFolder> latest = FarmFolder::LatestOfEachShot(output, notes);
    ASSERT_EQ(latest.size(), 1u);
    EXPECT_EQ(latest[0].Path(), current.Path());
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("left out " + old.Path() + ": a farm run of another format"), std::string::npos);
}

// A run folder that belongs to someone else, or that others may write to,
// is refused, whether named itself or found as the output folder's latest
// run; listing every run leaves it out and names it.
TEST(FarmFolder, OnlyTheUsersOwnRunsAreTrusted)
{
    const std::string output = ScratchFolder("farm-trust");
    const FarmManifest manifest = SmallManifest(output);
    const FarmFolder mine = FarmFolder::Create(output);
    mine.WriteManifest(manifest);
    const FarmFolder planted = FarmFolder::Create(output);
    planted.WriteManifest(manifest);
    const auto refusal = [](const std::string& dir) {
        try {
            FarmFolder::Find(dir);
        } catch (const Failure& failure) {
            return std::string(failure.what());
        }
        return std::string("accepted");
    };

    fs::permissions(planted.Path(), fs::perms::group_write, fs::perm_options::add);
    EXPECT_NE(refusal(output).find("/.veldra-farm/" + planted.Name() + ": others can write to it (mode 0775)"),
              std::string::npos)
        << refusal(output);
    fs::permissions(planted.Path(), fs::perms::group_write, fs::perm_options::remove);
    fs::permissions(planted.ManifestPath(), fs::perms::others_write, fs::perm_options::add);
    EXPECT_NE(refusal(planted.Path()).find("manifest.txt: others can write to it"), std::string::npos);
    fs::permissions(planted.ManifestPath(), fs::perms::others_write, fs::perm_options::remove);
    EXPECT_EQ(refusal(output), "accepted");
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a folder to another user takes root";
    ASSERT_EQ(chown(planted.Path().c_str(), 65534, 65534), 0);
    EXPECT_NE(refusal(output).find(planted.Name() + ": belongs to uid 65534, not to you (uid 0)"), std::string::npos)
        << refusal(output);
    std::vector<std::string> strangers;
    const auto runs = FarmFolder::AllRuns(output, strangers);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Path(), mine.Path());
    ASSERT_EQ(strangers.size(), 1u);
    ASSERT_EQ(chown((output + "/.veldra-farm").c_str(), 65534, 65534), 0);
    EXPECT_NE(refusal(mine.Path()).find(".veldra-farm: belongs to uid 65534"), std::string::npos);
    EXPECT_THROW(FarmFolder::Create(output), Failure);
}

// A run's records are read only as its own regular files, and written
// only as such: a link (out of the run, or to a device), a FIFO, a file
// longer than a record, a record of another frame's name, are each that
// frame's damaged record, said with why, never a hang or a failure of the
// whole; names that are no frame's record are strays. Writing a record
// replaces whatever stands there, never what a link points to.
TEST(FarmFolder, RecordsAreReadAndWrittenOnlyAsTheRunsOwnFiles)
{
    const std::string output = ScratchFolder("farm-records");
    const FarmFolder run = FarmFolder::Create(output);
    run.WriteManifest(SmallManifest(output));
    FrameRecord record;
    record.frame = 1;
    record.ok = true;
    record.attempts = 1;
    record.output = FileIdentity{1, 2, 3, 4};
    record.input = FileIdentity{5, 6, 7, 8};
    run.WriteRecord(record);
    struct stat info {};
    ASSERT_EQ(stat(run.RecordPath(1).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u & ~static_cast<unsigned>(umask(umask(0)))) << "records are private";

    const std::string status = run.Path() + "/status/";
    WriteBytes(output + "/outside.txt", "not a record");
    fs::create_symlink(output + "/outside.txt", status + "2.txt");
    fs::create_symlink("/dev/zero", status + "3.txt");
    ASSERT_EQ(mkfifo((status + "4.txt").c_str(), 0600), 0);
    WriteBytes(status + "5.txt", std::string(kMostRecordBytes + 1, 'x'));
    WriteBytes(status + "6.txt", FileBytes(status + "1.txt"));  // frame 1's record under frame 6's name
    for (const char* stray : {"notes.txt", "06.txt", "7.txt.bak"})
        WriteBytes(status + stray, "");
    const RunRecords read = run.ReadRecords({1, 2, 3, 4, 5, 6});
    ASSERT_EQ(read.records.size(), 1u);
    EXPECT_EQ(read.records[0].output, record.output);
    ASSERT_EQ(read.damaged.size(), 5u);
    const std::vector<std::pair<int, std::string>> reasons = {{2, "is a symbolic link, not a file (not followed)"},
                                                              {3, "is a symbolic link, not a file (not followed)"},
                                                              {4, "is a FIFO, not a file"},
                                                              {5, "longer than a farm run's file can be (65536 bytes)"},
                                                              {6, "is the record of frame 1"}};
    for (std::size_t i = 0; i < reasons.size(); ++i) {
        EXPECT_EQ(read.damaged[i].frame, reasons[i].first);
        EXPECT_EQ(read.damaged[i].why, status + std::to_string(reasons[i].first) + ".txt: " + reasons[i].second);
    }
    EXPECT_EQ(read.strays, (std::vector<std::string>{"06.txt", "7.txt.bak", "notes.txt"}));

    for (const int frame : {2, 3, 4}) {
        record.frame = frame;
        run.WriteRecord(record);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(status + std::to_string(frame) + ".txt"))) << frame;
    }
    EXPECT_EQ(FileBytes(output + "/outside.txt"), "not a record");
    EXPECT_EQ(run.ReadRecords({1, 2, 3, 4, 5, 6}).records.size(), 4u);
}

// A submission is written only where none is: a second retry of the run
// cannot take its number and hide the first one's job.
TEST(FarmFolder, SubmissionsAreNeverWrittenOver)
{
    const std::string output = ScratchFolder("farm-submissions");
    const FarmFolder run = FarmFolder::Create(output);
    run.WriteManifest(SmallManifest(output));
    Submission first = MakeSubmission(1, {1, 2}, 2);
    run.AddSubmission(first);
    first.arrayJob = "77";
    run.WriteSubmission(first);
    try {
        run.AddSubmission(MakeSubmission(1, {3}, 2));
        ADD_FAILURE() << "a submission was written over";
    } catch (const Failure& failure) {
        EXPECT_NE(std::string(failure.what()).find("/submissions/1.txt: exists already"), std::string::npos);
    }
    WriteBytes(run.Path() + "/submissions/notes.txt", "");
    std::vector<std::string> notes;
    const auto submissions = run.ReadSubmissions(2, &notes);
    ASSERT_EQ(submissions.size(), 1u);
    EXPECT_EQ(submissions[0].arrayJob, "77");
    EXPECT_EQ(submissions[0].frames, (std::vector<int>{1, 2}));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("submissions/notes.txt: no submission of the run"), std::string::npos);
}

// An output folder copied or moved, its farm folder with it, is looked at
// where it is found, saying where the run renders; an output folder of
// several shots stands for the latest run of each.
TEST(FarmFolder, RunsAreLookedAtWhereTheyAreFound)
{
    const std::string output = ScratchFolder("farm-found");
    FarmManifest beauty = SmallManifest(output);
    beauty.output = output + "/beauty.####.png";
    FarmManifest depth = beauty;
    depth.output = output + "/depth.####.png";
    FarmFolder::Create(output).WriteManifest(beauty);
    const FarmFolder depthRun = FarmFolder::Create(output);
    depthRun.WriteManifest(depth);
    const FarmFolder beautyRun = FarmFolder::Create(output);
    beautyRun.WriteManifest(beauty);
    std::vector<std::string> notes;
    const auto latest = FarmFolder::LatestOfEachShot(output, notes);
    ASSERT_EQ(latest.size(), 2u);
    EXPECT_EQ(latest[0].Path(), depthRun.Path());
    EXPECT_EQ(latest[1].Path(), beautyRun.Path());
    EXPECT_TRUE(notes.empty());

    std::string rendersInto;
    EXPECT_EQ(beautyRun.ReadManifestWhereFound(rendersInto).output, beauty.output);
    EXPECT_EQ(rendersInto, "");
    const std::string copy = ScratchFolder("farm-found-copy");
    fs::copy(output + "/.veldra-farm", copy + "/.veldra-farm", fs::copy_options::recursive);
    const FarmFolder copied = FarmFolder::Find(copy);
    EXPECT_EQ(copied.OutputFolder(), copy);
    EXPECT_EQ(copied.ReadManifestWhereFound(rendersInto).output, copy + "/beauty.####.png");
    EXPECT_EQ(rendersInto, output);

    // A farm folder that is the user's own link to a folder elsewhere (a
    // scratch disk) is theirs to make: its runs still render into the
    // output folder the link stands in, however they are found.
    const std::string linked = ScratchFolder("farm-found-linked");
    fs::create_symlink(ScratchFolder("farm-found-store"), linked + "/.veldra-farm");
    const FarmManifest shot = SmallManifest(linked);
    const FarmFolder made = FarmFolder::Create(linked);
    made.WriteManifest(shot);
    for (const FarmFolder& found :
         {FarmFolder::Find(linked), FarmFolder::Find(made.Path()), FarmFolder::LatestOfEachShot(linked, notes).at(0)}) {
        EXPECT_EQ(found.Path(), made.Path());
        EXPECT_EQ(found.ReadManifestWhereFound(rendersInto).output, shot.output);
        EXPECT_EQ(rendersInto, "");
    }
    EXPECT_TRUE(notes.empty());
}

// A movie run renders into its own frames/ and is in place while its run
// folder is, also once the frames are encoded and their folder is gone.
TEST(FarmFolder, AMovieRunsFramesAreLookedForInItsRunFolder)
{
    const std::string output = ScratchFolder("farm-movie-found");
    const FarmFolder run = FarmFolder::Create(output);
    FarmManifest manifest = SmallManifest(output);
    manifest.output = run.FramesPath() + "/f.########.tif";
    run.WriteManifest(manifest);
    std::string rendersInto = "?";
    EXPECT_EQ(run.ReadManifestWhereFound(rendersInto).output, manifest.output);
    EXPECT_EQ(rendersInto, "");

    const std::string copy = ScratchFolder("farm-movie-found-copy");
    fs::copy(output + "/.veldra-farm", copy + "/.veldra-farm", fs::copy_options::recursive);
    const FarmFolder copied = FarmFolder::Find(copy);
    EXPECT_EQ(copied.ReadManifestWhereFound(rendersInto).output, copied.FramesPath() + "/f.########.tif");
    EXPECT_EQ(rendersInto, run.FramesPath());
}

// The temporary files a killed renderer left are found by their tag and
// removed; the files of other tasks and of other programs stay.
TEST(FarmFolder, LeftoversOfAKilledRendererAreRemoved)
{
    const std::string folder = ScratchFolder("farm-leftovers");
    const std::string tag = TemporaryTagOf("120", "3");
    const std::string mine = TemporaryName(0x0123456789abcdef, tag);
    EXPECT_EQ(mine, ".veldra-farm120_3-0123456789abcdef.tmp");
    for (const std::string& name :
         std::vector<std::string>{mine, TemporaryName(7, TemporaryTagOf("120", "30")), TemporaryName(7), mine + ".png",
                                  ".veldra-farm120_3-notdigits.tmp", "f.3.png"})
        WriteBytes(folder + "/" + name, "x");
    EXPECT_EQ(RemoveLeftovers(FolderOfPattern(folder + "/f.#.png"), tag), 1);
    EXPECT_EQ(FolderEntries(folder).size(), 5u);
    EXPECT_FALSE(Exists(folder + "/" + mine));
}

// squeue's lines become one entry per array task, pending ranges and
// throttles included; plain jobs keep no task. How a job ended reads from
// its state, reason and wait status.
TEST(Slurm, QueueLinesAndEndings)
{
    const auto real = ParseQueue(
        "100|0-2%2|PENDING|JobArrayTaskLimit|0|\n"
        "100|[5,7-8]|PENDING|Priority|0|\n"
        "100|3|RUNNING|None|0|\n"
        "101|N/A|PENDING|Dependency|0|\n"
        "a line of another shape\n");
    ASSERT_EQ(real.size(), 8u);
    EXPECT_EQ(real[0].job, "100");
    EXPECT_EQ(real[2].task, 2);
    EXPECT_EQ(real[3].task, 5);
    EXPECT_EQ(real[5].task, 8);
    EXPECT_EQ(real[6].state, "RUNNING");
    EXPECT_EQ(real[7].task, std::nullopt);
    EXPECT_EQ(real[7].reason, "Dependency");

    EXPECT_TRUE(IsActive("PENDING"));
    EXPECT_TRUE(IsActive("COMPLETING"));
    EXPECT_FALSE(IsActive("CANCELLED"));
    EXPECT_FALSE(IsActive("COMPLETED"));

    const auto ending = [](const std::string& line) { return EndingOf(ParseQueue(line).at(0)); };
    EXPECT_EQ(ending("7|0|COMPLETED|None|0|"), "completed");
    EXPECT_EQ(ending("7|0|FAILED|NonZeroExitCode|768|"), "failed with exit code 3");
    EXPECT_EQ(ending("7|0|FAILED|JobLaunchFailure|4021|").find("could not be launched"), 0u);
    EXPECT_EQ(ending("7|0|FAILED|None|11|").find("was ended by signal 11"), 0u);
    // Killed outright, a task is called a launch failure by Slurm too.
    EXPECT_EQ(ending("7|0|FAILED|JobLaunchFailure|9|"),
              "was ended by signal 9 (Killed): out of memory (the kernel kills so), or killed by hand");
    EXPECT_EQ(ending("7|0|TIMEOUT|TimeLimit|15|"), "timed out");
    EXPECT_EQ(ending("7|0|CANCELLED|None|15|"), "was cancelled");
    EXPECT_EQ(ending("7|0|NODE_FAIL|None|0|"), "ended when its node failed");
    EXPECT_EQ(ending("7|0|OUT_OF_MEMORY|OutOfMemory|0|"), "ran out of memory");
}

// A request no node can meet will never start; nodes that are not there
// yet (as after a controller restarts) and holds may pass; the reasons
// every job meets on its way are nothing to say.
TEST(Slurm, PendingReasonsNeverOrForNow)
{
    EXPECT_TRUE(ReadPendingReason("PartitionConfig")->never);
    EXPECT_TRUE(ReadPendingReason("DependencyNeverSatisfied")->never);
    EXPECT_FALSE(ReadPendingReason("ReqNodeNotAvail, UnavailableNodes:n1")->never);
    EXPECT_FALSE(ReadPendingReason("JobHeldUser")->never);
    EXPECT_FALSE(ReadPendingReason("Priority"));
    EXPECT_FALSE(ReadPendingReason("Dependency"));
}

// Slurm reads %-patterns in the whole --output path, and none at all in a
// path with a backslash: a folder's own '%' must be doubled, and a
// backslash folder gets one shared file named as it stands.
TEST(Slurm, OutputPathsSlurmCannotMisread)
{
    EXPECT_EQ(SlurmOutputPath("/r/logs", "%A_%a.log", "slurm.log"), "/r/logs/%A_%a.log");
    EXPECT_EQ(SlurmOutputPath("/r/job%j/v2%/logs", "%A_%a.log", "slurm.log"), "/r/job%%j/v2%%/logs/%A_%a.log");
    EXPECT_EQ(SlurmOutputPath("/r/back\\slash/50%/logs", "%A_%a.log", "slurm.log"),
              "/r/back\\\\slash/50%/logs/slurm.log");
}

namespace {

// A run of frames 1-12 in chunks of 5: the first submission's tasks hold
// [1-5] [6-10] [11-12]; the second retries frames 3 and 11-12 in one task.
struct RunFixture {
    FarmManifest manifest;
    std::vector<Submission> submissions;
    RunFixture()
    {
        manifest.frames = Frames(1, 12);
        manifest.chunk = 5;
        manifest.output = "/out/f.#.png";
        submissions = {MakeSubmission(0, Frames(1, 12), 5), MakeSubmission(1, {3, 11, 12}, 5)};
        submissions[0].arrayJob = "100";
        submissions[0].reportJob = "101";
        submissions[1].arrayJob = "200";
        submissions[1].reportJob = "201";
    }
};

// The output every ok record of these tests names, and its input.
constexpr FileIdentity kWritten{1, 10, 10, 1000};
constexpr FileIdentity kRead{1, 20, 50, 500};

FrameRecord Record(int frame, bool ok)
{
    FrameRecord record;
    record.frame = frame;
    record.ok = ok;
    record.attempts = 1;
    record.host = "h";
    record.node = "n";
    record.job = "100";
    record.task = "0";
    record.log = "/l";
    record.message = ok ? "" : "bad " + std::to_string(frame);
    if (ok) {
        record.output = kWritten;
        record.input = kRead;
    }
    return record;
}

RunRecords Whole(std::vector<FrameRecord> records) { return RunRecords{std::move(records), {}, {}}; }

// Every output is there, as written.
std::optional<FileIdentity> AsWritten(int) { return kWritten; }

}  // namespace

// Done follows the records; anything else follows the task of the latest
// submission holding the frame, and falls back on the record once Slurm
// has let the task go.
TEST(RunState, RecordsAndLiveTasksCombine)
{
    const RunFixture run;
    const RunRecords records = Whole({Record(1, true), Record(2, false), Record(3, false), Record(4, true),
                                      Record(5, true), Record(6, false), Record(11, false)});
    const std::vector<LiveJob> live = {{"100", 1, "RUNNING", "None"},
                                       {"100", 0, "COMPLETED", "None"},
                                       {"101", std::nullopt, "PENDING", "Dependency"},
                                       {"200", 0, "PENDING", "PartitionConfig"},
                                       {"201", std::nullopt, "PENDING", "Dependency"}};
    const RunState state = ComputeRunState(run.manifest, run.submissions, records, {}, live, AsWritten);
    EXPECT_EQ(state.done, (std::vector<int>{1, 4, 5}));
    EXPECT_EQ(state.running, Frames(6, 10));
    EXPECT_EQ(state.pending, (std::vector<int>{3, 11, 12}));
    EXPECT_EQ(state.failed, (std::vector<int>{2}));
    EXPECT_TRUE(state.notRun.empty());
    ASSERT_EQ(state.failures.size(), 1u);
    EXPECT_EQ(state.failures[0].message, "bad 2");
    EXPECT_EQ(state.activeJobs, (std::vector<std::string>{"100", "101", "200", "201"}));
    ASSERT_EQ(state.neverStart.size(), 1u);
    EXPECT_NE(state.neverStart[0].find("job 200"), std::string::npos);

    // Slurm has forgotten every job: records decide, the rest never ran.
    const RunState later = ComputeRunState(run.manifest, run.submissions, records, {}, {}, AsWritten);
    EXPECT_TRUE(later.Finished());
    EXPECT_EQ(later.failed, (std::vector<int>{2, 3, 6, 11}));
    EXPECT_EQ(later.notRun, (std::vector<int>{7, 8, 9, 10, 12}));
    const std::string text = FormatRunState(later, run.manifest, run.submissions, "/run");
    EXPECT_NE(text.find("failed:    4 frames: 2-3,6,11\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  2: bad 2 (1 attempt on n; log /l)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("never ran: 5 frames: 7-10,12\n"), std::string::npos) << text;
    EXPECT_NE(text.find("veldra farm retry /run renders the 9 frames"), std::string::npos) << text;
}

// A frame is done only while its output is the file its record names: a
// deleted output is missing, and so is one replaced by another file of the
// same size and time (as on a file system of whole seconds); a frame whose
// record is damaged is neither done nor failed; retry renders them all
// again. Suspended tasks are said as such, and stray files noted.
TEST(RunState, DoneOnlyWhileTheOutputIsTheOneWritten)
{
    RunFixture run;
    run.submissions.resize(1);
    RunRecords records;
    for (int frame = 1; frame <= 11; ++frame)
        records.records.push_back(Record(frame, true));
    records.damaged = {{12, "/run/status/12.txt: is empty"}};
    records.strays = {"notes.txt", "012.txt"};
    const auto outputs = [](int frame) -> std::optional<FileIdentity> {
        if (frame == 3 || frame == 4)
            return std::nullopt;  // deleted
        if (frame == 7)
            return FileIdentity{1, 11, 10, 1000};  // another file, of the same size and time
        return kWritten;
    };
    const RunState state = ComputeRunState(run.manifest, run.submissions, records, {}, {}, outputs);
    EXPECT_EQ(state.missing, (std::vector<int>{3, 4, 7}));
    EXPECT_EQ(state.replaced, (std::vector<int>{7}));
    ASSERT_EQ(state.damaged.size(), 1u);
    EXPECT_EQ(state.damaged[0].frame, 12);
    EXPECT_FALSE(state.AllDone());
    EXPECT_EQ(state.ToRender(), (std::vector<int>{3, 4, 7, 12}));
    const std::string text = FormatRunState(state, run.manifest, run.submissions, "/run");
    EXPECT_NE(text.find("missing since done: 3 frames: 3-4,7\n"
                        "  3-4: /out/f.3.png ... /out/f.4.png are gone\n"
                        "  7: /out/f.7.png is not the file written then (replaced since)\n"
                        "record damaged: 1 frame: 12\n"
                        "  12: /run/status/12.txt: is empty\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("note: ignored 2 file(s) of the status room that are no frame's record: notes.txt, 012.txt\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("every frame is done"), std::string::npos) << text;

    // Being rendered again, a missing frame is running, not missing; a
    // suspended task's frames are suspended, not pending.
    const RunState again = ComputeRunState(run.manifest, run.submissions, records, {},
                                           {{"100", 0, "RUNNING", "None"}, {"100", 2, "SUSPENDED", "None"}}, outputs);
    EXPECT_EQ(again.running, (std::vector<int>{3, 4}));
    EXPECT_EQ(again.suspended, (std::vector<int>{12}));
    EXPECT_EQ(again.missing, (std::vector<int>{7}));
    EXPECT_TRUE(again.damaged.empty());
    EXPECT_NE(FormatRunState(again, run.manifest, run.submissions, "/run").find("suspended: 1 frame: 12\n"),
              std::string::npos);
}

// Frames that never ran say how their task ended: Slurm's word while it
// remembers the task, else the task's own record, and a task that started
// and never said how it ended was killed.
TEST(RunState, NeverRunFramesSayHowTheirTaskEnded)
{
    RunFixture run;
    run.submissions.resize(1);
    const RunRecords records = Whole({Record(1, true), Record(6, true), Record(11, true)});
    const std::vector<LiveJob> live = {{"100", 0, "TIMEOUT", "TimeLimit", 15}};
    const std::vector<TaskRecord> tasks = {
        TaskRecord{"100", "0", "h", true, "was cancelled", "n"},  // Slurm's word wins
        TaskRecord{"100", "1", "h", false, "", "n7"}};
    const RunState state = ComputeRunState(run.manifest, run.submissions, records, tasks, live, AsWritten);
    ASSERT_EQ(state.endings.size(), 3u);
    EXPECT_EQ(state.endings[0].frames, Frames(2, 5));
    EXPECT_EQ(state.endings[0].ending, "timed out");
    EXPECT_EQ(state.endings[1].frames, Frames(7, 10));
    EXPECT_EQ(state.endings[1].ending, "stopped without a word on n7: it was killed, or its node was lost");
    EXPECT_EQ(state.endings[2].frames, (std::vector<int>{12}));
    EXPECT_NE(state.endings[2].ending.find("left no record"), std::string::npos);
    const std::string text = FormatRunState(state, run.manifest, run.submissions, "/run");
    EXPECT_NE(text.find("never ran: 9 frames: 2-5,7-10,12\n  2-5: task 0 of job 100 timed out\n"), std::string::npos)
        << text;
}

// --wait bears with a controller that does not answer and with jobs held
// up for reasons that may pass, each for ten minutes, saying so once and
// when it ends; it stops at once only when the run has ended or a job can
// never start.
TEST(WaitPatience, RidesOutOutagesAndEndsOnlyForCause)
{
    RunState running;
    running.activeJobs = {"100", "101"};
    running.tasksActive = true;
    running.running = {1};
    RunState ended;  // every frame done; only the report job is left
    ended.activeJobs = {"101"};
    RunState failedRun;
    failedRun.failed = {3};

    WaitPatience patience(0);
    EXPECT_FALSE(patience.Answer(1, running).end);
    WaitPatience::Step step = patience.NoAnswer(2, "squeue failed: Unable to contact slurm controller");
    EXPECT_FALSE(step.end);
    ASSERT_EQ(step.notes.size(), 1u);
    EXPECT_NE(step.notes[0].find("no answer from Slurm"), std::string::npos);
    EXPECT_TRUE(patience.NoAnswer(11, "again").notes.empty());  // said once
    step = patience.Answer(12, running);
    EXPECT_FALSE(step.end);
    EXPECT_EQ(step.notes, std::vector<std::string>{"Slurm answers again"});
    step = patience.Answer(13, ended);
    EXPECT_TRUE(step.end);
    EXPECT_EQ(step.exitCode, 0);
    EXPECT_EQ(WaitPatience(0).Answer(1, failedRun).exitCode, 1);

    // Ten minutes after the last answer, and no sooner, it gives up.
    WaitPatience silent(0);
    silent.Answer(5, running);
    EXPECT_FALSE(silent.NoAnswer(5 + kPatienceSeconds - 1, "down").end);
    step = silent.NoAnswer(5 + kPatienceSeconds, "down");
    EXPECT_TRUE(step.end);
    EXPECT_EQ(step.exitCode, 1);
    EXPECT_NE(step.failure.find("no answer from Slurm for 10 minutes"), std::string::npos);

    RunState held = running;
    held.waiting = {"job 100 is pending (ReqNodeNotAvail): the nodes it needs are not available (yet)"};
    WaitPatience waiting(0);
    EXPECT_EQ(waiting.Answer(1, held).notes.size(), 1u);
    EXPECT_TRUE(waiting.Answer(2, held).notes.empty());
    EXPECT_FALSE(waiting.Answer(3, running).end);  // the nodes came back
    EXPECT_FALSE(waiting.Answer(4, held).end);
    EXPECT_FALSE(waiting.Answer(4 + kPatienceSeconds - 1, held).end);
    EXPECT_TRUE(waiting.Answer(4 + kPatienceSeconds, held).end);

    RunState stuck = running;
    stuck.neverStart = {"job 100 is pending (PartitionConfig)"};
    step = WaitPatience(0).Answer(1, stuck);
    EXPECT_TRUE(step.end);
    EXPECT_EQ(step.exitCode, 1);
    // Often at first, then every few seconds: a long wait looks no more
    // often than that, nor so seldom that its end goes unseen for long.
    EXPECT_LT(PollInterval(0), PollInterval(30));
    EXPECT_GE(PollInterval(3600), 2.0);
    EXPECT_LE(PollInterval(3600), 5.0);
}

// The farm's own options come out; render options stay for the tasks,
// checked as `veldra render` checks them; sbatch gets what follows "--".
// Retry takes the options of a submission, and its own sbatch words.
TEST(FarmArguments, SubmitAndRetrySplitFarmRenderAndSbatchWords)
{
    const FarmArguments farm = Farm({"submit", "in.####.png", "--chunk", "5", "out.####.png", "--axis=y",
                                     "--max-parallel=2", "--retries", "0", "--wait", "--frames", "1-24",
                                     "--keep-existing", "--", "--account=vfx", "--chunk=9"});
    EXPECT_EQ(farm.action, FarmArguments::Action::Submit);
    EXPECT_EQ(farm.chunk, 5);
    EXPECT_EQ(farm.maxParallel, 2);
    EXPECT_EQ(farm.retries, 0);
    EXPECT_TRUE(farm.wait);
    EXPECT_TRUE(farm.keepExisting);
    EXPECT_EQ(farm.sbatchExtra, (std::vector<std::string>{"--account=vfx", "--chunk=9"}));
    EXPECT_EQ(farm.taskOptions, (std::vector<std::string>{"--axis=y"}));
    EXPECT_EQ(farm.render.frames->Last(), 24);
    EXPECT_EQ(Farm({"submit", "a.#.png", "b.#.png", "--chunk", "2", "--save-params", "s.blk"}).saveParamsFile, "s.blk");

    EXPECT_THROW(Farm({"submit", "a.#.png", "b.#.png"}), Failure);  // no --chunk
    EXPECT_THROW(Farm({"submit", "a.#.png", "b.#.png", "--chunk", "0"}), Failure);
    EXPECT_THROW(Farm({"submit", "a.#.png", "b.#.png", "--chunk", "2", "--axis", "w"}), Failure);
    EXPECT_THROW(Farm({"status"}), Failure);
    EXPECT_THROW(Farm({"status", "dir", "--wait"}), Failure);
    EXPECT_THROW(Farm({"cancel", "dir", "--", "--x"}), Failure);
    // What the farm decides itself is not sbatch's to change, however
    // spelt; other options pass.
    for (const std::vector<std::string>& words : {std::vector<std::string>{"--array=0-3"},
                                                  {"--arr", "0-3"},
                                                  {"-a", "1"},
                                                  {"-a1"},
                                                  {"-Ha1"},
                                                  {"--output=x"},
                                                  {"-o", "x"},
                                                  {"--error", "x"},
                                                  {"-e", "x"},
                                                  {"--dependency=afterok:1"},
                                                  {"-d", "singleton"},
                                                  {"--chdir=/"},
                                                  {"-D", "/"},
                                                  {"--export=NONE"},
                                                  {"--open-mode=truncate"},
                                                  {"--comment=x"}}) {
        std::vector<std::string> submit = {"submit", "a.#.png", "b.#.png", "--chunk", "2", "--"};
        submit.insert(submit.end(), words.begin(), words.end());
        EXPECT_THROW(Farm(submit), Failure) << words[0];
        std::vector<std::string> retry = {"retry", "dir", "--"};
        retry.insert(retry.end(), words.begin(), words.end());
        EXPECT_THROW(Farm(retry), Failure) << words[0];
    }
    EXPECT_EQ(Farm({"submit", "a.#.png", "b.#.png", "--chunk", "2", "--", "-A", "vfx", "--exclusive", "-c4", "-H",
                    "--mem=2G", "--export-file=f"})
                  .sbatchExtra.size(),
              7u);
    EXPECT_THROW(Farm({"resubmit", "dir"}), Failure);

    const FarmArguments retry = Farm({"retry", "dir", "--time", "5", "--partition=big", "--cpus-per-task", "2",
                                      "--retries", "1", "--wait", "--", "--mem=2G"});
    EXPECT_EQ(retry.dir, "dir");
    EXPECT_EQ(retry.timeLimit, "5");
    EXPECT_EQ(retry.partition, "big");
    EXPECT_EQ(retry.cpusPerTask, 2);
    EXPECT_EQ(retry.retries, 1);
    EXPECT_TRUE(retry.wait);
    EXPECT_EQ(retry.sbatchExtra, std::vector<std::string>{"--mem=2G"});
    EXPECT_EQ(Farm({"retry", "dir"}).retries, std::nullopt);  // the run's own
}

// Tasks get the render options without what the farm sets itself (the
// frames, range, block and module, which it hands on absolute), in either
// spelling; a chunk reads them back as a render does.
TEST(FarmArguments, TaskOptionsDropWhatTheFarmSets)
{
    EXPECT_EQ(Farm({"submit", "in.#.png", "out.#.png", "--frames", "1-9", "--range=1-20", "--params", "p.blk", "--axis",
                    "z", "--jobs=4", "--quiet", "--save-params", "s.blk", "--end", "30", "--chunk", "3"})
                  .taskOptions,
              (std::vector<std::string>{"--axis", "z", "--end", "30"}));
    const FarmArguments shortly = Farm({"submit", "in.#.png", "out.#.png", "-f", "1-9", "-r1-20", "-j2", "-q", "-a",
                                        "x", "-s", "-30", "--chunk=3", "--module", "m.flt"});
    EXPECT_EQ(shortly.taskOptions, (std::vector<std::string>{"-a", "x", "-s", "-30"}));
    EXPECT_EQ(shortly.modulePath, "m.flt");
    EXPECT_THROW(Farm({"submit", "in.#.png", "out.#.png", "-n", "--chunk", "3"}), Failure);
}

// A task's order reaches its render process whole: every field back as
// sent, render words that look like the order's own options included, and
// the renderer's command line reads the render from it as a render would.
TEST(RendererProtocol, ChunkOrdersRoundTrip)
{
    ChunkOrder order;
    order.run = "/out/.veldra-farm/20261208-120000";
    order.firstAttempt = 2;
    order.retries = 1;
    order.frames = {-3, 4, 6, 7};
    order.range = {-10, -1};
    order.params = "/run/params.blk";
    order.jobs = 2;
    order.renderWords = {"/in.#.png", "/out.#.png", "-a", "x", "--module", "/m.flt", "--start", "--frames"};
    const std::vector<std::string> words = EncodeChunkOrder(order);
    const ChunkOrder back = DecodeChunkOrder(words);
    EXPECT_EQ(back.run, order.run);
    EXPECT_EQ(back.firstAttempt, 2);
    EXPECT_EQ(back.retries, 1);
    EXPECT_EQ(back.frames, order.frames);
    EXPECT_EQ(back.range.first, -10);
    EXPECT_EQ(back.range.last, -1);
    EXPECT_EQ(back.params, order.params);
    EXPECT_EQ(back.jobs, 2);
    EXPECT_EQ(back.renderWords, order.renderWords);

    order.renderWords = {"/in.#.png", "/out.#.png", "-a", "x", "--module", "/m.flt"};
    std::vector<std::string> command = {"chunk"};
    for (const std::string& word : EncodeChunkOrder(order))
        command.push_back(word);
    const FarmArguments chunk = Farm(command);
    EXPECT_EQ(chunk.action, FarmArguments::Action::Chunk);
    EXPECT_EQ(chunk.dir, order.run);
    EXPECT_EQ(chunk.firstAttempt, 2);
    EXPECT_EQ(chunk.retries, 1);
    EXPECT_EQ(chunk.jobs, 2);
    EXPECT_EQ(chunk.render.frames->Text(), "-3,4,6-7");
    EXPECT_EQ(chunk.render.range->first, -10);
    EXPECT_EQ(chunk.render.input, "/in.#.png");
    EXPECT_EQ(chunk.render.paramsFile, "/run/params.blk");
    EXPECT_EQ(chunk.render.settings.axis, std::optional<std::int32_t>(AxisX));
    EXPECT_EQ(chunk.modulePath, "/m.flt");

    // An order short of what the farm gives, or with a stray option, is refused.
    const auto refused = [&](std::vector<std::string> changed) {
        try {
            DecodeChunkOrder(changed);
        } catch (const Failure& failure) {
            return std::string(failure.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(refused({"/run", "--attempt", "1", "--", "/in.#.png"}),
              "farm chunk: give --frames, --range and --params");
    EXPECT_EQ(refused({"/run", "--frames"}), "farm chunk: --frames needs a value");
    EXPECT_EQ(refused({"/run", "--attempt", "0", "--"}), "farm chunk: --attempt: bad value '0'");
    EXPECT_EQ(refused({"/run", "--axis", "x", "--"}), "farm chunk: unknown option --axis");
    std::vector<std::string> cut = words;
    cut.erase(std::find(cut.begin(), cut.end(), "--"), cut.end());
    EXPECT_EQ(refused(cut), "farm chunk: give the render's words after --");
}

// A chunk's render process says what it starts and finishes; a process
// that ends under a frame has that frame tried alone until its attempts
// are spent, the frames it never reached go on together, and a process
// that says nothing at all is not started again.
TEST(ChunkAttempts, ACrashCostsOnlyItsOwnFrame)
{
    for (const auto& [line, frame, attempt, finished] :
         std::vector<std::tuple<std::string, int, int, bool>>{{StartLine(-7, 3), -7, 3, false},
                                                              {FinishLine(12, true, ""), 12, 0, true},
                                                              {FinishLine(12, false, "x: bad"), 12, 0, true}}) {
        const auto event = ReadProgressLine(line);
        ASSERT_TRUE(event) << line;
        EXPECT_EQ(event->frame, frame);
        EXPECT_EQ(event->attempt, attempt);
        EXPECT_EQ(event->finished, finished);
    }
    // A failure's message comes back whole, and says when the frame could
    // not be recorded.
    const auto failed = ReadProgressLine(FinishLine(5, false, "in.5.png: failed: bad"));
    ASSERT_TRUE(failed);
    EXPECT_FALSE(failed->ok);
    EXPECT_EQ(failed->message, "in.5.png: failed: bad");
    EXPECT_EQ(failed->unrecorded, "");
    const auto unrecorded = ReadProgressLine(FinishLine(5, false, UnrecordedMessage("status/5.txt: disk full")));
    ASSERT_TRUE(unrecorded);
    EXPECT_EQ(unrecorded->unrecorded, "status/5.txt: disk full");
    EXPECT_EQ(ReadErrorLine("veldra: in.png: cannot open"), "in.png: cannot open");
    EXPECT_EQ(ReadErrorLine("veldra: warning: in.png: no alpha"), std::nullopt);
    for (const char* other : {"frame 7, attempt 1 failed: in.png: rendering", "frame x: done", "veldra: warning",
                              "frame 7, attempt 0: rendering", "frame 7, attempt 1: rendering later"})
        EXPECT_FALSE(ReadProgressLine(other)) << other;

    ChunkAttempts chunk({1, 2, 3, 4}, 2);
    auto run = chunk.Next();
    ASSERT_TRUE(run);
    EXPECT_EQ(run->frames, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(run->firstAttempt, 1);
    chunk.Heard(*ReadProgressLine(StartLine(1, 1)));
    chunk.Heard(*ReadProgressLine(FinishLine(1, true, "")));
    chunk.Heard(*ReadProgressLine(StartLine(2, 1)));  // and then the process dies
    run = chunk.Next();
    ASSERT_TRUE(run);
    EXPECT_EQ(run->frames, std::vector<int>{2});
    EXPECT_EQ(run->firstAttempt, 2);
    chunk.Heard(*ReadProgressLine(StartLine(2, 2)));  // dies again: its attempts are spent
    run = chunk.Next();
    ASSERT_TRUE(run);
    EXPECT_EQ(run->frames, (std::vector<int>{3, 4}));
    EXPECT_EQ(chunk.TakeGivenUp(), (std::vector<std::pair<int, int>>{{2, 2}}));
    EXPECT_TRUE(chunk.TakeGivenUp().empty());
    chunk.Heard(*ReadProgressLine(StartLine(3, 1)));
    chunk.Heard(*ReadProgressLine(FinishLine(3, true, "")));
    chunk.Heard(*ReadProgressLine(StartLine(4, 1)));
    chunk.Heard(*ReadProgressLine(FinishLine(4, true, "")));
    EXPECT_FALSE(chunk.Next());

    ChunkAttempts mute({5, 6}, 3);
    ASSERT_TRUE(mute.Next());
    EXPECT_FALSE(mute.Next());  // its first process said nothing: the module is broken, say
    EXPECT_EQ(mute.TakeGivenUp(), (std::vector<std::pair<int, int>>{{5, 0}, {6, 0}}));
}

// --keep-existing keeps an output only when the latest earlier run of the
// same shot with the same block and settings wrote it, it is unchanged
// since and so is its input; an output whose input changed is rendered
// again; any other existing output is refused, saying why.
TEST(KeptOutputs, OnlyTheSameShotsUnchangedOutputs)
{
    FarmManifest manifest;
    manifest.input = "/in/f.#.png";
    manifest.output = "/out/f.#.png";
    manifest.frames = Frames(1, 4);
    manifest.rangeFirst = 1;
    manifest.rangeLast = 4;
    manifest.settings = "format=png";
    ParamBlock block{};
    block[0] = 7;
    EarlierRun same{"run-a", manifest, block, {Record(1, true), Record(2, true), Record(3, false)}};
    const auto exists = [](int frame) -> std::optional<FileIdentity> {
        return frame == 4 ? std::nullopt : std::optional<FileIdentity>(kWritten);
    };
    const auto inputs = [](int) -> std::optional<FileIdentity> { return kRead; };

    const KeptOutputs kept = FindKeptOutputs(manifest, block, {same}, exists, inputs);
    ASSERT_EQ(kept.kept.size(), 2u);
    EXPECT_EQ(kept.kept[1].frame, 2);
    EXPECT_EQ(kept.kept[1].message, "kept from run run-a");
    EXPECT_EQ(kept.unproven, std::vector<int>{3});  // exists, but run-a failed it
    EXPECT_EQ(kept.why, "no farm run of this output wrote it");
    EXPECT_TRUE(kept.inputChanged.empty());

    // Input 2 has new pixels under its old name (another file), input 1
    // the same file rewritten (a later time): both are rendered again.
    const KeptOutputs changed = FindKeptOutputs(manifest, block, {same}, exists, [](int frame) {
        std::optional<FileIdentity> now = kRead;
        if (frame == 1)
            now->mtimeNs += 1;
        if (frame == 2)
            now->inode += 1;
        return now;
    });
    EXPECT_TRUE(changed.kept.empty());
    EXPECT_EQ(changed.inputChanged, (std::vector<int>{1, 2}));
    EXPECT_EQ(changed.unproven, std::vector<int>{3});

    EarlierRun turned = same;
    turned.name = "run-b";
    turned.block[0] = 8;
    const KeptOutputs other = FindKeptOutputs(manifest, block, {same, turned}, exists, inputs);
    EXPECT_TRUE(other.kept.empty());  // the latest run that wrote them is run-b
    EXPECT_EQ(other.why, "run run-b rendered it with another parameter block");

    // The same block over another range turned each frame by another angle.
    for (const auto& [first, last] : {std::pair{1, 8}, std::pair{0, 4}}) {
        EarlierRun ranged = same;
        ranged.manifest.rangeFirst = first;
        ranged.manifest.rangeLast = last;
        const KeptOutputs moved = FindKeptOutputs(manifest, block, {ranged}, exists, inputs);
        EXPECT_TRUE(moved.kept.empty()) << first << "-" << last;
        EXPECT_EQ(moved.why, "run run-a rendered it with another range");
    }

    const KeptOutputs replaced = FindKeptOutputs(
        manifest, block, {same},
        [](int) {
            return std::optional<FileIdentity>({1, 12, 10, 1000});
        },
        inputs);
    EXPECT_TRUE(replaced.kept.empty());
    EXPECT_EQ(replaced.why, "it is not the file run run-a wrote (replaced since)");
}

// Both streams arrive whole even when the child fills both pipes; a
// program that is not there is said to be missing, not to have failed.
TEST(ChildProcess, CollectsBothStreamsAndTheExitCode)
{
    const ProgramResult result = RunProgram(
        {"sh", "-c", "head -c 300000 /dev/zero | tr '\\0' o; head -c 300000 /dev/zero | tr '\\0' e >&2; exit 3"});
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.output, std::string(300000, 'o'));
    EXPECT_EQ(result.errors, std::string(300000, 'e'));

    const ProgramResult killed = RunProgram({"sh", "-c", "kill -9 $$"});
    EXPECT_EQ(killed.exitCode, 128 + 9);

    const ProgramResult missing = RunProgram({"no-such-program-veldra"});
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.errors, "not found on PATH");
    EXPECT_EQ(LastLine("one\ntwo\n\n"), "two");
    EXPECT_EQ(LastLine(""), "");
}

// Without Slurm on PATH a submission stops with one clear line.
TEST(Slurm, MissingCommandsSayWhatIsMissing)
{
    const std::string path = std::getenv("PATH");
    setenv("PATH", ScratchFolder("farm-no-slurm").c_str(), 1);
    try {
        SubmitBatch({"script.sh"});
        ADD_FAILURE() << "sbatch ran without a PATH";
    } catch (const Failure& failure) {
        EXPECT_STREQ(failure.what(), "sbatch: not found on PATH (is Slurm installed?)");
    }
    EXPECT_THROW(QueryJobs({"5"}), Failure);
    setenv("PATH", path.c_str(), 1);
}
