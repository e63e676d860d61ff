// The farm's report page and status text at the scale of a long shot:
// fifty thousand frames read like fifty, and nothing a record says can
// break out of the page. (The page in a real browser: farm/report.)
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "farm/report/ReportPage.h"
#include "farm/run/RunNames.h"

namespace {

std::size_t Occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size())
        ++count;
    return count;
}

// A finished run of `frames` frames in chunks of 50 over two nodes, every
// seventh frame failed with a message naming its own input file.
RunView LongRun(int frames)
{
    RunView run;
    run.manifest.input = "/shot/in.#####.exr";
    run.manifest.output = "/shot/out.#####.exr";
    for (int frame = 1; frame <= frames; ++frame)
        run.manifest.frames.push_back(frame);
    run.manifest.chunk = 50;
    run.submissions = {MakeSubmission(0, run.manifest.frames, 50)};
    run.submissions[0].arrayJob = "700";
    for (int frame = 1; frame <= frames; ++frame) {
        FrameRecord record;
        record.frame = frame;
        record.ok = frame % 7 != 0;
        record.attempts = record.ok ? 1 : 3;
        record.host = "farm-host";
        record.node = frame % 2 ? "node1" : "node2";
        record.job = "700";
        record.task = std::to_string((frame - 1) / 50);
        record.log = "/shot/.veldra-farm/r/logs/700_" + record.task + ".log";
        char name[32];
        std::snprintf(name, sizeof name, "/shot/in.%05d.exr", frame);
        record.message = record.ok ? "" : std::string(name) + ": cut short <b>&";
        if (record.ok) {
            record.output = FileIdentity{1, static_cast<std::uint64_t>(frame), 1, 1};
            record.input = FileIdentity{1, 100000u + frame, 1, 1};
        }
        record.started = 1000 + frame;
        record.ended = record.started + 0.5 + (frame % 10) / 10.0;
        run.records.records.push_back(record);
    }
    for (std::size_t task = 0; task < run.submissions[0].chunks.size(); ++task)
        run.tasks.push_back(TaskRecord{"700", std::to_string(task), "farm-host", true,
                                       task % 7 == 0 ? "completed; 8 of its frames failed" : "completed", "node1"});
    run.state = ComputeRunState(run.manifest, run.submissions, run.records, run.tasks, {}, [](int frame) {
        return std::optional<FileIdentity>(FileIdentity{1, static_cast<std::uint64_t>(frame), 1, 1});
    });
    return run;
}

}  // namespace

// At fifty thousand frames, status is a screenful: a line per reason, not
// per frame, and the frames as stretches cut short; --verbose has a line
// for every frame.
TEST(QuietAtScale, StatusSummarisesAndVerboseListsEveryFrame)
{
    const RunView run = LongRun(50000);
    ASSERT_EQ(run.state.failed.size(), 50000u / 7);
    const std::string text = FormatRunState(run.state, run.manifest, run.submissions, "/run");
    EXPECT_LT(std::count(text.begin(), text.end(), '\n'), 20) << text;
    EXPECT_NE(text.find("failed:    7142 frames: 7,14,21,"), std::string::npos) << text;
    EXPECT_NE(text.find("(7142 stretches in all)"), std::string::npos) << text;
    // One reason, the frames' own files put back as the shot's pattern.
    EXPECT_NE(text.find(": /shot/in.#####.exr: cut short <b>& (3 attempts each on node1, node2; 1000 logs)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("nodes:     node1 21429 done, 3571 failed; node2 21429 done, 3571 failed\n"), std::string::npos)
        << text;

    const std::string verbose = FormatRunState(run.state, run.manifest, run.submissions, "/run", true,
                                               run.records.records);
    EXPECT_GT(std::count(verbose.begin(), verbose.end(), '\n'), 50000 + 7142);
    EXPECT_NE(verbose.find("\n  49: /shot/in.00049.exr: cut short <b>& (3 attempts on node1; log "), std::string::npos);
    EXPECT_NE(verbose.find("\n  50000: done (1 attempt on node2, 0.50 s)\n"), std::string::npos);
}

// The page of fifty thousand frames groups what it shows, and escapes
// what records say.
TEST(QuietAtScale, ReportPageGroupsAndEscapes)
{
    const RunView run = LongRun(50000);
    ReportInputs inputs;
    inputs.runPath = "/shot/.veldra-farm/20261208-120000";
    inputs.run = &run;
    inputs.parameters = "axis y";
    inputs.now = 200000;
    const std::string page = ReportPage(inputs);
    EXPECT_LT(page.size(), 2000000u);
    EXPECT_EQ(Occurrences(page, "<tr class=\"failure\""), 1u);
    EXPECT_NE(page.find("cut short &lt;b&gt;&amp;"), std::string::npos);
    EXPECT_EQ(page.find("<b>&"), std::string::npos);
    EXPECT_LE(Occurrences(page, "<tr class=\"task\""), 300u);
    EXPECT_NE(page.find("more stretches: <code>veldra farm status --verbose</code>"), std::string::npos);
    EXPECT_LE(Occurrences(page, "<rect "), 1000u);
    EXPECT_NE(page.find("<li data-state=\"failed\"><span class=\"swatch\" style=\"background:#d64541\"></span>"
                        "<b class=\"count\">7142</b> failed</li>"),
              std::string::npos);
    EXPECT_NE(page.find("data-node=\"node2\""), std::string::npos);
    EXPECT_NE(page.find("<a href=\"logs/700_0.log\">700_0.log</a>"), std::string::npos);
}

// A contact sheet samples the frames done evenly, first and last among
// them; a short shot shows every frame.
TEST(QuietAtScale, ThumbnailsAreSpreadOverTheShot)
{
    std::vector<int> done;
    for (int frame = 1; frame <= 1000; ++frame)
        done.push_back(frame * 2);
    const std::vector<int> shown = ThumbnailFrames(done, 48);
    ASSERT_EQ(shown.size(), 48u);
    EXPECT_EQ(shown.front(), 2);
    EXPECT_EQ(shown.back(), 2000);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(ThumbnailFrames({5, 6}, 48), (std::vector<int>{5, 6}));
    EXPECT_EQ(RunMadeAt("20261208-120000-2"), 1796731200.0);
    EXPECT_EQ(RunMadeAt("not a run"), 0);
}
