// The command line's own logic, without running the program: frame
// patterns, frame lists and option parsing.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli/Arguments.h"
#include "messages/Failure.h"
#include "sequence/FrameList.h"
#include "sequence/FramePattern.h"
#include "sequence/ParseInteger.h"

namespace fs = std::filesystem;

namespace {

Arguments Parse(std::vector<std::string> words) { return ParseArguments(words); }

std::string FailureOf(std::vector<std::string> words)
{
    try {
        ParseArguments(words);
    } catch (const Failure& failure) {
        return failure.what();
    }
    return "";
}

std::vector<int> Frames(const FrameList& list)
{
    std::vector<int> frames;
    for (std::int64_t i = 0; i < list.Count(); ++i)
        frames.push_back(list.At(i));
    return frames;
}

}  // namespace

// Each spelling writes the frame number its own way.
TEST(FramePatternUnit, SpellingsWriteFrameNumbers)
{
    EXPECT_EQ(FramePattern::Parse("a/shot.####.png")->PathOf(12), "a/shot.0012.png");
    EXPECT_EQ(FramePattern::Parse("shot.#.png")->PathOf(12), "shot.12.png");
    EXPECT_EQ(FramePattern::Parse("shot.@@@.png")->PathOf(7), "shot.007.png");
    EXPECT_EQ(FramePattern::Parse("shot.####.png")->PathOf(-5), "shot.-0005.png");
    EXPECT_EQ(FramePattern::Parse("shot.%04d.png")->PathOf(12), "shot.0012.png");
    EXPECT_EQ(FramePattern::Parse("shot.%04d.png")->PathOf(-5), "shot.-005.png");
    EXPECT_EQ(FramePattern::Parse("shot.%4d.png")->PathOf(12), "shot.  12.png");
    EXPECT_EQ(FramePattern::Parse("shot.%d.png")->PathOf(12), "shot.12.png");
    EXPECT_EQ(FramePattern::Parse("100%% #1.%03d.png")->PathOf(4), "100% #1.004.png");
    EXPECT_FALSE(FramePattern::Parse("a#b/plain.png"));
    EXPECT_FALSE(FramePattern::Parse("50%.png"));
    EXPECT_THROW(FramePattern::Parse("shot.##.#.png"), Failure);
    EXPECT_THROW(FramePattern::Parse("shot.%d.%d.png"), Failure);
}

// Only files spelled as the pattern writes them count: with ####,
// shot.12.png and shot.00012.png are not frames, nor are other names.
TEST(FramePatternUnit, FramesOnDiskMatchTheSpelling)
{
    std::string pattern = (fs::temp_directory_path() / "veldra-unit-XXXXXX").string();
    ASSERT_TRUE(mkdtemp(&pattern[0]));
    const fs::path folder = pattern;
    for (const char* name : {"shot.0003.png", "shot.12.png", "shot.00012.png", "shot.-0002.png", "shot.0001.tif",
                             "shot.0010.png", "shot.00a1.png"})
        std::ofstream(folder / name) << "x";
    EXPECT_EQ(FramePattern::Parse((folder / "shot.####.png").string())->FramesOnDisk(), (std::vector<int>{-2, 3, 10}));
    EXPECT_EQ(FramePattern::Parse((folder / "shot.%d.png").string())->FramesOnDisk(), (std::vector<int>{12}));
    fs::remove_all(folder);
}

// Lists with steps and commas, walked by index; their limits.
TEST(FrameListUnit, ListsStepsAndLimits)
{
    EXPECT_EQ(Frames(FrameList::Parse("-f", "1-10x3,20,30-31")), (std::vector<int>{1, 4, 7, 10, 20, 30, 31}));
    EXPECT_EQ(Frames(FrameList::Parse("-f", "-3--1")), (std::vector<int>{-3, -2, -1}));
    EXPECT_EQ(Frames(FrameList::Parse("-f", "1-100x50")), (std::vector<int>{1, 51}));
    EXPECT_EQ(FrameList::Parse("-f", "0-10x4").Last(), 8);  // the last step, not the written end
    const FrameList wide = FrameList::Parse("-f", "1-1000000000");
    EXPECT_EQ(wide.Count(), 1000000000);
    EXPECT_EQ(wide.At(999999999), 1000000000);
    int missing = 0;
    EXPECT_TRUE(wide.FirstMissing({1, 2, 3, 5}, missing));
    EXPECT_EQ(missing, 4);
    EXPECT_FALSE(FrameList::Parse("-f", "2-6x2").FirstMissing({2, 3, 4, 6}, missing));
    for (const char* bad : {"", "5-1", "1-10x0", "1-10x", "3,2", "1-5,5", "a", "1-2-3", "-2147483648-2147483647"})
        EXPECT_THROW(FrameList::Parse("-f", bad), Failure) << bad;
}

// Options in long, short and attached forms; empty values and ranges the
// filter cannot count are refused.
TEST(ArgumentsUnit, OptionsAndRefusals)
{
    const Arguments a = Parse(
        {"render", "in.png", "-j2", "-q", "-d", "half", "--alpha=keep", "-n", "--range", "-5-5", "--", "-odd.png"});
    EXPECT_EQ(a.jobs, 2);
    EXPECT_TRUE(a.quiet);
    EXPECT_EQ(a.render.depth, ChannelFormat::Half);
    EXPECT_EQ(a.render.alpha, AlphaMode::Keep);
    EXPECT_TRUE(a.dryRun);
    EXPECT_EQ(a.render.range->first, -5);
    EXPECT_EQ(a.render.range->Count(), 11);
    EXPECT_EQ(a.render.output, "-odd.png");

    EXPECT_EQ(Parse({"render", "--help"}).helpTopic, "render");
    EXPECT_EQ(Parse({"help", "--help"}).helpTopic, "");
    EXPECT_EQ(Parse({"help", "farm", "submit", "-h"}).helpTopic, "farm submit");
    EXPECT_EQ(Parse({"--version"}).command, Arguments::Command::Version);

    // The filter counts a range's frames in an int: 2^31 - 1 of them is the
    // most, for a range and for a list of frames alike.
    EXPECT_EQ(FailureOf({"render", "a", "b", "--range", "-2147483648-2147483647"}),
              "--range: the frame range -2147483648-2147483647 is too long");
    EXPECT_EQ(FailureOf({"render", "a", "b", "--range", "0-2147483647"}),
              "--range: the frame range 0-2147483647 is too long");
    EXPECT_EQ(FailureOf({"render", "a", "b", "--range", "0-2147483646"}), "");
    EXPECT_EQ(FailureOf({"render", "a", "b", "--frames", "0-2147483647"}),
              "--frames: the frames 0-2147483647 span too many numbers");
    EXPECT_EQ(FailureOf({"render", "a", "b", "--frames", "-1-2147483645"}), "");
    for (const char* option : {"--params", "--module", "--save-params", "--frames", "-d"})
        EXPECT_EQ(FailureOf({"render", "a", "b", option, ""}),
                  std::string(option[1] == '-' ? option : "--depth") + ": empty value");
    EXPECT_EQ(FailureOf({"render", "a", "b", "--params="}), "--params: empty value");
    EXPECT_EQ(FailureOf({"render", "a", "b", "-x"}), "-x: unknown option for 'render'");
    EXPECT_EQ(FailureOf({"render", "a", "b", "--quiet=1"}), "--quiet: takes no value");
}

// One reader of whole numbers for every option, list, name and record: a
// sign and digits, nothing around them, within the bounds given.
TEST(ParseIntegerUnit, DigitsWithinBoundsAndNothingElse)
{
    EXPECT_EQ(ParseInteger("42", 0, 100), 42);
    EXPECT_EQ(ParseInteger("-7", -10, 10), -7);
    EXPECT_EQ(ParseInteger("+7", -10, 10), 7);
    EXPECT_EQ(ParseInteger("-2147483648", INT_MIN, INT_MAX), INT_MIN);
    for (const char* bad : {"", "-", "+", " 5", "5 ", "5x", "0x10", "1e3", "--5", "9223372036854775808"})
        EXPECT_EQ(ParseInteger(bad, LLONG_MIN, LLONG_MAX), std::nullopt) << bad;
    EXPECT_EQ(ParseInteger("101", 0, 100), std::nullopt);
    EXPECT_EQ(ParseInteger("-1", 0, 100), std::nullopt);
}

// Every mistake the command line's reader finds is a usage error or a bad
// value, so veldra exits 2 for it, wherever it is caught.
TEST(ErrorKinds, CommandLineMistakesExitTwo)
{
    const std::vector<std::vector<std::string>> mistakes = {
        {"paint"},
        {"render", "a.png"},
        {"render", "a.png", "b.png", "--axis", "w"},
        {"render", "a.png", "b.png", "-z"},
        {"render", "a.png", "b.png", "--quiet=1"},
        {"render", "a.png", "b.png", "--axis"},
        {"render", "a.png", "b.png", "--params", ""},
        {"render", "a.png", "b.png", "--frames", "3-1"},
        {"render", "a.png", "b.png", "--frames", "1", "--frame", "1"},
        {"render", "a.mov", "b.mov", "--fps", "0"},
        {"render", "a.mov", "b.mov", "--timecode", "25:00:00:00"},
        {"render", "a.mov", "b.mov", "--codec", "prores"},
        {"render", "a.png", "b.png", "--colorconvert", "linear"},
        {"render", "a.png", "b.png", "--colorconvert", "linear", ""},
        {"help", "paint"},
        {"farm", "paint"},
        {"farm", "submit", "a.####.png", "b.####.png"},
    };
    for (const auto& words : mistakes) {
        try {
            ParseArguments(words);
            ADD_FAILURE() << words[0] << " " << words.back() << " was taken";
        } catch (const Failure& failure) {
            EXPECT_TRUE(failure.Kind() == FailureKind::Usage || failure.Kind() == FailureKind::Value) << failure.what();
            EXPECT_EQ(FactsOf(failure.Kind()).exitCode, 2) << failure.what();
        }
    }
}

// The errors page's table is the code's: each kind's exit status and
// Python exception, in the code's order.
TEST(ErrorKinds, TheErrorsPageTableIsTheCodes)
{
    std::ifstream file(VELDRA_SOURCE_DIR "/docs/errors.md");
    std::string page((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::size_t place = page.find("| kind | veldra exits | Python raises | for example |");
    ASSERT_NE(place, std::string::npos) << "no table of errors in docs/errors.md";
    for (const FailureKindFacts& kind : kFailureKinds) {
        const std::string row = std::string("| `") + kind.word + "` | " + std::to_string(kind.exitCode) + " | `" +
                                kind.pythonError + "` | " + kind.examples + " |\n";
        const std::size_t found = page.find(row, place);
        EXPECT_NE(found, std::string::npos) << "the errors page's table lacks, or misplaces, " << row;
        if (found != std::string::npos)
            place = found;
    }
    for (std::size_t i = 0; i < std::size(kFailureKinds); ++i)
        EXPECT_EQ(FactsOf(kFailureKinds[i].kind).word, kFailureKinds[i].word) << "the table's order is the enum's";
}
