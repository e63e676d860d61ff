// The option tables against what is made from them: the help's option
// lines, the reader's names, and the command-line reference page.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "cli/CommandOptions.h"
#include "cli/HelpText.h"

namespace {

// The commands a user gives, each with the tables its reader reads.
const std::vector<std::pair<std::string, std::vector<std::string>>> kReaders = {
    {"render", {"render"}},
    {"info", {"info"}},
    {"demo", {"demo"}},
    {"farm submit", {"farm submit", "render"}},
    {"farm status", {"farm status"}},
    {"farm retry", {"farm retry"}},
    {"farm cancel", {"farm cancel"}},
    {"farm chunk", {"farm chunk"}},
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// A row of the reference page's table for `option`: the forms as code, the
// meaning as the help gives it.
std::string Escaped(std::string text)
{
    for (std::size_t at = text.find('|'); at != std::string::npos; at = text.find('|', at + 2))
        text.insert(at, "\\");
    return text;
}

std::string PageFormsOf(const Option& option)
{
    std::string forms = option.shortName.empty() ? "" : "`" + option.shortName + "`, ";
    forms += "`" + option.longName + (option.valueName.empty() ? "" : " " + option.valueName) + "`";
    return Escaped(forms);
}

// The page's meaning as plain text: its code marks and escapes taken out.
std::string PlainMeaning(std::string cell)
{
    std::string plain;
    for (std::size_t at = 0; at < cell.size(); ++at) {
        if (cell[at] == '`')
            continue;
        if (cell[at] == '\\' && at + 1 < cell.size() && cell[at + 1] == '|')
            continue;
        plain += cell[at];
    }
    return plain;
}

// The rows of the first table after the heading "## `veldra COMMAND`", as
// (forms, meaning) cells.
std::vector<std::pair<std::string, std::string>> PageRows(const std::string& page, const std::string& command)
{
    std::vector<std::pair<std::string, std::string>> rows;
    const std::size_t heading = page.find("\n## `veldra " + command + "`\n");
    if (heading == std::string::npos)
        return rows;
    const std::string header = "\n| option | meaning |\n|---|---|\n";
    const std::size_t table = page.find(header, heading);
    const std::size_t next = page.find("\n## ", heading + 1);
    if (table == std::string::npos || (next != std::string::npos && table > next))
        return rows;
    std::istringstream stream(page.substr(table + header.size()));
    for (std::string line; std::getline(stream, line) && line.rfind("| ", 0) == 0;) {
        // "| forms | meaning |": the forms hold no " | ", escaped bars aside.
        const std::size_t split = line.find(" | ");
        rows.emplace_back(line.substr(2, split - 2), line.substr(split + 3, line.size() - split - 5));
    }
    return rows;
}

}  // namespace

// A reader keeps one handler a name: a name given twice among the tables
// one command reads would quietly drop an option. A value's name says how
// many words the option takes, so it must read as a flag, one word or two.
TEST(OptionTables, NamesAreUniqueAndWellFormed)
{
    for (const auto& [command, tables] : kReaders) {
        std::set<std::string> names;
        for (const std::string& table : tables) {
            ASSERT_FALSE(OptionsOf(table).empty()) << table;
            for (const Option& option : OptionsOf(table)) {
                EXPECT_EQ(option.longName.rfind("--", 0), 0u) << command << " " << option.longName;
                EXPECT_GT(option.longName.size(), 3u) << command;
                EXPECT_TRUE(option.shortName.empty() || (option.shortName.size() == 2 && option.shortName[0] == '-'))
                    << command << " " << option.shortName;
                EXPECT_TRUE(names.insert(option.longName).second) << command << ": " << option.longName << " twice";
                if (!option.shortName.empty()) {
                    EXPECT_TRUE(names.insert(option.shortName).second)
                        << command << ": " << option.shortName << " twice";
                }
                EXPECT_FALSE(option.help.empty()) << option.longName;
                EXPECT_TRUE(option.take) << option.longName;
            }
        }
    }
    const auto valueCount = [](const std::string& command, const std::string& name) {
        for (const Option& option : OptionsOf(command))
            if (option.longName == name)
                return option.ValueCount();
        return -1;
    };
    EXPECT_EQ(valueCount("render", "--frames"), 1);
    EXPECT_EQ(valueCount("render", "--colorconvert"), 2);
    EXPECT_EQ(valueCount("render", "--dry-run"), 0);
    EXPECT_EQ(valueCount("farm status", "--html"), 0);  // its FILE is an operand
    EXPECT_TRUE(OptionsOf("params").empty());
}

// The help lists each command's options from its table, in order, one
// option a line indented by one to six columns (the completion finds
// options there), meanings from one column, within the help's width; a
// meaning's further lines start at that column, whatever word they start
// with.
TEST(OptionTables, HelpListsEveryOptionOnItsOwnLine)
{
    for (const auto& [command, tables] : kReaders) {
        if (command == "farm chunk")
            continue;  // run by the farm's own jobs, without help
        std::vector<std::string> forms;
        bool listing = false;  // in the option list, which ends the help
        for (const std::string& line : Lines(HelpText(command))) {
            listing = listing || (line.size() >= 8 && line.compare(line.size() - 8, 8, "options:") == 0);
            if (listing) {
                EXPECT_LE(line.size(), 92u) << command << ": " << line;
            }
            const std::size_t text = line.find_first_not_of(' ');
            const bool startsOption = text != std::string::npos && text > 0 && text <= 6 && line[text] == '-';
            if (listing && !startsOption && text != 0 && text != std::string::npos) {
                EXPECT_EQ(text, 28u) << command << ": " << line;
            }
            if (!startsOption)
                continue;
            const std::size_t gap = line.find("  ", text);
            forms.push_back(line.substr(text, gap - text));
            if (gap != std::string::npos) {
                EXPECT_EQ(line.find_first_not_of(' ', gap), 28u) << command << ": " << line;
            }
        }
        const OptionTable& table = OptionsOf(tables[0]);
        ASSERT_EQ(forms.size(), table.size()) << command << "\n" << HelpText(command);
        for (std::size_t i = 0; i < table.size(); ++i)
            EXPECT_EQ(forms[i], table[i].Forms()) << command;
        EXPECT_NE(HelpText("").find(HelpText(command)), std::string::npos) << command;
    }
}

// The command-line reference page holds every user command's table as the
// code has it: the same options in the same order, each with the help's
// meaning and default (the page may mark code in it).
TEST(OptionTables, ReferencePageAgreesWithTheTables)
{
    std::ifstream file(VELDRA_SOURCE_DIR "/docs/command-line.md");
    ASSERT_TRUE(file) << "no docs/command-line.md";
    const std::string page((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    for (const auto& [command, tables] : kReaders) {
        if (command == "farm chunk")
            continue;
        const OptionTable& table = OptionsOf(tables[0]);
        const auto rows = PageRows(page, command);
        std::string expected;
        for (const Option& option : table)
            expected += "| " + PageFormsOf(option) + " | " + Escaped(option.Meaning()) + " |\n";
        ASSERT_EQ(rows.size(), table.size())
            << "docs/command-line.md: the table under ## `veldra " << command << "` should be\n"
            << expected;
        for (std::size_t i = 0; i < table.size(); ++i) {
            EXPECT_EQ(rows[i].first, PageFormsOf(table[i])) << command;
            EXPECT_EQ(PlainMeaning(rows[i].second), table[i].Meaning()) << command << " " << table[i].longName;
        }
    }
}
