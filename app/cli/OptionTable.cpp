#include "cli/OptionTable.h"

#include <algorithm>
#include <sstream>

namespace {

// Where the meanings start, and how wide the help runs, as the rest of the
// help is written.
constexpr std::size_t kMeaningColumn = 28;
constexpr std::size_t kHelpWidth = 92;

}  // namespace

int Option::ValueCount() const
{
    if (valueName.empty() || valueName[0] == '[')
        return 0;
    return valueName.find(' ') == std::string::npos ? 1 : 2;
}

std::string Option::Forms() const
{
    std::string forms = shortName.empty() ? longName : shortName + ", " + longName;
    return valueName.empty() ? forms : forms + " " + valueName;
}

std::string Option::Meaning() const { return defaultText.empty() ? help : help + " (default: " + defaultText + ")"; }

void AddOptions(WordReader& reader, const OptionTable& table, Arguments& arguments)
{
    for (const Option& option : table)
        reader.Add(
            option.longName, option.shortName, option.ValueCount(),
            [&option, &arguments](const std::string& name, const std::vector<std::string>& values) {
                option.take(arguments, name, values);
            },
            option.handOn);
}

std::string OptionLines(const OptionTable& table)
{
    std::string lines;
    for (const Option& option : table) {
        // Long names line up whether or not a short one comes first.
        std::string line = (option.shortName.empty() ? "      " : "  ") + option.Forms();
        if (line.size() + 2 > kMeaningColumn) {
            lines += line + "\n";
            line.clear();
        }
        std::istringstream words(option.Meaning());
        std::string word;
        bool lineHasWords = false;
        while (words >> word) {
            if (lineHasWords && line.size() + 1 + word.size() > kHelpWidth) {
                lines += line + "\n";
                line.clear();
                lineHasWords = false;
            }
            line.resize(std::max(line.size(), kMeaningColumn), ' ');
            line += (lineHasWords ? " " : "") + word;
            lineHasWords = true;
        }
        lines += line + "\n";
    }
    return lines;
}
