// `veldra farm` run as a user runs it: refusals before anything reaches
// Slurm, then the whole against a real Slurm cluster, the one-node cluster
// that scripts/local-slurm.sh runs on this machine (scripts/test.sh starts
// it and sets SLURM_CONF). Without one the cluster tests skip, saying why;
// with VELDRA_REQUIRE_CLUSTER=1 they fail instead. The test of a controller
// outage starts a second cluster of its own, which it alone stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "cli/CliHarness.h"

namespace fs = std::filesystem;

namespace {

constexpr int Frames = 24;

// Slurm commands without SLURM_CONF look for a controller through DNS, and
// a configuration may name a controller elsewhere: no test may send traffic
// beyond this machine, so no Slurm command runs unless SLURM_CONF names a
// controller on 127.0.0.1.
std::string ClusterMissing()
{
    const char* conf = std::getenv("SLURM_CONF");
    if (!conf || !fs::exists(conf))
        return "no local cluster: run scripts/local-slurm.sh start and eval \"$(scripts/local-slurm.sh env)\"";
    if (FileBytes(conf).find("\nSlurmctldHost=localhost(127.0.0.1)\n") == std::string::npos)
        return std::string(conf) + " is not a cluster on this machine: the tests use scripts/local-slurm.sh";
    if (RunInShell(".", "scontrol ping").exitCode != 0)
        return std::string("the cluster of ") + conf + " does not answer: scripts/local-slurm.sh start";
    return "";
}

// Waits for `done`, looking every `poll` milliseconds (a tenth of a second;
// half a second for states that take a shell and a Slurm command to ask
// after). What a test waits for comes however slow the machine; the ten
// minutes only keep a fault from hanging it.
template <typename Check>
bool WaitFor(Check done, int poll = 100)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(poll));
    }
    return true;
}

// A shot to render, its reference render and what to look at in a run.
class FarmShot : public testing::Test {
protected:
    // A shot of `count` distinct frames in `folder`/in, and the same shot
    // rendered locally with `turn` in `folder`/local, as the reference.
    static void MakeShot(const std::string& folder, int count = Frames, const std::string& turn = Turn())
    {
        MakeFolder(folder + "/in");
        MakeFolder(folder + "/out");
        for (int frame = 1; frame <= count; ++frame)
            WritePicture(folder + "/in/" + ShotFrameName(frame), CoordinatePicture(21, 13, frame));
        RenderLocally(folder, turn);
    }

    static void RenderLocally(const std::string& folder, const std::string& turn)
    {
        fs::remove_all(folder + "/local");
        MakeFolder(folder + "/local");
        const RunResult local = RunVeldra(folder, "render in/shot.####.png local/shot.####.png " + turn + " --quiet");
        ASSERT_EQ(local.exitCode, 0) << local.output;
    }

    static std::string Turn() { return "--axis y --pivot center --start -30 --end 60"; }

    // `veldra farm submit` of the shot made by MakeShot, into `folder`/out.
    static RunResult SubmitShot(const std::string& folder, const std::string& options)
    {
        return RunVeldra(folder, "farm submit in/shot.####.png out/shot.####.png " + options);
    }

    // The same with every frame taking `seconds` more to write.
    static RunResult SubmitSlowShot(const std::string& folder, int seconds, const std::string& options)
    {
        return RunInShell(folder, "VELDRA_TEST_STALL_WRITE=" + std::to_string(seconds) +
                                      " VELDRA_TEST_STALL_ONLY=.png \"$VELDRA\" farm submit in/shot.####.png "
                                      "out/shot.####.png " +
                                      options);
    }

    static std::string ShotFrameName(int frame)
    {
        char name[32];
        std::snprintf(name, sizeof name, "shot.%04d.png", frame);
        return name;
    }

    static void ExpectSameAsLocal(const std::string& folder, int count = Frames, const std::string& out = "out")
    {
        for (int frame = 1; frame <= count; ++frame) {
            const std::string name = ShotFrameName(frame);
            ASSERT_TRUE(Exists(folder + "/" + out + "/" + name)) << name;
            EXPECT_EQ(FileBytes(folder + "/" + out + "/" + name), FileBytes(folder + "/local/" + name)) << name;
        }
    }

    // The latest run's farm folder of `folder`/`out`.
    static std::string LatestRun(const std::string& folder, const std::string& out = "out")
    {
        const auto runs = FolderEntries(folder + "/" + out + "/.veldra-farm");
        return runs.empty() ? "" : folder + "/" + out + "/.veldra-farm/" + runs.back();
    }

    // A value of a run's submission file.
    static std::string SubmissionValue(const std::string& farm, int index, const std::string& key)
    {
        const std::string text = FileBytes(farm + "/submissions/" + std::to_string(index) + ".txt");
        const std::size_t at = text.find(key + "=") + key.size() + 1;
        return text.substr(at, text.find('\n', at) - at);
    }

    static std::string ActiveJobs(const std::string& jobs)
    {
        return RunInShell(".", "squeue -h -t PENDING,RUNNING,COMPLETING,CONFIGURING -o %i -j " + jobs).output;
    }

    // Runs `command` in `folder` in the background: what it says goes to
    // NAME.log, its exit status to NAME.rc once it ends.
    static void Background(const std::string& folder, const std::string& command, const std::string& name)
    {
        ASSERT_EQ(RunInShell(folder, "(" + command + " >" + name + ".log 2>&1; echo $? >" + name +
                                         ".rc) </dev/null >/dev/null 2>&1 &")
                      .exitCode,
                  0);
    }

    // Whether `dir` (in `folder`) holds a temporary file being written.
    static bool Writing(const std::string& folder, const std::string& dir)
    {
        return RunInShell(folder, "ls -a " + dir + " | grep -q '^[.]veldra-.*[.]tmp$'").exitCode == 0;
    }

    // The value of `key` in a record or other key=value file.
    static std::string ValueIn(const std::string& path, const std::string& key)
    {
        const std::string text = "\n" + FileBytes(path);
        const std::size_t at = text.find("\n" + key + "=");
        if (at == std::string::npos)
            return "";
        const std::size_t from = at + key.size() + 2;
        return text.substr(from, text.find('\n', from) - from);
    }

    // No temporary file is left beside the outputs.
    static void ExpectNoTemporaries(const std::string& folder, const std::string& out = "out")
    {
        for (const std::string& name : FolderEntries(folder + "/" + out))
            EXPECT_FALSE(Has(name, ".tmp")) << name;
    }
};

class FarmCluster : public FarmShot {
protected:
    void SetUp() override
    {
        const std::string missing = ClusterMissing();
        if (missing.empty())
            return;
        const char* required = std::getenv("VELDRA_REQUIRE_CLUSTER");
        if (required && std::string(required) == "1")
            FAIL() << missing;
        GTEST_SKIP() << missing;
    }
};

// The run folders of a farm folder, without its lock.
std::vector<std::string> RunsIn(const std::string& farms)
{
    std::vector<std::string> runs;
    for (const std::string& name : FolderEntries(farms)) {
        if (name[0] != '.')
            runs.push_back(name);
    }
    return runs;
}

// Chunks of an array, two at a time, give the bytes of a local render of
// the whole shot, each chunk in one render process; each task says how it
// ended, the final job writes its report, and --save-params keeps the
// block the run was settled with.
TEST_F(FarmCluster, ShotMatchesALocalRender)
{
    const std::string folder = ScratchFolder("farm-whole");
    MakeShot(folder);
    const RunResult run = RunInShell(
        folder, "umask 002 && \"$VELDRA\" farm submit in/shot.####.png out/shot.####.png " + Turn() +
                    " --chunk 5 --max-parallel 2 --save-params turn.blk --wait");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output, "done:      24 frames: 1-24")) << run.output;
    ExpectSameAsLocal(folder);

    // Outputs and the saved block keep the user's umask, as a local render
    // does; the run's own files stay the user's alone.
    const std::string farm = LatestRun(folder);
    const auto mode = [](const std::string& path) {
        struct stat info {};
        stat(path.c_str(), &info);
        return info.st_mode & 0777;
    };
    EXPECT_EQ(mode(folder + "/out/shot.0007.png"), 0664u);
    EXPECT_EQ(mode(folder + "/turn.blk"), 0664u);
    for (const std::string own : {"/status/7.txt", "/manifest.txt", "/params.blk", "/submissions/0.txt"})
        EXPECT_EQ(mode(farm + own), 0644u) << own;
    EXPECT_EQ(FileBytes(folder + "/turn.blk"), FileBytes(farm + "/params.blk"));
    EXPECT_EQ(FolderEntries(farm + "/status").size(), static_cast<std::size_t>(Frames));
    EXPECT_EQ(FolderEntries(farm + "/tasks").size(), 5u);
    EXPECT_TRUE(Has(FileBytes(farm + "/tasks/" + SubmissionValue(farm, 0, "array-job") + "_4.txt"),
                    "state=ended\nending=completed\n"));
    const std::string log = FileBytes(farm + "/logs/" + SubmissionValue(farm, 0, "array-job") + "_0.log");
    EXPECT_TRUE(Has(log, "frame 1, attempt 1: rendering\n")) << log;
    EXPECT_TRUE(Has(log, "frame 5: done\n")) << log;
    EXPECT_TRUE(WaitFor([&] { return Exists(farm + "/report.txt"); }));
    EXPECT_TRUE(Has(FileBytes(farm + "/report.txt"), "every frame is done"));
}

// A frame that cannot be read fails with its message and log while the
// others render; once it is mended, retry renders it alone.
TEST_F(FarmCluster, FailedFrameIsReportedAndRetriedAlone)
{
    const std::string folder = ScratchFolder("farm-retry");
    MakeShot(folder);
    const std::string good = FileBytes(folder + "/in/shot.0007.png");
    WriteBytes(folder + "/in/shot.0007.png", "this is not a picture");

    const RunResult run = SubmitShot(folder, Turn() + " --chunk 12 --retries 1 --wait");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    const RunResult status = RunVeldra(folder, "farm status out");
    ASSERT_EQ(status.exitCode, 0) << status.output;
    EXPECT_TRUE(Has(status.output, "done:      23 frames: 1-6,8-24")) << status.output;
    EXPECT_TRUE(Has(status.output, "failed:    1 frame: 7\n  7: " + folder + "/in/shot.0007.png: not an image"))
        << status.output;
    EXPECT_TRUE(Has(status.output, "(2 attempts on ")) << status.output;
    const std::string farm = LatestRun(folder);
    const std::size_t logAt = status.output.find("log " + farm + "/logs/");
    ASSERT_NE(logAt, std::string::npos) << status.output;
    const std::string log = status.output.substr(logAt + 4, status.output.find(')', logAt) - logAt - 4);
    EXPECT_TRUE(Has(FileBytes(log), "frame 7, attempt 2 failed: " + folder + "/in/shot.0007.png")) << FileBytes(log);
    EXPECT_FALSE(Exists(folder + "/out/shot.0007.png"));

    // The frames already rendered must not be written again.
    struct stat before;
    ASSERT_EQ(stat((folder + "/out/shot.0008.png").c_str(), &before), 0);
    WriteBytes(folder + "/in/shot.0007.png", good);
    const RunResult retry = RunVeldra(folder, "farm retry " + farm + " --wait");
    ASSERT_EQ(retry.exitCode, 0) << retry.output;
    EXPECT_TRUE(Has(retry.output, "1 frame (7) in 1 task")) << retry.output;
    ExpectSameAsLocal(folder);
    struct stat after;
    ASSERT_EQ(stat((folder + "/out/shot.0008.png").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
    const auto jobOf = [&](int frame) {
        const std::string record = FileBytes(farm + "/status/" + std::to_string(frame) + ".txt");
        const std::size_t at = record.find("\njob=") + 5;
        return record.substr(at, record.find('\n', at) - at);
    };
    EXPECT_NE(jobOf(7), jobOf(8));
}

// A new submission renders every frame of its shot: a changed turn never
// passes the earlier frames off as its own. --keep-existing keeps only what
// an earlier run of the same shot with the same block wrote. An output
// deleted after a run is missing, not done, and retry renders it again.
TEST_F(FarmCluster, ResubmittedShotsAndDeletedOutputsAreRenderedAgain)
{
    const std::string folder = ScratchFolder("farm-again");
    const int count = 6;
    MakeShot(folder, count);
    ASSERT_EQ(SubmitShot(folder, Turn() + " --frames 1-6 --chunk 3 --wait").exitCode, 0);

    const std::string turned = "--axis x --start 10 --end 200";
    RenderLocally(folder, turned + " --frames 1-6");
    const RunResult again = SubmitShot(folder, turned + " --frames 1-6 --chunk 3 --wait");
    ASSERT_EQ(again.exitCode, 0) << again.output;
    EXPECT_TRUE(Has(again.output, "6 of the 6 outputs exist already and will be rendered again")) << again.output;
    ExpectSameAsLocal(folder, count);

    const RunResult refused = SubmitShot(folder, Turn() + " --frames 1-6 --chunk 3 --keep-existing");
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_TRUE(Has(refused.output, "--keep-existing: 6 outputs (1-6) cannot be kept: run " +
                                        fs::path(LatestRun(folder)).filename().string() +
                                        " rendered it with another parameter block"))
        << refused.output;
    const RunResult kept = SubmitShot(folder, turned + " --frames 1-6 --chunk 3 --keep-existing --wait");
    EXPECT_EQ(kept.exitCode, 0) << kept.output;
    EXPECT_TRUE(Has(kept.output, "every frame of the shot is kept; nothing to submit")) << kept.output;

    // Deleted, replaced, and replaced by a copy of itself (the same bytes,
    // size and time: another file all the same, as a replacement within the
    // second is on a file system of whole seconds).
    fs::remove(folder + "/out/shot.0002.png");
    WriteBytes(folder + "/out/shot.0005.png", FileBytes(folder + "/in/shot.0005.png"));
    ASSERT_EQ(RunInShell(folder, "cp -p out/shot.0004.png copy.png && mv copy.png out/shot.0004.png").exitCode, 0);
    const RunResult status = RunVeldra(folder, "farm status out");
    EXPECT_TRUE(Has(status.output, "done:      3 frames: 1,3,6\n")) << status.output;
    EXPECT_TRUE(Has(status.output, "missing since done: 3 frames: 2,4-5\n  2: " + folder +
                                       "/out/shot.0002.png is gone\n  4-5: " + folder + "/out/shot.0004.png ... " +
                                       folder + "/out/shot.0005.png are not the files written then"))
        << status.output;
    const RunResult retry = RunVeldra(folder, "farm retry out --wait");
    ASSERT_EQ(retry.exitCode, 0) << retry.output;
    EXPECT_TRUE(Has(retry.output, "3 frames (2,4-5) in 1 task")) << retry.output;
    ExpectSameAsLocal(folder, count);

    // An input given new pixels under its old name: its output is rendered
    // again from it, the others kept.
    WritePicture(folder + "/in/shot.0003.png", CoordinatePicture(21, 13, 99));
    RenderLocally(folder, turned + " --frames 1-6");
    const RunResult changed = SubmitShot(folder, turned + " --frames 1-6 --chunk 3 --keep-existing --wait");
    ASSERT_EQ(changed.exitCode, 0) << changed.output;
    EXPECT_TRUE(Has(changed.output,
                    "keeping 5 outputs an earlier run of this shot wrote\n"
                    "veldra: rendering 1 output again (3): its input changed since\n"))
        << changed.output;
    EXPECT_TRUE(Has(changed.output, "1 frame (3) in 1 task")) << changed.output;
    ExpectSameAsLocal(folder, count);
}

// A copied output folder is checked where it is, not where it was copied
// from: a frame deleted in the copy is gone, and the copies are not the
// files the run wrote; retry refuses, saying where the run renders. A
// moved folder is still every frame done.
TEST_F(FarmCluster, CopiedAndMovedOutputFoldersAreCheckedWhereTheyAre)
{
    const std::string folder = ScratchFolder("farm-copied");
    MakeShot(folder, 4);
    ASSERT_EQ(SubmitShot(folder, Turn() + " --frames 1-4 --chunk 2 --wait").exitCode, 0);
    // The run's report job may still be writing its report (a temporary
    // file renamed into place) after --wait: copy the folder once it ended.
    const std::string farm = LatestRun(folder);
    ASSERT_TRUE(WaitFor([&] { return ActiveJobs(SubmissionValue(farm, 0, "report-job")).empty(); }));
    const RunResult copy = RunInShell(folder, "cp -a out bak 2>&1 && rm bak/shot.0003.png");
    ASSERT_EQ(copy.exitCode, 0) << copy.output;
    const RunResult copied = RunVeldra(folder, "farm status bak");
    EXPECT_TRUE(Has(copied.output, "done:      0 frames\n")) << copied.output;
    EXPECT_TRUE(Has(copied.output, "  3: " + folder + "/bak/shot.0003.png is gone\n")) << copied.output;
    EXPECT_TRUE(Has(copied.output, "note: this run renders into " + folder + "/out; it is found in " + folder +
                                       "/bak (the folder was copied or moved)"))
        << copied.output;
    const RunResult retry = RunVeldra(folder, "farm retry bak");
    EXPECT_EQ(retry.exitCode, 1);
    EXPECT_TRUE(Has(retry.output, "this run renders into " + folder + "/out, and it is found in " + folder + "/bak"))
        << retry.output;
    EXPECT_TRUE(Has(RunVeldra(folder, "farm status out").output, "every frame is done"));

    ASSERT_EQ(RunInShell(folder, "mv out moved").exitCode, 0);
    const RunResult moved = RunVeldra(folder, "farm status moved");
    EXPECT_TRUE(Has(moved.output, "done:      4 frames: 1-4\n")) << moved.output;
    EXPECT_TRUE(Has(moved.output, "every frame is done")) << moved.output;
}

// Two submissions of one shot at the same moment: the second waits while
// the first sets its run up and submits it (held there, for the test, as
// it writes its manifest), then refuses, naming the first, which renders
// the shot once. (The first's jobs are held in Slurm until then, so that
// the second finds them still to render.)
TEST_F(FarmCluster, TwoSubmissionsAtOnceRenderTheShotOnce)
{
    const std::string folder = ScratchFolder("farm-twice");
    MakeShot(folder, 4);
    const std::string submit = "\"$VELDRA\" farm submit in/shot.####.png out/shot.####.png " + Turn() +
                               " --frames 1-4 --chunk 2";
    Background(folder, "VELDRA_TEST_STALL_UNTIL=go VELDRA_TEST_STALL_ONLY=/manifest.txt " + submit + " -- --hold",
               "first");
    ASSERT_TRUE(WaitFor([&] { return Writing(folder, "out/.veldra-farm/*/"); })) << FileBytes(folder + "/first.log");
    Background(folder, submit + " --wait", "second");
    ASSERT_TRUE(WaitFor([&] {
        return Has(FileBytes(folder + "/second.log"),
                   "veldra: waiting for another veldra submitting into this output "
                   "folder (pid ");
    })) << FileBytes(folder + "/second.log");
    WriteBytes(folder + "/go", "");
    ASSERT_TRUE(WaitFor([&] { return Exists(folder + "/first.rc") && Exists(folder + "/second.rc"); }));
    const std::string said = FileBytes(folder + "/second.log");
    EXPECT_EQ(FileBytes(folder + "/first.rc"), "0\n") << FileBytes(folder + "/first.log");
    EXPECT_EQ(FileBytes(folder + "/second.rc"), "1\n") << said;
    const std::string run = LatestRun(folder);
    EXPECT_TRUE(Has(said, "veldra: " + folder + "/out/shot.####.png: run " + run + " of this shot is still active"))
        << said;
    EXPECT_EQ(RunsIn(folder + "/out/.veldra-farm").size(), 1u);

    ASSERT_EQ(RunInShell(folder, "scontrol release " + SubmissionValue(run, 0, "array-job")).exitCode, 0);
    EXPECT_TRUE(WaitFor([&] { return Has(RunVeldra(folder, "farm status out").output, "every frame is done"); }));
    ExpectSameAsLocal(folder, 4);
}

// Two retries of one run at once: the second waits while the first submits
// (held there, for the test, as it records its submission), then finds
// nothing left to retry. Every job of the run is recorded, so cancel
// reaches all of them.
TEST_F(FarmCluster, TwoRetriesAtOnceSubmitOnce)
{
    const std::string folder = ScratchFolder("farm-retries");
    MakeShot(folder, 4);
    const std::string good = FileBytes(folder + "/in/shot.0002.png");
    WriteBytes(folder + "/in/shot.0002.png", "not a picture");
    ASSERT_EQ(SubmitShot(folder, Turn() + " --frames 1-4 --chunk 2 --retries 0 --wait").exitCode, 1);
    WriteBytes(folder + "/in/shot.0002.png", good);
    const std::string run = LatestRun(folder);

    Background(folder,
               "VELDRA_TEST_STALL_UNTIL=go VELDRA_TEST_STALL_ONLY=/submissions/1.txt \"$VELDRA\" farm retry out",
               "first");
    ASSERT_TRUE(WaitFor([&] { return Writing(folder, run + "/submissions"); })) << FileBytes(folder + "/first.log");
    Background(folder, "\"$VELDRA\" farm retry out", "second");
    ASSERT_TRUE(WaitFor([&] { return Has(FileBytes(folder + "/second.log"), "veldra: waiting for another veldra"); }))
        << FileBytes(folder + "/second.log");
    WriteBytes(folder + "/go", "");
    ASSERT_TRUE(WaitFor([&] { return Exists(folder + "/first.rc") && Exists(folder + "/second.rc"); }));
    EXPECT_EQ(FileBytes(folder + "/first.rc"), "0\n") << FileBytes(folder + "/first.log");
    EXPECT_EQ(FileBytes(folder + "/second.rc"), "0\n");
    EXPECT_TRUE(Has(FileBytes(folder + "/second.log"), "veldra: nothing to retry in " + run))
        << FileBytes(folder + "/second.log");
    EXPECT_FALSE(Exists(run + "/submissions/2.txt"));
    // Slurm knows no job of the run that the run does not record.
    const std::string recorded = SubmissionValue(run, 0, "array-job") + " " + SubmissionValue(run, 0, "report-job") +
                                 " " + SubmissionValue(run, 1, "array-job") + " " +
                                 SubmissionValue(run, 1, "report-job");
    const std::string known = RunInShell(folder, "squeue -h --me --states=all -O 'ArrayJobID:|,Comment:|' | grep -F '" +
                                                     run + " ' | cut -d'|' -f1 | sort -u")
                                  .output;
    EXPECT_TRUE(Has(known, SubmissionValue(run, 1, "array-job") + "\n")) << known;
    for (std::size_t at = 0; at < known.size();) {
        const std::size_t end = known.find('\n', at);
        const std::string job = known.substr(at, end - at);
        EXPECT_TRUE(Has(" " + recorded + " ", " " + job + " ")) << job << " is not recorded in " << recorded;
        at = end + 1;
    }
    EXPECT_TRUE(WaitFor([&] { return Has(RunVeldra(folder, "farm status out").output, "every frame is done"); }));
    ExpectSameAsLocal(folder, 4);
}

// Output and submitting folders whose paths hold '%' or '\' are taken as
// they stand: Slurm reads no pattern into the logs' paths, every frame
// renders, and every task keeps its log.
TEST_F(FarmCluster, PercentAndBackslashInFoldersAreTakenAsWritten)
{
    const std::string folder = ScratchFolder("farm-names") + "/job%j v2%";
    MakeFolder(folder);
    const int count = 4;
    MakeShot(folder, count);
    for (const std::string out : {"out%A/50%", "back\\slash%x"}) {
        MakeFolder(folder + "/" + out);
        const RunResult run = RunVeldra(
            folder, "farm submit in/shot.####.png '" + out + "/shot.####.png' " + Turn() + " --chunk 2 --wait");
        ASSERT_EQ(run.exitCode, 0) << out << "\n" << run.output;
        ExpectSameAsLocal(folder, count, out);
        const std::string farm = LatestRun(folder, out);
        const std::string job = SubmissionValue(farm, 0, "array-job");
        for (const std::string task : {"0", "1"})
            EXPECT_TRUE(Has(FileBytes(farm + "/logs/" + job + "_" + task + ".log"), ": done\n")) << out;
        EXPECT_TRUE(Has(RunVeldra(folder, "farm status '" + out + "'").output, "every frame is done")) << out;
    }
}

// A renderer killed outright under a frame costs only that frame: it is
// tried alone, the frames after it go on in a new process, and the
// temporary file the killed renderer left is removed.
TEST_F(FarmCluster, AKilledRendererCostsOnlyItsFrame)
{
    const std::string folder = ScratchFolder("farm-crash");
    const int count = 3;
    MakeShot(folder, count);
    const RunResult run = RunInShell(folder,
                                     "VELDRA_TEST_STALL_UNTIL=go VELDRA_TEST_STALL_ONLY=shot.0002.png \"$VELDRA\" farm "
                                     "submit in/shot.####.png out/shot.####.png " +
                                         Turn() + " --chunk 3 --retries 1");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::string farm = LatestRun(folder);
    const std::string log = farm + "/logs/" + SubmissionValue(farm, 0, "array-job") + "_0.log";
    ASSERT_TRUE(WaitFor([&] { return Has(FileBytes(log), "frame 2, attempt 1: rendering"); })) << FileBytes(log);
    // The renderer is held writing frame 2; kill it as the kernel's
    // out-of-memory killer would, then let the next attempt write.
    ASSERT_TRUE(
        WaitFor([&] { return RunInShell(folder, "ls -a out | grep -q '^\\.veldra-farm.*\\.tmp$'").exitCode == 0; }));
    // "[f]arm" keeps the pattern from matching the shell that runs pkill.
    const RunResult kill = RunInShell(folder, "pkill -KILL -f -- '[f]arm chunk " + farm + " '");
    ASSERT_EQ(kill.exitCode, 0) << kill.output;
    WriteBytes(folder + "/go", "");

    EXPECT_TRUE(WaitFor([&] { return Has(RunVeldra(folder, "farm status out").output, "every frame is done"); }));
    ExpectSameAsLocal(folder, count);
    const std::string said = FileBytes(log);
    EXPECT_TRUE(Has(said, "frame 2, attempt 1: rendering\nthe renderer was ended by signal 9")) << said;
    EXPECT_LT(said.find("frame 2, attempt 2: rendering\n"), said.find("frame 2: done\n")) << said;
    EXPECT_LT(said.find("frame 2: done\n"), said.find("frame 3, attempt 1: rendering\n")) << said;
    EXPECT_TRUE(Has(FileBytes(farm + "/status/2.txt"), "attempts=2\n"));
    for (const std::string& name : FolderEntries(folder + "/out"))
        EXPECT_FALSE(Has(name, ".tmp")) << name;
}

// A task killed outright (SIGKILL, as the kernel's out-of-memory killer
// ends a process) is said to be killed, not to have failed to launch, as
// Slurm calls it; retry finishes its frames.
TEST_F(FarmCluster, ATaskKilledOutrightIsSaidToBeKilled)
{
    const std::string folder = ScratchFolder("farm-killed");
    MakeShot(folder, 2);
    const RunResult run = RunInShell(folder,
                                     "VELDRA_TEST_STALL_UNTIL=go VELDRA_TEST_STALL_ONLY=.png \"$VELDRA\" farm "
                                     "submit in/shot.####.png out/shot.####.png " +
                                         Turn() + " --frames 1-2 --chunk 2");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::string farm = LatestRun(folder);
    ASSERT_TRUE(WaitFor([&] { return Writing(folder, "out"); }));
    // The task, then its renderer, held writing its first frame.
    for (const char* process : {"task", "chunk"})
        ASSERT_EQ(RunInShell(folder, std::string("pkill -KILL -f -- '[f]arm ") + process + " " + farm + " '").exitCode,
                  0);
    std::string status;
    EXPECT_TRUE(WaitFor([&] {
        status = RunVeldra(folder, "farm status out").output;
        return Has(status, "next: veldra farm retry");
    })) << status;
    EXPECT_TRUE(
        Has(status, "never ran: 2 frames: 1-2\n  1-2: task 0 of job " + SubmissionValue(farm, 0, "array-job") +
                        " was ended by signal 9 (Killed): out of memory (the kernel kills so), or killed by hand"))
        << status;
    WriteBytes(folder + "/go", "");
    const RunResult retry = RunVeldra(folder, "farm retry out --wait");
    ASSERT_EQ(retry.exitCode, 0) << retry.output;
    ExpectSameAsLocal(folder, 2);
}

// One run at a time renders a shot: a second submission of it is refused
// while the first renders, naming it, but another pass into the same
// folder is its own shot. Status of the folder lists each shot's latest
// run; cancelling the folder cancels every active run of it, saying which;
// status then says the frames that never ran were cancelled, so retry
// knows what is left.
TEST_F(FarmCluster, CancelStopsEveryRunOfTheOutput)
{
    const std::string folder = ScratchFolder("farm-cancel");
    MakeShot(folder);
    ASSERT_EQ(SubmitSlowShot(folder, 1, "--chunk 2 --max-parallel 1").exitCode, 0);
    const std::string first = LatestRun(folder);
    const RunResult again = SubmitSlowShot(folder, 1, "--chunk 2 --max-parallel 1");
    EXPECT_EQ(again.exitCode, 1) << again.output;
    EXPECT_TRUE(Has(again.output, "run " + first + " of this shot is still active (job ")) << again.output;
    const RunResult depth = RunInShell(folder,
                                       "VELDRA_TEST_STALL_WRITE=1 VELDRA_TEST_STALL_ONLY=.png \"$VELDRA\" farm submit "
                                       "in/shot.####.png out/depth.####.png --chunk 2 --max-parallel 1");
    ASSERT_EQ(depth.exitCode, 0) << depth.output;
    const std::string latest = LatestRun(folder);
    ASSERT_NE(first, latest);
    const RunResult both = RunVeldra(folder, "farm status out");
    EXPECT_TRUE(Has(both.output, "run " + first + "\nshot " + folder + "/out/shot.####.png: 24 frames")) << both.output;
    EXPECT_TRUE(Has(both.output, "\n\nrun " + latest + "\nshot " + folder + "/out/depth.####.png: 24 frames"))
        << both.output;
    // Cancel once the first task has started: some frames done, most not.
    ASSERT_TRUE(WaitFor([&] { return !FolderEntries(first + "/status").empty(); }));
    // With squeue failing, cancel says so and fails; it does not take the
    // silence for runs with nothing left to cancel.
    MakeFolder(folder + "/silent");
    WriteBytes(folder + "/silent/squeue",
               "#!/bin/sh\necho 'squeue: error: Unable to contact slurm controller (connect failure)' >&2\nexit 1\n");
    fs::permissions(folder + "/silent/squeue", fs::perms::owner_exec, fs::perm_options::add);
    const RunResult silent = RunInShell(folder, "PATH=\"$PWD/silent:$PATH\" \"$VELDRA\" farm cancel out");
    EXPECT_EQ(silent.exitCode, 1) << silent.output;
    EXPECT_EQ(silent.output, "veldra: squeue failed: error: Unable to contact slurm controller (connect failure)\n");
    const RunResult cancel = RunVeldra(folder, "farm cancel out");
    ASSERT_EQ(cancel.exitCode, 0) << cancel.output;
    EXPECT_TRUE(Has(cancel.output, "cancelled run " + first + " (jobs ")) << cancel.output;
    EXPECT_TRUE(Has(cancel.output, "cancelled run " + latest + " (jobs ")) << cancel.output;

    for (const std::string& farm : {first, latest}) {
        EXPECT_EQ(ActiveJobs(SubmissionValue(farm, 0, "array-job") + "," + SubmissionValue(farm, 0, "report-job")), "");
    }
    const RunResult status = RunVeldra(folder, "farm status " + first);
    EXPECT_TRUE(Has(status.output, "running:   0 frames\npending:   0 frames\nfailed:    0 frames\n")) << status.output;
    EXPECT_FALSE(Has(status.output, "never ran: 0 frames")) << status.output;
    EXPECT_TRUE(Has(status.output, " was cancelled")) << status.output;
    EXPECT_TRUE(Has(status.output, "next: veldra farm retry")) << status.output;
}

// Records tampered with after a run: a link out of the run, a link to a
// device, a FIFO, an empty file, one cut after its first line, one naming
// another frame and a stray file. Status answers at once, names each
// damaged record and never calls its frame done; retry renders those
// frames again, writing each record whole in place of what stood there,
// and the file a link pointed to is untouched.
TEST_F(FarmCluster, TamperedRecordsNeitherLieNorBlock)
{
    const std::string folder = ScratchFolder("farm-tampered");
    const int count = 8;
    MakeShot(folder, count);
    ASSERT_EQ(SubmitShot(folder, Turn() + " --frames 1-8 --chunk 4 --wait").exitCode, 0);
    const std::string status = LatestRun(folder) + "/status/";
    WriteBytes(folder + "/outside.txt", "not a record");
    const std::string whole = FileBytes(status + "7.txt");
    ASSERT_EQ(
        RunInShell(folder, "cd '" + status + "' && ln -sf '" + folder +
                               "/outside.txt' 1.txt && ln -sf /dev/zero 2.txt && "
                               "rm 3.txt && mkfifo 3.txt && : >4.txt && head -1 5.txt >5.cut && mv 5.cut 5.txt && "
                               "cp 7.txt 6.txt && echo hello >notes.txt")
            .exitCode,
        0);
    const RunResult looked = RunVeldra(folder, "farm status out");
    EXPECT_EQ(looked.exitCode, 0) << looked.output;
    EXPECT_TRUE(Has(looked.output, "done:      2 frames: 7-8\n")) << looked.output;
    EXPECT_TRUE(Has(looked.output, "record damaged: 6 frames: 1-6\n  1: " + status +
                                       "1.txt: is a symbolic link, not a file (not followed)\n"))
        << looked.output;
    for (const std::string& why :
         std::vector<std::string>{status + "3.txt: is a FIFO, not a file", status + "4.txt: is empty",
                                  status + "5.txt: is cut short or garbled (it does not end with end=5)",
                                  status + "6.txt: is the record of frame 7",
                                  "note: ignored 1 file(s) of the status room that are no frame's record: notes.txt"})
        EXPECT_TRUE(Has(looked.output, why)) << why << "\n" << looked.output;
    EXPECT_TRUE(Has(looked.output, "next: veldra farm retry")) << looked.output;

    const RunResult retry = RunVeldra(folder, "farm retry out --wait");
    ASSERT_EQ(retry.exitCode, 0) << retry.output;
    EXPECT_TRUE(Has(retry.output, "6 frames (1-6) in 2 tasks")) << retry.output;
    ExpectSameAsLocal(folder, count);
    EXPECT_EQ(FileBytes(folder + "/outside.txt"), "not a record");
    for (int frame = 1; frame <= 6; ++frame)
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(status + std::to_string(frame) + ".txt"))) << frame;
    EXPECT_EQ(FileBytes(status + "7.txt"), whole);
}

// In a studio's shared shot folder (mode 2775), a link another user
// planted where a frame goes is not written through by a farm run: that
// frame fails, naming the link and its owner, the file it points to (the
// submitting user's own, private) stays as it was, and the rest renders.
TEST_F(FarmCluster, APlantedLinkInASharedFolderIsNotWrittenThrough)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "a second user takes root";
    const OtherUser other;
    ASSERT_TRUE(other.Made()) << other.Why();
    const std::string folder = ScratchFolder("farm-shared");
    MakeShot(folder, 4);
    MakeFolder(folder + "/secret");
    WriteBytes(folder + "/secret/precious.txt", "root's alone");
    ASSERT_EQ(RunInShell(folder,
                         "chmod 0700 secret && chmod 0600 secret/precious.txt && mkdir -m 2775 shared && "
                         "ln -s ../secret/precious.txt shared/shot.0003.png && chown -h " +
                             other.Name() + " shared/shot.0003.png")
                  .exitCode,
              0);
    const RunResult run = RunVeldra(folder, "farm submit in/shot.####.png shared/shot.####.png " + Turn() +
                                                " --frames 1-4 --chunk 4 --retries 0 --wait");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(Has(run.output, "done:      3 frames: 1-2,4\n")) << run.output;
    EXPECT_TRUE(Has(run.output, "failed:    1 frame: 3\n  3: " + folder +
                                    "/shared/shot.0003.png: is a symbolic link owned by " + other.Name() + " (uid " +
                                    std::to_string(other.Uid()) +
                                    "), neither you nor the folder's owner: not followed, nothing written"))
        << run.output;
    EXPECT_EQ(FileBytes(folder + "/secret/precious.txt"), "root's alone");
    EXPECT_TRUE(fs::is_symlink(folder + "/shared/shot.0003.png"));
    for (const int frame : {1, 2, 4})
        EXPECT_EQ(FileBytes(folder + "/shared/" + ShotFrameName(frame)),
                  FileBytes(folder + "/local/" + ShotFrameName(frame)));
    fs::remove_all(folder + "/shared");
}

// A run submitted held (-- --hold) waits for its user; its retry does not
// carry the hold. A task suspended by an operator shows as suspended, not
// as pending, until it is resumed.
TEST_F(FarmCluster, HeldAndSuspendedTasksSayWhatTheyAre)
{
    const std::string folder = ScratchFolder("farm-held");
    MakeShot(folder, 4);
    ASSERT_EQ(SubmitShot(folder, Turn() + " --frames 1-4 --chunk 4 -- --hold").exitCode, 0);
    const std::string run = LatestRun(folder);
    const RunResult held = RunVeldra(folder, "farm status out");
    EXPECT_TRUE(Has(held.output, "pending:   4 frames: 1-4\n")) << held.output;
    EXPECT_TRUE(Has(held.output, "(JobHeldUser): it is held")) << held.output;
    ASSERT_EQ(RunVeldra(folder, "farm cancel out").exitCode, 0);

    Background(folder, "VELDRA_TEST_STALL_UNTIL=go VELDRA_TEST_STALL_ONLY=.png \"$VELDRA\" farm retry out --wait",
               "retry");
    ASSERT_TRUE(WaitFor([&] { return Writing(folder, "out"); })) << FileBytes(folder + "/retry.log");
    EXPECT_FALSE(Has(FileBytes(run + "/submissions/1.txt"), "--hold"));
    const std::string task = SubmissionValue(run, 1, "array-job") + "_0";
    ASSERT_EQ(RunInShell(folder, "scontrol suspend " + task).exitCode, 0);
    EXPECT_TRUE(WaitFor([&] { return Has(RunVeldra(folder, "farm status out").output, "suspended: 4 frames: 1-4\n"); }))
        << RunVeldra(folder, "farm status out").output;
    ASSERT_EQ(RunInShell(folder, "scontrol resume " + task).exitCode, 0);
    WriteBytes(folder + "/go", "");
    ASSERT_TRUE(WaitFor([&] { return Exists(folder + "/retry.rc"); }));
    EXPECT_EQ(FileBytes(folder + "/retry.rc"), "0\n") << FileBytes(folder + "/retry.log");
    ExpectSameAsLocal(folder, 4);
}

// With the farm folder's disk full while the tasks render, each frame whose
// record cannot be written fails once, saying why in the task's log, and
// the chunk goes on; status names the full disk. Once there is room, retry
// finishes the shot. (A small file system of its own under the farm
// folder, filled while the first frame is held being written.)
TEST_F(FarmCluster, AFullFarmDiskIsNamed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system takes root";
    const std::string folder = ScratchFolder("farm-full");
    MakeShot(folder, 3);
    MakeFolder(folder + "/out/.veldra-farm");
    ASSERT_EQ(RunInShell(folder, "mount -t tmpfs -o size=1m,mode=0755 veldra-test out/.veldra-farm").exitCode, 0);
    // A report job may still hold a log open there: then the file system
    // is detached at once and goes when that job lets it go.
    struct Unmount {
        std::string path;
        ~Unmount() { RunInShell(".", "umount '" + path + "' || umount --lazy '" + path + "'"); }
    } unmount{folder + "/out/.veldra-farm"};
    const RunResult run = RunInShell(folder,
                                     "VELDRA_TEST_STALL_UNTIL=go VELDRA_TEST_STALL_ONLY=.png \"$VELDRA\" farm "
                                     "submit in/shot.####.png out/shot.####.png " +
                                         Turn() + " --frames 1-3 --chunk 3");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_TRUE(WaitFor([&] { return Writing(folder, "out"); }));
    const std::string farm = LatestRun(folder);
    RunInShell(folder, "dd if=/dev/zero of=out/.veldra-farm/filler bs=4k");
    WriteBytes(folder + "/go", "");
    const std::string log = farm + "/logs/" + SubmissionValue(farm, 0, "array-job") + "_0.log";
    ASSERT_TRUE(WaitFor([&] { return Has(RunVeldra(folder, "farm status out").output, "next: veldra farm retry"); }))
        << FileBytes(log);
    const RunResult status = RunVeldra(folder, "farm status out");
    EXPECT_TRUE(Has(status.output, "warning: the farm folder's disk is full (")) << status.output;
    const std::string said = FileBytes(log);
    for (const std::string frame : {"1", "2", "3"}) {
        EXPECT_TRUE(Has(said, "frame " + frame + ": failed: cannot record it: " + farm + "/status/" + frame +
                                  ".txt: cannot write: No space left on device"))
            << said;
        EXPECT_FALSE(Has(said, "frame " + frame + ", attempt 2")) << said;
    }

    fs::remove(folder + "/out/.veldra-farm/filler");
    const RunResult retry = RunVeldra(folder, "farm retry out --wait");
    ASSERT_EQ(retry.exitCode, 0) << retry.output;
    ExpectSameAsLocal(folder, 3);
}

// With the controller unreachable, or the submission refused, submit says
// so in one line, with all that sbatch said, and leaves no run behind.
TEST_F(FarmCluster, FailedSubmissionSaysWhyAndLeavesNothing)
{
    const std::string folder = ScratchFolder("farm-down");
    MakeShot(folder, 2);
    // The same cluster, told its controller listens on a port where none
    // does, with a short timeout: what a stopped controller looks like.
    const RunResult conf = RunInShell(folder,
                                      "sed -e 's/^SlurmctldPort=.*/SlurmctldPort=1/' \"$SLURM_CONF\" > "
                                      "down.conf && echo MessageTimeout=1 >> down.conf");
    ASSERT_EQ(conf.exitCode, 0) << conf.output;
    const RunResult run = RunInShell(folder,
                                     "SLURM_CONF=$PWD/down.conf \"$VELDRA\" farm submit in/shot.####.png "
                                     "out/shot.####.png --chunk 5");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_EQ(run.output,
              "veldra: sbatch failed: error: Batch job submission failed: Unable to contact slurm "
              "controller (connect failure) (nothing was submitted)\n");
    EXPECT_TRUE(RunsIn(folder + "/out/.veldra-farm").empty());

    const RunResult refused = SubmitShot(folder, "--chunk 5 --partition no-such-partition");
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_EQ(refused.output,
              "veldra: sbatch failed: error: invalid partition specified: no-such-partition; error: Batch job "
              "submission failed: Invalid partition name specified (nothing was submitted)\n");
    const RunResult badOption = SubmitShot(folder, "--chunk 5 -- --no-such-option");
    EXPECT_EQ(badOption.exitCode, 1) << badOption.output;
    EXPECT_TRUE(Has(badOption.output, "sbatch failed: unrecognized option '--no-such-option'; Try \"sbatch --help\""))
        << badOption.output;
    EXPECT_TRUE(RunsIn(folder + "/out/.veldra-farm").empty());
}

// A run that asks for more CPUs than any node has would pend for ever:
// status warns, --wait stops waiting, and cancel ends it.
TEST_F(FarmCluster, ImpossibleRequestIsFlagged)
{
    const std::string folder = ScratchFolder("farm-stuck");
    MakeShot(folder);
    const RunResult run = SubmitShot(folder, "--chunk 12 --cpus-per-task 4096 --wait");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(Has(run.output, "pending:   24 frames: 1-24\n")) << run.output;
    EXPECT_TRUE(Has(run.output, "(PartitionConfig): it asks for more than the partition or any of its nodes has"))
        << run.output;
    EXPECT_TRUE(Has(run.output, "veldra: stopped waiting: a job of the run will not start as it is")) << run.output;
    const RunResult cancel = RunVeldra(folder, "farm cancel out");
    EXPECT_EQ(cancel.exitCode, 0) << cancel.output;
    EXPECT_TRUE(Has(cancel.output, "never ran: 24 frames: 1-24\n")) << cancel.output;
}

// A task killed by its time limit is reported as timed out beside the
// frames it left, with an output deleted since beside it; retry with a
// longer --time finishes the shot. (Slurm's limits are whole minutes and
// checked every half minute: this test takes one to one and a half.)
TEST_F(FarmCluster, TimedOutTaskIsReportedAndRetryWithMoreTimeFinishes)
{
    const std::string folder = ScratchFolder("farm-timeout");
    const int count = 8;
    MakeShot(folder, count);
    // Each frame takes 25 s to write: a task of four cannot finish in the
    // minute it is given, but has written two or three when it is stopped.
    const RunResult run = SubmitSlowShot(folder, 25, Turn() + " --chunk 4 --time 1 --wait");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    ASSERT_TRUE(Exists(folder + "/out/shot.0001.png")) << run.output;
    fs::remove(folder + "/out/shot.0001.png");
    const RunResult status = RunVeldra(folder, "farm status out");
    const std::string job = SubmissionValue(LatestRun(folder), 0, "array-job");
    // Tasks that ended alike share a line; --verbose gives each its own.
    EXPECT_TRUE(Has(status.output, ": 2 tasks (job " + job + " tasks 0-1) each timed out\n")) << status.output;
    const RunResult verbose = RunVeldra(folder, "farm status out --verbose");
    EXPECT_TRUE(Has(verbose.output, ": task 0 of job " + job + " timed out (log ")) << verbose.output;
    EXPECT_TRUE(Has(verbose.output, ": task 1 of job " + job + " timed out (log ")) << verbose.output;
    EXPECT_TRUE(Has(status.output, "missing since done: 1 frame: 1\n")) << status.output;
    EXPECT_TRUE(Has(FileBytes(LatestRun(folder) + "/tasks/" + job + "_0.txt"), "ending=timed out\n"));
    std::printf("%s", status.output.c_str());  // the state a user sees, for the record

    const RunResult retry = RunVeldra(folder, "farm retry out --time 5 --wait");
    ASSERT_EQ(retry.exitCode, 0) << retry.output;
    EXPECT_TRUE(Has(FileBytes(LatestRun(folder) + "/submissions/1.txt"), "sbatch=--time=5\n"));
    ExpectSameAsLocal(folder, count);
}

// `count` free ports in a row on 127.0.0.1 for a second cluster, from
// `from` up; 0 when there are none.
int FreePorts(int from, int count)
{
    const auto free = [](int port) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        return bound;
    };
    for (int port = from; port < from + 200; port += count) {
        bool all = true;
        for (int i = 0; i < count && all; ++i)
            all = free(port + i);
        if (all)
            return port;
    }
    return 0;
}

// A cluster of the test's own: started, and whatever happens stopped,
// its controller started again first if the test left it stopped. With
// several nodes, a node that stops answering is counted down after
// `nodeTimeout` seconds, so that a lost node is noticed soon.
class OwnCluster {
public:
    explicit OwnCluster(const std::string& folder, int nodes = 1, int nodeTimeout = 30)
    {
        const char* base = std::getenv("VELDRA_SLURM_PORT");
        port_ = FreePorts((base ? std::atoi(base) : 17817) + 4, nodes + 1);
        env_ = "VELDRA_SLURM_DIR='" + folder + "/slurm' VELDRA_SLURM_PORT=" + std::to_string(port_) +
               " VELDRA_SLURM_NODE_TIMEOUT=" + std::to_string(nodeTimeout) + " ";
        started_ = port_ != 0 && Script("start --nodes " + std::to_string(nodes)).exitCode == 0;
    }
    ~OwnCluster()
    {
        Script("start-controller");
        Script("stop");
    }
    bool Started() const { return started_; }
    RunResult Script(const std::string& action) const
    {
        return RunInShell(".", env_ + VELDRA_SOURCE_DIR "/scripts/local-slurm.sh " + action);
    }
    // The line that points Slurm's commands at this cluster.
    std::string Conf() const
    {
        std::string line = RunInShell(".", env_ + VELDRA_SOURCE_DIR "/scripts/local-slurm.sh env").output;
        line.erase(line.find_last_not_of('\n') + 1);
        return line;
    }
    // A shell command line run against this cluster, in `folder`.
    RunResult Run(const std::string& folder, const std::string& commandLine) const
    {
        return RunInShell(folder, Conf() + " && " + commandLine);
    }

private:
    int port_ = 0;
    std::string env_;
    bool started_ = false;
};

// --wait rides out a controller stopped mid-run (until --wait has found it
// silent), saying when it stops answering and when it answers again, and
// exits 0 once the run has ended with every frame done.
TEST_F(FarmCluster, WaitRidesOutAControllerOutage)
{
    const std::string folder = ScratchFolder("farm-outage");
    const int count = 8;
    MakeShot(folder, count);
    const OwnCluster cluster(folder);
    ASSERT_TRUE(cluster.Started()) << cluster.Script("status").output;
    const std::string conf = cluster.Conf();
    ASSERT_EQ(
        RunInShell(folder, "(" + conf +
                               " && VELDRA_TEST_STALL_WRITE=1 VELDRA_TEST_STALL_ONLY=.png \"$VELDRA\" farm submit "
                               "in/shot.####.png out/shot.####.png " +
                               Turn() +
                               " --chunk 2 --max-parallel 1 --wait >wait.log 2>&1; echo $? >wait.rc) "
                               "</dev/null >/dev/null 2>&1 &")
            .exitCode,
        0);
    ASSERT_TRUE(WaitFor([&] { return Exists(folder + "/out/shot.0001.png"); })) << FileBytes(folder + "/wait.log");
    ASSERT_EQ(cluster.Script("stop-controller").exitCode, 0);
    ASSERT_TRUE(WaitFor([&] { return Has(FileBytes(folder + "/wait.log"), "veldra: no answer from Slurm ("); }))
        << FileBytes(folder + "/wait.log");
    ASSERT_EQ(cluster.Script("start-controller").exitCode, 0);
    ASSERT_TRUE(WaitFor([&] { return Exists(folder + "/wait.rc"); })) << FileBytes(folder + "/wait.log");

    const std::string said = FileBytes(folder + "/wait.log");
    EXPECT_EQ(FileBytes(folder + "/wait.rc"), "0\n") << said;
    EXPECT_TRUE(Has(said, "veldra: no answer from Slurm (")) << said;
    EXPECT_TRUE(Has(said, "veldra: Slurm answers again\n")) << said;
    EXPECT_TRUE(Has(said, "every frame is done")) << said;
    ExpectSameAsLocal(folder, count);
}

// The state of `node` as sinfo gives it ("idle", "down*"...).
std::string NodeState(const OwnCluster& cluster, const std::string& node)
{
    std::string state = cluster.Run(".", "sinfo -h -n " + node + " -o %t").output;
    state.erase(state.find_last_not_of('\n') + 1);
    return state;
}

// A node lost mid-chunk, its slurmd and everything it ran killed at once:
// Slurm starts the task again on the other node, which keeps the frames
// done before the loss and counts the attempt lost with the node. The run
// ends with every frame done, as a local render, nothing left behind, and
// status and the report say so, naming both nodes. The node then comes
// back and renders again.
TEST_F(FarmCluster, ANodeKilledMidChunkLosesNothing)
{
    const std::string folder = ScratchFolder("farm-node-killed");
    const int count = 6;
    MakeShot(folder, count);
    MakeFolder(folder + "/again");
    const OwnCluster cluster(folder, 2, 10);
    ASSERT_TRUE(cluster.Started()) << cluster.Script("status").output;
    // Frame 3 is held being written until the node is lost, so that the
    // node dies mid-chunk.
    ASSERT_EQ(cluster
                  .Run(folder,
                       "(VELDRA_TEST_STALL_UNTIL=go VELDRA_TEST_STALL_ONLY=shot.0003.png \"$VELDRA\" farm submit "
                       "in/shot.####.png out/shot.####.png " +
                           Turn() +
                           " --chunk 6 --wait >wait.log 2>&1; echo $? >wait.rc) "
                           "</dev/null >/dev/null 2>&1 &")
                  .exitCode,
              0);
    ASSERT_TRUE(WaitFor([&] { return Exists(folder + "/out/shot.0002.png"); })) << FileBytes(folder + "/wait.log");
    const std::string run = LatestRun(folder);
    const std::string job = SubmissionValue(run, 0, "array-job");
    const std::string lost = ValueIn(run + "/tasks/" + job + "_0.txt", "node");
    ASSERT_TRUE(lost == "node1" || lost == "node2") << lost;
    const std::string other = lost == "node1" ? "node2" : "node1";
    ASSERT_EQ(cluster.Script("kill-node " + lost).exitCode, 0);
    WriteBytes(folder + "/go", "");

    ASSERT_TRUE(WaitFor([&] { return Exists(folder + "/wait.rc"); }, 500)) << FileBytes(folder + "/wait.log");
    const std::string said = FileBytes(folder + "/wait.log");
    EXPECT_EQ(FileBytes(folder + "/wait.rc"), "0\n") << said;
    ExpectSameAsLocal(folder, count);
    ExpectNoTemporaries(folder);
    EXPECT_EQ(ValueIn(run + "/tasks/" + job + "_0-1.txt", "node"), other);
    // The frame under way when the node died, if one was (it may have died
    // between two frames), had its attempt there counted.
    std::size_t onLost = 0, twice = 0;
    for (int frame = 1; frame <= count; ++frame) {
        const std::string record = run + "/status/" + std::to_string(frame) + ".txt";
        onLost += ValueIn(record, "node") == lost ? 1 : 0;
        if (ValueIn(record, "attempts") == "2") {
            ++twice;
            EXPECT_EQ(ValueIn(record, "node"), other) << frame;
        }
    }
    EXPECT_GE(onLost, 1u);
    EXPECT_LE(twice, 1u);
    const std::string lostWords = lost + " " + std::to_string(onLost) + " done, 1 task lost";
    const std::string otherWords = other + " " + std::to_string(count - onLost) + " done";
    const std::string nodes = "nodes:     " +
                              (lost == "node1" ? lostWords + "; " + otherWords : otherWords + "; " + lostWords);
    const RunResult status = cluster.Run(folder, "\"$VELDRA\" farm status out");
    EXPECT_TRUE(Has(status.output, nodes + "\n")) << status.output;
    EXPECT_TRUE(Has(status.output, "every frame is done")) << status.output;
    ASSERT_TRUE(WaitFor([&] { return Has(FileBytes(run + "/report.txt"), "every frame is done"); }, 500));
    EXPECT_TRUE(Has(FileBytes(run + "/report.txt"), nodes + "\n")) << FileBytes(run + "/report.txt");
    const std::string page = FileBytes(run + "/report.html");
    EXPECT_TRUE(Has(page, "<b class=\"count\">" + std::to_string(count) + "</b> done")) << page.substr(0, 2000);
    EXPECT_TRUE(Has(page, "data-node=\"" + lost + "\"") && Has(page, "data-node=\"" + other + "\""));

    // The node comes back, and renders.
    ASSERT_EQ(cluster.Script("start-node " + lost).exitCode, 0);
    const RunResult again = cluster.Run(folder, "\"$VELDRA\" farm submit in/shot.####.png again/shot.####.png " +
                                                    Turn() + " --frames 1-2 --chunk 2 --wait -- --nodelist=" + lost);
    ASSERT_EQ(again.exitCode, 0) << again.output;
    EXPECT_EQ(ValueIn(LatestRun(folder, "again") + "/status/2.txt", "node"), lost);
}

// A node the controller loses touch with while its task renders on (its
// slurmd frozen, as behind a network partition): Slurm starts the task
// again on the other node while the first goes on, both working through
// the same frames. Each frame is rendered under its lock, and the copy
// that comes second keeps what the other has done. Thawed, the node is
// taken back; the run ends with every frame done, as a local render, and
// every record names the file that stands.
TEST_F(FarmCluster, AFrozenNodesTaskGoesOnWhileSlurmStartsItAgain)
{
    const std::string folder = ScratchFolder("farm-node-frozen");
    // Two seconds a frame: the frozen node's task is still at it when Slurm
    // has counted the node down and started the task again (about half a
    // minute here), and the two then share what is left.
    const int count = 30;
    MakeShot(folder, count);
    const OwnCluster cluster(folder, 2, 10);
    ASSERT_TRUE(cluster.Started()) << cluster.Script("status").output;
    ASSERT_EQ(cluster
                  .Run(folder,
                       "VELDRA_TEST_STALL_WRITE=2 VELDRA_TEST_STALL_ONLY=.png \"$VELDRA\" farm submit "
                       "in/shot.####.png out/shot.####.png " +
                           Turn() + " --chunk 30")
                  .exitCode,
              0);
    const std::string run = LatestRun(folder);
    const std::string job = SubmissionValue(run, 0, "array-job");
    ASSERT_TRUE(WaitFor([&] { return ValueIn(run + "/status/1.txt", "state") == "ok"; }));
    const std::string frozen = ValueIn(run + "/tasks/" + job + "_0.txt", "node");
    ASSERT_TRUE(frozen == "node1" || frozen == "node2") << frozen;
    const std::string other = frozen == "node1" ? "node2" : "node1";
    ASSERT_EQ(cluster.Script("freeze-node " + frozen).exitCode, 0);

    // Slurm counts the node down and starts the task again elsewhere; on a
    // machine slow enough, the first may finish before that, which is the
    // other good ending.
    const std::string second = run + "/tasks/" + job + "_0-1.txt";
    const auto jobActive = [&] {
        return !cluster.Run(".", "squeue -h -t PENDING,RUNNING,COMPLETING,CONFIGURING -o %i -j " + job).output.empty();
    };
    ASSERT_TRUE(WaitFor([&] { return ValueIn(second, "state") == "ended" || !jobActive(); }, 500));
    if (Exists(second)) {
        EXPECT_EQ(ValueIn(second, "node"), other);
        EXPECT_EQ(ValueIn(second, "ending"), "completed");
    } else {
        std::printf("note: the frozen node's task ended before Slurm started it again\n");
    }
    ASSERT_EQ(cluster.Script("thaw-node " + frozen).exitCode, 0);
    ASSERT_TRUE(WaitFor([&] { return NodeState(cluster, frozen) == "idle"; }, 500)) << NodeState(cluster, frozen);
    ASSERT_TRUE(WaitFor([&] { return !jobActive(); }, 500));

    const RunResult status = cluster.Run(folder, "\"$VELDRA\" farm status out");
    EXPECT_TRUE(Has(status.output, "every frame is done")) << status.output;
    ExpectSameAsLocal(folder, count);
    ExpectNoTemporaries(folder);
    for (int frame = 1; frame <= count; ++frame) {
        const std::string node = ValueIn(run + "/status/" + std::to_string(frame) + ".txt", "node");
        EXPECT_TRUE(node == frozen || node == other) << frame << ": " << node;
    }
    EXPECT_EQ(ValueIn(run + "/status/1.txt", "node"), frozen);
}

// A run's tasks without a cluster: sbatch, squeue and scancel are stand-ins
// (tests/farm/fake-slurm) that submit nothing, and the test runs each task
// itself with the variables Slurm would set, as Slurm would on the node
// named.
class FarmTask : public FarmShot {
protected:
    // The shell words that put the stand-ins first on PATH, their state in
    // `folder`/slurm.
    static std::string FakeSlurm(const std::string& folder)
    {
        MakeFolder(folder + "/slurm");
        return "PATH='" VELDRA_SOURCE_DIR "/tests/farm/fake-slurm':\"$PATH\" FAKE_SLURM_DIR='" + folder + "/slurm' ";
    }

    // `veldra farm WORDS` with the stand-ins.
    static RunResult Farm(const std::string& folder, const std::string& words)
    {
        return RunInShell(folder, FakeSlurm(folder) + "\"$VELDRA\" farm " + words);
    }

    // The shell words that run task `task` of array job 100 of `run`, the
    // `restart`-th start of it, on node `node`.
    static std::string TaskLine(const std::string& run, int task, const std::string& node, int restart = 0)
    {
        return "SLURM_ARRAY_JOB_ID=100 SLURM_ARRAY_TASK_ID=" + std::to_string(task) + " SLURMD_NODENAME=" + node +
               (restart > 0 ? " SLURM_RESTART_COUNT=" + std::to_string(restart) : "") + " \"$VELDRA\" farm task '" +
               run + "' 0";
    }

    // How many times the task log of task 0 says frame `frame` started an
    // attempt.
    static std::size_t AttemptsLogged(const std::string& run, int frame)
    {
        const std::string log = FileBytes(run + "/logs/100_0.log");
        const std::string line = "frame " + std::to_string(frame) + ", attempt ";
        std::size_t count = 0;
        for (std::size_t at = 0; (at = log.find(line, at)) != std::string::npos; at += line.size())
            count += log.compare(log.find(':', at), 12, ": rendering\n") == 0 ? 1 : 0;
        return count;
    }
};

// Each task records the node Slurm names (and the host) with every frame;
// status says what each node did, and --node lists one node's frames.
TEST_F(FarmTask, RecordsNameTheNodeAndStatusSaysWhatEachNodeDid)
{
    const std::string folder = ScratchFolder("task-nodes");
    MakeShot(folder, 6);
    const RunResult submitted = Farm(folder, "submit in/shot.####.png out/shot.####.png " + Turn() + " --chunk 3");
    ASSERT_EQ(submitted.exitCode, 0) << submitted.output;
    const std::string run = LatestRun(folder);
    for (const auto& [task, node] : {std::make_pair(0, "nodeA"), std::make_pair(1, "nodeB")}) {
        const RunResult ran = RunInShell(folder, TaskLine(run, task, node));
        ASSERT_EQ(ran.exitCode, 0) << ran.output;
    }
    ExpectSameAsLocal(folder, 6);
    EXPECT_EQ(ValueIn(run + "/status/2.txt", "node"), "nodeA");
    EXPECT_EQ(ValueIn(run + "/status/5.txt", "node"), "nodeB");
    EXPECT_EQ(ValueIn(run + "/status/5.txt", "host"), RunInShell(".", "hostname | tr -d '\\n'").output);
    EXPECT_NE(ValueIn(run + "/status/5.txt", "started"), "0.000");

    const RunResult status = Farm(folder, "status out");
    EXPECT_TRUE(Has(status.output, "nodes:     nodeA 3 done; nodeB 3 done\n")) << status.output;
    EXPECT_TRUE(Has(status.output, "every frame is done")) << status.output;
    const RunResult nodeB = Farm(folder, "status out --node nodeB");
    EXPECT_TRUE(Has(nodeB.output, "node nodeB\ndone:      3 frames: 4-6\n")) << nodeB.output;
    const RunResult unknown = Farm(folder, "status out --node nodeC");
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(Has(unknown.output, "no record of the run names this node (its nodes: nodeA, nodeB)"))
        << unknown.output;
    const RunResult verbose = Farm(folder, "status out --verbose");
    EXPECT_TRUE(Has(verbose.output, "frames:\n  1: done (1 attempt on nodeA, ")) << verbose.output;

    // The report job writes the page before the text, so that whoever reads
    // the text's verdict finds the page that goes with it: held while the
    // page is being written, it has written no text yet.
    ASSERT_EQ(RunInShell(folder,
                         "(" + FakeSlurm(folder) +
                             "VELDRA_TEST_STALL_UNTIL=go VELDRA_TEST_STALL_ONLY=report.html \"$VELDRA\" farm report '" +
                             run + "' >report.log 2>&1; echo $? >report.rc) </dev/null >/dev/null 2>&1 &")
                  .exitCode,
              0);
    ASSERT_TRUE(WaitFor([&] { return !Leftovers(run).empty(); })) << FileBytes(folder + "/report.log");
    EXPECT_FALSE(Exists(run + "/report.txt"));
    WriteBytes(folder + "/go", "");
    ASSERT_TRUE(WaitFor([&] { return Exists(folder + "/report.rc"); })) << FileBytes(folder + "/report.log");
    EXPECT_EQ(FileBytes(folder + "/report.rc"), "0\n") << FileBytes(folder + "/report.log");
    EXPECT_TRUE(Has(FileBytes(run + "/report.txt"), "every frame is done"));
    EXPECT_TRUE(Has(FileBytes(run + "/report.html"), "<b class=\"count\">6</b> done"));
}

// A node lost mid-chunk: its task is killed outright under frame 2, the
// record of that attempt stays, and so does the renderer's temporary file.
// Started again on another node (as Slurm requeues it), the task keeps
// frame 1, counts the lost attempt at frame 2, renders the rest, removes
// what the lost start left, and status names the node the start was lost
// on.
TEST_F(FarmTask, ATaskStartedAgainCountsTheAttemptLostWithItsNode)
{
    const std::string folder = ScratchFolder("task-lost");
    MakeShot(folder, 4);
    ASSERT_EQ(Farm(folder, "submit in/shot.####.png out/shot.####.png " + Turn() + " --chunk 4").exitCode, 0);
    const std::string run = LatestRun(folder);
    // The first start, on nodeA, in a session of its own, so that it and
    // its renderer can be killed together as a node's power cut would,
    // held writing frame 2 (until a file that never comes).
    WriteBytes(folder + "/lost.sh", "echo $$ >lost.pid\n" + TaskLine(run, 0, "nodeA") + "\n");
    ASSERT_EQ(RunInShell(folder,
                         "export VELDRA VELDRA_TEST_STALL_UNTIL=never VELDRA_TEST_STALL_ONLY=shot.0002.png; "
                         "setsid sh lost.sh </dev/null >/dev/null 2>&1 &")
                  .exitCode,
              0);
    ASSERT_TRUE(WaitFor([&] { return AttemptsLogged(run, 2) == 1; })) << FileBytes(run + "/logs/100_0.log");
    ASSERT_TRUE(WaitFor([&] { return RunInShell(folder, "ls -a out | grep -q '\\.tmp$'").exitCode == 0; }));
    ASSERT_EQ(RunInShell(folder, "/bin/kill -s KILL -- -$(cat lost.pid)").exitCode, 0);
    ASSERT_TRUE(
        WaitFor([&] { return RunInShell(folder, "! /bin/kill -s 0 -- -$(cat lost.pid) 2>/dev/null").exitCode == 0; }));
    EXPECT_EQ(ValueIn(run + "/status/2.txt", "state"), "rendering");

    const RunResult again = RunInShell(folder, TaskLine(run, 0, "nodeB", 1));
    ASSERT_EQ(again.exitCode, 0) << again.output;
    const std::string log = FileBytes(run + "/logs/100_0.log");
    EXPECT_TRUE(Has(log, "task 0 of job 100 started again (1) on nodeB")) << log;
    EXPECT_TRUE(Has(log, "frame 1: rendered earlier in this run, kept\n")) << log;
    EXPECT_TRUE(Has(log, "frame 2: 1 attempt ended with an earlier start of this task\n")) << log;
    EXPECT_TRUE(Has(log, "frame 2, attempt 2: rendering\n")) << log;
    EXPECT_EQ(ValueIn(run + "/status/2.txt", "attempts"), "2");
    EXPECT_EQ(ValueIn(run + "/status/2.txt", "node"), "nodeB");
    EXPECT_EQ(ValueIn(run + "/status/1.txt", "node"), "nodeA");
    ExpectSameAsLocal(folder, 4);
    ExpectNoTemporaries(folder);
    const RunResult status = Farm(folder, "status out");
    EXPECT_TRUE(Has(status.output, "nodes:     nodeA 1 done, 1 task lost; nodeB 3 done\n")) << status.output;
    EXPECT_TRUE(Has(status.output, "every frame is done")) << status.output;
    const RunResult nodeA = Farm(folder, "status out --node nodeA");
    EXPECT_TRUE(Has(nodeA.output, "  task 0 of job 100 started here and never said how it ended")) << nodeA.output;
}

// Two starts of one task at once, as when Slurm has started it again
// elsewhere while the node it lost touch with renders on: each frame is
// rendered by one of them only, whichever holds its lock, the other
// finding it done; every output is the local render's, and every record
// names the file that stands.
TEST_F(FarmTask, TwoStartsOfATaskAtOnceRenderEachFrameOnce)
{
    const std::string folder = ScratchFolder("task-twice");
    const int count = 6;
    MakeShot(folder, count);
    ASSERT_EQ(Farm(folder, "submit in/shot.####.png out/shot.####.png " + Turn() + " --chunk 6").exitCode, 0);
    const std::string run = LatestRun(folder);
    const RunResult both = RunInShell(folder, "export VELDRA_TEST_STALL_WRITE=1 VELDRA_TEST_STALL_ONLY=.png; (" +
                                                  TaskLine(run, 0, "nodeA") + " >a.out 2>&1; echo $? >a.rc) & (" +
                                                  TaskLine(run, 0, "nodeB", 1) + " >b.out 2>&1; echo $? >b.rc) & wait");
    ASSERT_EQ(both.exitCode, 0) << both.output;
    EXPECT_EQ(FileBytes(folder + "/a.rc"), "0\n") << FileBytes(folder + "/a.out");
    EXPECT_EQ(FileBytes(folder + "/b.rc"), "0\n") << FileBytes(folder + "/b.out");
    for (int frame = 1; frame <= count; ++frame)
        EXPECT_EQ(AttemptsLogged(run, frame), 1u) << frame << "\n" << FileBytes(run + "/logs/100_0.log");
    ExpectSameAsLocal(folder, count);
    ExpectNoTemporaries(folder);
    EXPECT_TRUE(Has(Farm(folder, "status out").output, "every frame is done"));
    EXPECT_EQ(ValueIn(run + "/tasks/100_0.txt", "ending"), "completed");
    EXPECT_EQ(ValueIn(run + "/tasks/100_0-1.txt", "ending"), "completed");
}

// A controller that takes sbatch's request and answers only after sbatch
// has given up (frozen, then thawed): submit says the job may exist and
// keeps the run, whose jobs are then found by their comment and render
// the shot.
TEST_F(FarmCluster, AJobSbatchDidNotAnswerForIsFoundAndRenders)
{
    const std::string folder = ScratchFolder("farm-frozen");
    MakeShot(folder, 2);
    const OwnCluster cluster(folder);
    ASSERT_TRUE(cluster.Started()) << cluster.Script("status").output;
    const std::string conf = cluster.Conf();
    // Slurm's commands give up on the frozen controller after a second.
    ASSERT_EQ(RunInShell(folder, "(" + conf +
                                     " && sed -e '/^MessageTimeout=/d' \"$SLURM_CONF\" >slow.conf) && "
                                     "echo MessageTimeout=1 >>slow.conf")
                  .exitCode,
              0);
    ASSERT_EQ(cluster.Script("freeze-controller").exitCode, 0);
    const RunResult run = RunInShell(folder,
                                     "SLURM_CONF=$PWD/slow.conf \"$VELDRA\" farm submit in/shot.####.png "
                                     "out/shot.####.png " +
                                         Turn() + " --frames 1-2 --chunk 2");
    ASSERT_EQ(cluster.Script("thaw-controller").exitCode, 0);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    const std::string farm = LatestRun(folder);
    ASSERT_FALSE(farm.empty()) << run.output;
    EXPECT_TRUE(Has(run.output,
                    "(the job may exist all the same once the controller answers: the run keeps the "
                    "submission, and veldra farm status, retry and cancel " +
                        farm + " look for it)"))
        << run.output;
    EXPECT_EQ(SubmissionValue(farm, 0, "array-job"), "");
    // The first status to find the job says so, and records it.
    std::string status;
    bool found = false;
    EXPECT_TRUE(WaitFor([&] {
        status = RunInShell(folder, conf + " && \"$VELDRA\" farm status out").output;
        found = found || Has(status, "note: submission 0: sbatch did not say its job; Slurm knows it as job ");
        return Has(status, "every frame is done");
    })) << status;
    EXPECT_TRUE(found) << status;
    EXPECT_NE(SubmissionValue(farm, 0, "array-job"), "");  // recorded now
    ExpectSameAsLocal(folder, 2);
}

// Mistakes are refused before anything is submitted, and without Slurm on
// PATH the submission says so; no run folder is left either way. (No
// cluster needed: Slurm is kept off PATH.)
TEST(FarmSubmit, RefusesBeforeSubmitting)
{
    const std::string folder = ScratchFolder("farm-refused");
    MakeFolder(folder + "/in");
    MakeFolder(folder + "/out");
    for (int frame = 1; frame <= 3; ++frame)
        WritePicture(folder + "/in/f." + std::to_string(frame) + ".png", CoordinatePicture(4, 3, frame));
    const auto submit = [&](const std::string& words) {
        return RunInShell(folder, "PATH=/nonexistent \"$VELDRA\" farm submit " + words);
    };
    // A command line that cannot be taken exits 2; anything else that
    // fails, 1.
    const struct {
        std::string words;
        int exitCode;
        std::string message;  // how the one line starts
    } refusals[] = {
        {"in/f.#.png in/f.#.png --chunk 2", 1, "veldra: in/f.#.png: a farm run cannot render in place"},
        {"in/f.#.png out/f.#.png --chunk 2 --frames 1-4", 1, "veldra: in/f.4.png: cannot open"},
        {"in/f.1.png out/f.1.png --chunk 2", 2, "veldra: farm: INPUT must be a sequence pattern"},
        {"in/f.#.png out/f.#.png", 2, "veldra: farm submit: give --chunk N"},
        {"in/f.#.png out/f.#.png --chunk 2 -n", 2, "veldra: farm submit: --dry-run writes nothing"},
        {"in/f.#.png nowhere/f.#.png --chunk 2", 1, "veldra: nowhere/: cannot write to the output folder"},
        {"in/f.#.png out/f.#.png --chunk 2", 1,
         "veldra: sbatch: not found on PATH (is Slurm installed?) (nothing was submitted)\n"},
    };
    for (const auto& [words, exitCode, message] : refusals) {
        const RunResult run = submit(words);
        EXPECT_EQ(run.exitCode, exitCode) << words;
        EXPECT_EQ(run.output.compare(0, message.size(), message), 0) << words << "\n" << run.output;
        EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    }
    // A folder whose path the records could not hold, however it is
    // reached.
    MakeFolder(folder + "/line\nbreak");
    ASSERT_EQ(RunInShell(folder, "ln -s 'line\nbreak' linked").exitCode, 0);
    const RunResult linked = submit("in/f.#.png linked/f.#.png --chunk 2");
    EXPECT_EQ(linked.exitCode, 1);
    EXPECT_TRUE(Has(linked.output, "holds a line break, which a farm run's records cannot hold")) << linked.output;
    EXPECT_FALSE(Exists(folder + "/out/.veldra-farm") && !RunsIn(folder + "/out/.veldra-farm").empty());
    EXPECT_FALSE(Exists(folder + "/line\nbreak/.veldra-farm"));
}

// A run folder planted by another user, or one others may write to, is
// refused by status, retry and cancel with a line that says why, before
// any program it names runs. (No cluster needed: nothing reaches Slurm.)
TEST(FarmRuns, RunsOfOthersAreRefused)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "planting a run of another user takes root";
    const std::string folder = ScratchFolder("farm-planted");
    const std::string run = folder + "/out/.veldra-farm/20991231-235959";
    MakeFolder(run + "/submissions");
    MakeFolder(run + "/status");
    WriteBytes(run + "/manifest.txt",
               "program=" + folder + "/evil.sh\nworkdir=" + folder +
                   "\ninput=in.#.png\noutput=out/f.#.png\nframes=1\nrange-first=1\nrange-last=1\nchunk=1\nretries=0\n"
                   "max-parallel=0\n");
    WriteBytes(run + "/submissions/0.txt", "submission=0\nframes=1\narray-job=1\nreport-job=2\n");
    ASSERT_EQ(RunInShell(folder, "chmod -R go-w out && chown -R 65534:65534 out/.veldra-farm/20991231-235959").exitCode,
              0);
    for (const std::string action : {"status", "retry", "cancel"}) {
        const RunResult refused = RunVeldra(folder, "farm " + action + " out");
        EXPECT_EQ(refused.exitCode, 1) << action;
        EXPECT_TRUE(Has(refused.output, run + ": belongs to uid 65534, not to you (uid 0): veldra farm acts only on "
                                              "your own runs\n"))
            << action << ": " << refused.output;
    }
    ASSERT_EQ(RunInShell(folder, "chown -R 0:0 out && chmod g+w " + run).exitCode, 0);
    const RunResult writable = RunVeldra(folder, "farm retry " + run);
    EXPECT_EQ(writable.exitCode, 1);
    EXPECT_EQ(writable.output, "veldra: " + run +
                                   ": others can write to it (mode 0775): veldra farm acts only on "
                                   "runs no one else can change\n");
}

// Movies on the farm: a movie in is a shot whose tasks each decode only
// their chunk, by seeking; a movie out is encoded by the run's final job
// from the frames the tasks wrote into the run folder, byte for byte the
// movie a local render writes (its audio copied alike). When the final
// job cannot write the movie, --wait and status say so and retry makes it
// alone.
TEST_F(FarmCluster, MoviesInAndOutMatchALocalRender)
{
    const std::string folder = ScratchFolder("farm-movie");
    MakeFolder(folder + "/out");
    const RunResult made = RunInShell(folder,
                                      "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=48x32:rate=24:"
                                      "duration=1 -f lavfi -i sine=duration=1 -c:v libx264 -pix_fmt yuv420p "
                                      "-g 7 -bf 3 -c:a aac -shortest in.mp4");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const std::string turn = " " + Turn() + " -q";
    ASSERT_EQ(RunVeldra(folder, "render in.mp4 local.####.png" + turn).exitCode, 0);
    ASSERT_EQ(RunVeldra(folder, "render in.mp4 local.mov" + turn).exitCode, 0);

    RunResult run = RunVeldra(folder, "farm submit in.mp4 out/shot.####.png" + turn + " --chunk 7 --wait");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    for (int frame = 0; frame < 24; ++frame) {
        char name[32];
        std::snprintf(name, sizeof name, "shot.%04d.png", frame);
        EXPECT_EQ(FileBytes(folder + "/out/" + name), FileBytes(folder + "/local." + std::string(name).substr(5)))
            << name;
    }

    run = RunVeldra(folder, "farm submit in.mp4 out/review.mov" + turn + " --chunk 7 --wait");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output, "movie:     " + folder + "/out/review.mov (prores4444, 24 fps): written (job "))
        << run.output;
    EXPECT_EQ(FileBytes(folder + "/out/review.mov"), FileBytes(folder + "/local.mov"));
    EXPECT_FALSE(Exists(LatestRun(folder) + "/frames")) << "the frames are in the movie now";
    // The page was written while they were there, with their thumbnails.
    const std::string page = FileBytes(LatestRun(folder) + "/report.html");
    EXPECT_TRUE(Has(page, "<h1>" + folder + "/out/review.mov</h1>")) << page.substr(0, 2000);
    EXPECT_TRUE(Has(page, "<img alt=\"frame 0\"") && Has(page, "<img alt=\"frame 23\""));
    EXPECT_FALSE(Has(page, "cannot read"));
    run = RunVeldra(folder, "farm status out --html " + folder + "/later.html");
    EXPECT_TRUE(Has(FileBytes(folder + "/later.html"), "The frames are in the movie " + folder + "/out/review.mov now"))
        << run.output;
    run = RunVeldra(folder, "farm status out");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output, "done:      24 frames: 0-23")) << run.output;
    EXPECT_FALSE(Has(run.output, "copied or moved")) << run.output;

    // A disk that fills once a file passes 50000 bytes: the frames (48 x 32)
    // are written, the movie is not, and the final job says why.
    run = RunInShell(folder, "VELDRA_TEST_DISK_BYTES=50000 \"$VELDRA\" farm submit in.mp4 out/blocked.mov" + turn +
                                 " --chunk 12 --wait");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(Has(run.output, "done:      24 frames: 0-23")) << run.output;
    EXPECT_TRUE(Has(run.output, "/out/blocked.mov (prores4444, 24 fps): not made (job ")) << run.output;
    EXPECT_TRUE(Has(run.output, "blocked.mov: cannot write: No space left on device")) << run.output;
    EXPECT_FALSE(Exists(folder + "/out/blocked.mov"));
    run = RunVeldra(folder, "farm retry out --wait");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(Has(run.output, "every frame is done; submitted job ")) << run.output;
    EXPECT_EQ(FileBytes(folder + "/out/blocked.mov"), FileBytes(folder + "/local.mov"));
}

}  // namespace
