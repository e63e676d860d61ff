// One command's options as one table: each option's names, the value it
// takes, its help line and default, whether a farm task is handed it, and
// what it does to the parsed command line. The word reader reads the
// command's words against the table, the help prints it (and the manual
// page and bash completion are written from the help), and a test holds
// the documentation's option tables to it, so adding an option is one row.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/WordReader.h"

struct Option {
    using Take =
        std::function<void(Arguments& arguments, const std::string& option, const std::vector<std::string>& values)>;

    std::string shortName;  // "" or a dash and one letter: "-f"
    std::string longName;   // "--frames"
    // What the help shows after the name. "" for a flag, two words for an
    // option that takes two ("FROM TO"), one word for the rest ("LIST",
    // "x|y|z"). In brackets ("[FILE]"), it is an operand the command may
    // take after the option, which itself is a flag.
    std::string valueName;
    WordReader::HandOn handOn;  // whether a farm task gets it as given
    Take take;                  // called with the option's values as given
    std::string help;           // one sentence, no full stop
    std::string defaultText;    // what holds without the option; "" when nothing worth saying

    // How many words the option takes after it: 0, 1 or 2.
    int ValueCount() const;
    // "-f, --frames LIST", "--frame N": the forms as the help shows them.
    std::string Forms() const;
    // The help line and, in parentheses, the default.
    std::string Meaning() const;
};

using OptionTable = std::vector<Option>;

// Lets `reader` read the options of `table` into `arguments`.
void AddOptions(WordReader& reader, const OptionTable& table, Arguments& arguments);

// The table as the help lists it: a line or more an option, the forms,
// then the meaning from a fixed column, wrapped to the help's width.
std::string OptionLines(const OptionTable& table);
