// The parts of `veldra farm` that carry logic, without a cluster: chunks,
// frame sets, records, run folders, squeue's answers, the run's state, the
// command line and the runner of other programs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli/Arguments.h"
#include "cli/CliHarness.h"
#include "farm/run/FarmFolder.h"
#include "farm/run/RunState.h"
#include "farm/slurm/Slurm.h"
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

// The records a task writes read back whole; a broken one is refused, and
// a message can never break the one-line format.
TEST(FarmFolder, RecordsRoundTrip)
{
    const FrameRecord record{
        -12, false, 3, "node7", "1234", "5", "/farm/logs/1234_5.log", "in.0007.png: not an image = bad"};
    const FrameRecord back = ParseRecord(FormatRecord(record), "test");
    EXPECT_EQ(back.frame, -12);
    EXPECT_FALSE(back.ok);
    EXPECT_EQ(back.attempts, 3);
    EXPECT_EQ(back.host, "node7");
    EXPECT_EQ(back.job, "1234");
    EXPECT_EQ(back.task, "5");
    EXPECT_EQ(back.log, record.log);
    EXPECT_EQ(back.message, record.message);

    EXPECT_THROW(ParseRecord("frame=3\nattempts=1\n", "test"), Failure);            // no state
    EXPECT_THROW(ParseRecord("frame=x\nstate=ok\nattempts=1\n", "test"), Failure);  // bad frame
    EXPECT_THROW(ParseRecord("frame=3\nstate=maybe\nattempts=1\n", "test"), Failure);
    FrameRecord twoLines = record;
    twoLines.message = "first\nsecond";
    EXPECT_THROW(FormatRecord(twoLines), Failure);
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
}

// Runs made one after the other are found from the output folder as the
// latest, and from their own folder as themselves; a folder with no run is
// refused.
TEST(FarmFolder, FindsARunFromItsFolderOrTheOutputFolder)
{
    const std::string output = ScratchFolder("farm-find");
    FarmManifest manifest;
    manifest.program = "/bin/veldra";
    manifest.input = "in.####.png";
    manifest.output = output + "/out.####.png";
    manifest.frames = {1, 2, 3};
    manifest.chunk = 2;
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
    EXPECT_EQ(back.renderWords, manifest.renderWords);
    EXPECT_EQ(back.sbatchOptions, manifest.sbatchOptions);

    EXPECT_THROW(FarmFolder::Find(ScratchFolder("farm-empty")), Failure);
    // A run that never reached Slurm leaves nothing behind.
    second.Discard();
    EXPECT_FALSE(fs::exists(second.Path()));
    EXPECT_EQ(FarmFolder::Find(output).Path(), first.Path());
}

// squeue's lines become one entry per array task, pending ranges and
// throttles included; plain jobs keep no task.
TEST(Slurm, QueueLinesSpreadIntoTasks)
{
    const auto real = ParseQueue(
        "100|0-2%2|PENDING|JobArrayTaskLimit\n"
        "100|[5,7-8]|PENDING|Priority\n"
        "100|3|RUNNING|None\n"
        "101|N/A|PENDING|Dependency\n"
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
    EXPECT_TRUE(StuckReason("PartitionConfig"));
    EXPECT_TRUE(StuckReason("ReqNodeNotAvail, UnavailableNodes:n1"));
    EXPECT_FALSE(StuckReason("Priority"));
    EXPECT_FALSE(StuckReason("Dependency"));
}

// Done follows the records; anything else follows the task of the latest
// submission holding the frame, and falls back on the record once Slurm
// has let the task go.
TEST(RunState, RecordsAndLiveTasksCombine)
{
    FarmManifest manifest;
    manifest.frames = Frames(1, 12);
    manifest.chunk = 5;
    // The first submission: tasks [1-5] [6-10] [11-12]; the second retries
    // frames 3 and 11-12 in one task.
    std::vector<Submission> submissions = {MakeSubmission(0, Frames(1, 12), 5), MakeSubmission(1, {3, 11, 12}, 5)};
    submissions[0].arrayJob = "100";
    submissions[0].reportJob = "101";
    submissions[1].arrayJob = "200";
    submissions[1].reportJob = "201";
    auto record = [](int frame, bool ok) {
        return FrameRecord{frame, ok, 1, "n", "100", "0", "/l", "bad " + std::to_string(frame)};
    };
    const std::vector<FrameRecord> records = {record(1, true), record(2, false), record(3, false), record(4, true),
                                              record(5, true), record(6, false), record(11, false)};
    const std::vector<LiveJob> live = {{"100", 1, "RUNNING", "None"},
                                       {"100", 0, "COMPLETED", "None"},
                                       {"101", std::nullopt, "PENDING", "Dependency"},
                                       {"200", 0, "PENDING", "PartitionConfig"},
                                       {"201", std::nullopt, "PENDING", "Dependency"}};
    const RunState state = ComputeRunState(manifest, submissions, records, live);
    EXPECT_EQ(state.done, (std::vector<int>{1, 4, 5}));
    EXPECT_EQ(state.running, Frames(6, 10));
    EXPECT_EQ(state.pending, (std::vector<int>{3, 11, 12}));
    EXPECT_EQ(state.failed, (std::vector<int>{2}));
    EXPECT_TRUE(state.notRun.empty());
    ASSERT_EQ(state.failures.size(), 1u);
    EXPECT_EQ(state.failures[0].message, "bad 2");
    EXPECT_EQ(state.activeJobs, (std::vector<std::string>{"100", "101", "200", "201"}));
    ASSERT_EQ(state.warnings.size(), 1u);
    EXPECT_NE(state.warnings[0].find("job 200"), std::string::npos);

    // Slurm has forgotten every job: records decide, the rest never ran.
    const RunState later = ComputeRunState(manifest, submissions, records, {});
    EXPECT_TRUE(later.Finished());
    EXPECT_EQ(later.failed, (std::vector<int>{2, 3, 6, 11}));
    EXPECT_EQ(later.notRun, (std::vector<int>{7, 8, 9, 10, 12}));
    EXPECT_EQ(later.silentTasks, (std::vector<std::pair<std::string, int>>{{"100", 1}, {"200", 0}}));
    const std::string text = FormatRunState(later, manifest, submissions, "/run");
    EXPECT_NE(text.find("failed:    4 frames: 2-3,6,11\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  2: bad 2 (1 attempt on n; log /l)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("never ran: 5 frames: 7-10,12\n"), std::string::npos) << text;
    EXPECT_NE(text.find("veldra farm retry /run renders the 9 frames"), std::string::npos) << text;
}

// The farm's own options come out; render options stay for the tasks,
// checked as `veldra render` checks them; sbatch gets what follows "--".
TEST(FarmArguments, SubmitSplitsFarmRenderAndSbatchWords)
{
    const FarmArguments farm = Farm({"submit", "in.####.png", "--chunk", "5", "out.####.png", "--axis=y",
                                     "--max-parallel=2", "--retries", "0", "--wait", "--frames", "1-24", "--",
                                     "--account=vfx", "--chunk=9"});
    EXPECT_EQ(farm.action, FarmArguments::Action::Submit);
    EXPECT_EQ(farm.chunk, 5);
    EXPECT_EQ(farm.maxParallel, 2);
    EXPECT_EQ(farm.retries, 0);
    EXPECT_TRUE(farm.wait);
    EXPECT_EQ(farm.sbatchExtra, (std::vector<std::string>{"--account=vfx", "--chunk=9"}));
    EXPECT_EQ(farm.taskWords, (std::vector<std::string>{"in.####.png", "out.####.png", "--axis=y"}));
    EXPECT_EQ(farm.render.frames->Last(), 24);

    EXPECT_THROW(Farm({"submit", "a.#.png", "b.#.png"}), Failure);  // no --chunk
    EXPECT_THROW(Farm({"submit", "a.#.png", "b.#.png", "--chunk", "0"}), Failure);
    EXPECT_THROW(Farm({"submit", "a.#.png", "b.#.png", "--chunk", "2", "--axis", "w"}), Failure);
    EXPECT_THROW(Farm({"status"}), Failure);
    EXPECT_THROW(Farm({"status", "dir", "--wait"}), Failure);
    EXPECT_THROW(Farm({"resubmit", "dir"}), Failure);
    EXPECT_TRUE(Farm({"retry", "dir", "--wait"}).wait);
}

// Tasks get the render words without what the farm sets per frame, in
// either spelling.
TEST(FarmArguments, TaskWordsDropPerFrameOptions)
{
    EXPECT_EQ(Farm({"submit", "in.#.png", "out.#.png", "--frames", "1-9", "--range=1-20", "--params", "p.blk", "--axis",
                    "z", "--jobs=4", "--quiet", "--save-params", "s.blk", "--end", "30", "--chunk", "3"})
                  .taskWords,
              (std::vector<std::string>{"in.#.png", "out.#.png", "--axis", "z", "--end", "30"}));
    EXPECT_EQ(Farm({"submit", "in.#.png", "out.#.png", "-f", "1-9", "-r1-20", "-j2", "-q", "-a", "x", "-s", "-30",
                    "--chunk=3", "--module", "m.flt"})
                  .taskWords,
              (std::vector<std::string>{"in.#.png", "out.#.png", "-a", "x", "-s", "-30", "--module", "m.flt"}));
    EXPECT_THROW(Farm({"submit", "in.#.png", "out.#.png", "-n", "--chunk", "3"}), Failure);
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
