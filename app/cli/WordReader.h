// Reads the words of one command against its table of options: options
// with a value ("--opt V", "--opt=V", "-o V", "-oV"), flags, and the
// operands in between. "--" ends the options, so that a file name may
// start with a dash; for a command that hands the words after it to
// another program (farm submit's sbatch options), it ends the command's own
// words instead.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "messages/Failure.h"

class WordReader {
public:
    // Called with the option's long name and the values it took (none for
    // a flag), each non-empty.
    using Handler = std::function<void(const std::string& option, const std::vector<std::string>& values)>;

    // Whether an option is among the words handed on to the processes that
    // do the same work (the renderer a farm task runs): they get every
    // option the reader marks Yes as it was given.
    enum class HandOn { Yes, No };

    // `command` names the command in messages: "render", "farm submit".
    explicit WordReader(std::string command) : command_(std::move(command)) {}

    // An option taking `valueCount` values: 0 (a flag), 1 ("--opt V",
    // "--opt=V", "-o V", "-oV") or 2 ("--opt A B" only). `shortName` is ""
    // or a dash and one letter.
    void Add(const std::string& option, const std::string& shortName, int valueCount, Handler handler, HandOn handOn);

    // Reads `words`, the command's words after its name, calling the
    // handlers; returns the operands. With `rest`, "--" ends the reading and
    // the words after it go to `rest`. Throws Failure naming the option for
    // an unknown option, a missing or empty value, or a value given to a
    // flag.
    std::vector<std::string> Read(const std::vector<std::string>& words, std::vector<std::string>* rest = nullptr);

    // The options marked HandOn::Yes with their values, as given and in
    // the order given, by the last Read.
    const std::vector<std::string>& HandedOn() const { return handedOn_; }

private:
    struct Option {
        int valueCount = 0;
        Handler handler;
        HandOn handOn = HandOn::Yes;
    };

    std::string command_;
    std::map<std::string, Option> options_;
    std::map<std::string, std::string> shortNames_;
    std::vector<std::string> handedOn_;
};

// True when `words` ask for help ("--help" or "-h" before any "--").
bool AsksForHelp(const std::vector<std::string>& words);

// Throws Failure unless `operands` holds `least` to `most` words; `command`
// names the command and its help.
void ExpectOperands(const std::string& command, const std::vector<std::string>& operands, std::size_t least,
                    std::size_t most);

// The values options take. Each throws Failure naming `option`, saying
// what was expected.

// A whole number from `low` to `high`.
int IntegerValue(const std::string& option, const std::string& text, int low, int high, const std::string& expected);
// Degrees as a finite float; magnitudes past 1e30 are typing mistakes, and
// past the float range they would become infinite.
float DegreesValue(const std::string& option, const std::string& text);
// One of the words in `choices`, as the value it stands for.
template <typename Value>
Value ChoiceValue(const std::string& option, const std::string& text, const std::map<std::string, Value>& choices,
                  const std::string& expected)
{
    const auto found = choices.find(text);
    if (found == choices.end())
        throw Failure(option, "bad value '" + text + "' (expected " + expected + ")", FailureKind::Value);
    return found->second;
}
