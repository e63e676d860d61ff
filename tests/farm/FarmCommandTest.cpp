// `veldra farm` run as a user runs it: refusals before anything reaches
// Slurm, then the whole against a real Slurm cluster, the one-node cluster
// that scripts/local-slurm.sh runs on this machine (scripts/test.sh starts
// it and sets SLURM_CONF). Without one the cluster tests skip, saying why;
// with VELDRA_REQUIRE_CLUSTER=1 they fail instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

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

class FarmCluster : public testing::Test {
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

    // A shot of distinct frames in `folder`/in, and the same shot rendered
    // locally in `folder`/local, as the reference.
    static void MakeShot(const std::string& folder)
    {
        MakeFolder(folder + "/in");
        MakeFolder(folder + "/local");
        MakeFolder(folder + "/out");
        for (int frame = 1; frame <= Frames; ++frame)
            WritePicture(folder + "/in/" + ShotFrameName(frame), CoordinatePicture(21, 13, frame));
        const RunResult local = RunVeldra(folder, "render in/shot.####.png local/shot.####.png " + Turn() + " --quiet");
        ASSERT_EQ(local.exitCode, 0) << local.output;
    }

    static std::string Turn() { return "--axis y --pivot center --start -30 --end 60"; }

    // `veldra farm submit` of the shot made by MakeShot, into `folder`/out.
    static RunResult SubmitShot(const std::string& folder, const std::string& options)
    {
        return RunVeldra(folder, "farm submit in/shot.####.png out/shot.####.png " + options);
    }

    static std::string ShotFrameName(int frame)
    {
        char name[32];
        std::snprintf(name, sizeof name, "shot.%04d.png", frame);
        return name;
    }

    static void ExpectSameAsLocal(const std::string& folder)
    {
        for (int frame = 1; frame <= Frames; ++frame) {
            const std::string name = ShotFrameName(frame);
            ASSERT_TRUE(Exists(folder + "/out/" + name)) << name;
            EXPECT_EQ(FileBytes(folder + "/out/" + name), FileBytes(folder + "/local/" + name)) << name;
        }
    }

    // The run's only farm folder.
    static std::string RunFolder(const std::string& folder)
    {
        const auto runs = FolderEntries(folder + "/out/.veldra-farm");
        return runs.size() == 1 ? folder + "/out/.veldra-farm/" + runs[0] : "";
    }
};

// Chunks of an array, two at a time, give the bytes of a local render of
// the whole shot, and the final job writes its report.
TEST_F(FarmCluster, ShotMatchesALocalRender)
{
    const std::string folder = ScratchFolder("farm-whole");
    MakeShot(folder);
    const RunResult run = SubmitShot(folder, Turn() + " --chunk 5 --max-parallel 2 --wait");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("done:      24 frames: 1-24"), std::string::npos) << run.output;
    ExpectSameAsLocal(folder);

    const std::string farm = RunFolder(folder);
    ASSERT_FALSE(farm.empty());
    EXPECT_EQ(FolderEntries(farm + "/status").size(), static_cast<std::size_t>(Frames));
    EXPECT_EQ(FolderEntries(farm + "/logs").size(), 6u);  // five chunks and the report
    const std::string report = FileBytes(farm + "/report.txt");
    EXPECT_NE(report.find("every frame is done"), std::string::npos) << report;
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
    EXPECT_NE(status.output.find("done:      23 frames: 1-6,8-24"), std::string::npos) << status.output;
    EXPECT_NE(status.output.find("failed:    1 frame: 7\n  7: in/shot.0007.png: "), std::string::npos) << status.output;
    EXPECT_NE(status.output.find("(2 attempts on "), std::string::npos) << status.output;
    const std::string farm = RunFolder(folder);
    const std::size_t logAt = status.output.find("log " + farm + "/logs/");
    ASSERT_NE(logAt, std::string::npos) << status.output;
    const std::string log = status.output.substr(logAt + 4, status.output.find(')', logAt) - logAt - 4);
    EXPECT_NE(FileBytes(log).find("frame 7, attempt 2: in/shot.0007.png"), std::string::npos) << FileBytes(log);
    EXPECT_FALSE(Exists(folder + "/out/shot.0007.png"));

    // The frames already rendered must not be written again.
    struct stat before;
    ASSERT_EQ(stat((folder + "/out/shot.0008.png").c_str(), &before), 0);
    WriteBytes(folder + "/in/shot.0007.png", good);
    const RunResult retry = RunVeldra(folder, "farm retry " + farm + " --wait");
    ASSERT_EQ(retry.exitCode, 0) << retry.output;
    EXPECT_NE(retry.output.find("1 frame (7) in 1 task"), std::string::npos) << retry.output;
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

// Cancelling a run mid-way leaves no job running, and status names the
// frames that never ran, so retry knows what is left.
TEST_F(FarmCluster, CancelStopsTheRunAndStatusShowsWhatNeverRan)
{
    const std::string folder = ScratchFolder("farm-cancel");
    MakeShot(folder);
    const RunResult run = SubmitShot(folder, Turn() + " --chunk 2 --max-parallel 1");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::string farm = RunFolder(folder);
    ASSERT_FALSE(farm.empty());
    // Cancel once the first task has started: some frames done, most not.
    for (int poll = 0; poll < 300 && FolderEntries(farm + "/status").empty(); ++poll)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const RunResult cancel = RunVeldra(folder, "farm cancel out");
    ASSERT_EQ(cancel.exitCode, 0) << cancel.output;

    const std::string submission = FileBytes(farm + "/submissions/0.txt");
    const auto valueOf = [&](const std::string& key) {
        const std::size_t at = submission.find(key + "=") + key.size() + 1;
        return submission.substr(at, submission.find('\n', at) - at);
    };
    const RunResult queue = RunInShell(folder, "squeue -h -t PENDING,RUNNING,COMPLETING,CONFIGURING -o %i -j " +
                                                   valueOf("array-job") + "," + valueOf("report-job"));
    EXPECT_EQ(queue.output, "") << queue.output;
    const RunResult status = RunVeldra(folder, "farm status out");
    EXPECT_NE(status.output.find("running:   0 frames\npending:   0 frames\nfailed:    0 frames\n"), std::string::npos)
        << status.output;
    EXPECT_NE(status.output.find("never ran: "), std::string::npos) << status.output;
    EXPECT_EQ(status.output.find("never ran: 0 frames"), std::string::npos) << status.output;
    EXPECT_NE(status.output.find("next: veldra farm retry"), std::string::npos) << status.output;
}

// With the controller unreachable, or the submission refused, submit says
// so in one line and leaves no run behind.
TEST_F(FarmCluster, FailedSubmissionSaysWhyAndLeavesNothing)
{
    const std::string folder = ScratchFolder("farm-down");
    MakeShot(folder);
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
    EXPECT_TRUE(FolderEntries(folder + "/out/.veldra-farm").empty());

    const RunResult refused = SubmitShot(folder, "--chunk 5 --partition no-such-partition");
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_EQ(refused.output,
              "veldra: sbatch failed: error: Batch job submission failed: Invalid partition name "
              "specified (nothing was submitted)\n");
    EXPECT_TRUE(FolderEntries(folder + "/out/.veldra-farm").empty());
}

// A run that asks for more CPUs than any node has would pend for ever:
// status warns, --wait stops waiting, and cancel ends it.
TEST_F(FarmCluster, ImpossibleRequestIsFlagged)
{
    const std::string folder = ScratchFolder("farm-stuck");
    MakeShot(folder);
    const RunResult run = SubmitShot(folder, "--chunk 12 --cpus-per-task 4096 --wait");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("pending:   24 frames: 1-24\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("(PartitionConfig): it asks for more than the partition or any of its nodes has"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("veldra: stopped waiting: a job of the run will not start by itself"), std::string::npos)
        << run.output;
    const RunResult cancel = RunVeldra(folder, "farm cancel out");
    EXPECT_EQ(cancel.exitCode, 0) << cancel.output;
    EXPECT_NE(cancel.output.find("never ran: 24 frames: 1-24\n"), std::string::npos) << cancel.output;
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
        std::string message;
    } refusals[] = {
        {"in/f.#.png in/f.#.png --chunk 2", 1, "veldra: in/f.#.png: a farm run cannot render in place"},
        {"in/f.#.png out/f.#.png --chunk 2 --frames 1-4", 1, "veldra: in/f.4.png: cannot open"},
        {"in/f.1.png out/f.1.png --chunk 2", 1, "veldra: farm: INPUT and OUTPUT must be sequence patterns"},
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
    EXPECT_FALSE(Exists(folder + "/out/.veldra-farm") && !FolderEntries(folder + "/out/.veldra-farm").empty());
}

}  // namespace
