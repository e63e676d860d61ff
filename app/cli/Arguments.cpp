#include "cli/Arguments.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>

#include "Failure.h"
#include "cli/HelpText.h"
#include "filter/ParamWords.h"
#include "filter/RotationParams.h"

namespace {

Failure BadValue(const std::string& option, const std::string& value, const std::string& expected)
{
    return Failure(option + ": bad value '" + value + "' (expected " + expected + ")");
}

// A whole decimal number with nothing around it.
bool ToInt(const std::string& text, long long& value)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

int ParseInt(const std::string& option, const std::string& text, long long low, long long high,
             const std::string& expected)
{
    long long value = 0;
    if (!ToInt(text, value) || value < low || value > high)
        throw BadValue(option, text, expected);
    return static_cast<int>(value);
}

// Degrees as a finite float; magnitudes past 1e30 are typing mistakes, and
// past the float range they would become infinite.
float ParseDegrees(const std::string& option, const std::string& text)
{
    errno = 0;
    char* end = nullptr;
    const double value = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) || errno != 0 || *end != '\0' ||
        !std::isfinite(value) || std::fabs(value) > 1e30)
        throw BadValue(option, text, "an angle in degrees");
    return static_cast<float>(value);
}

FrameSpan ParseSpan(const std::string& option, const std::string& text)
{
    // The separating dash is the first one after the first character, so
    // that the first number may carry a minus sign of its own.
    const std::size_t dash = text.find('-', 1);
    long long first = 0, last = 0;
    if (dash == std::string::npos || !ToInt(text.substr(0, dash), first) || !ToInt(text.substr(dash + 1), last) ||
        first < INT_MIN || last > INT_MAX)
        throw BadValue(option, text, "A-B, two frame numbers");
    if (last < first)
        throw Failure(option + ": the frame range " + text + " is empty");
    if (last - first >= INT_MAX)
        throw Failure(option + ": the frame range " + text + " is too long");
    return FrameSpan{static_cast<int>(first), static_cast<int>(last)};
}

// One of the words in `choices`, as the value it stands for.
template <typename Value>
Value ParseChoice(const std::string& option, const std::string& text, const std::map<std::string, Value>& choices,
                  const std::string& expected)
{
    const auto found = choices.find(text);
    if (found == choices.end())
        throw BadValue(option, text, expected);
    return found->second;
}

// Walks the words of one command: options with values (as "--opt V",
// "--opt=V", "-o V" or "-oV"), flags, and the operands in between. "--"
// ends the options, so that a file name may start with a dash.
class WordReader {
public:
    explicit WordReader(const std::vector<std::string>& words) : words_(words) {}

    using ValueHandler = std::function<void(const std::string& option, const std::string& value)>;

    // `shortName` is "" or a dash and one letter.
    void Value(const std::string& option, const std::string& shortName, ValueHandler handler)
    {
        values_[option] = std::move(handler);
        if (!shortName.empty())
            shortNames_[shortName] = option;
    }
    void Flag(const std::string& option, const std::string& shortName, bool& target)
    {
        flags_[option] = &target;
        if (!shortName.empty())
            shortNames_[shortName] = option;
    }

    std::vector<std::string> Read()
    {
        std::vector<std::string> operands;
        bool optionsEnded = false;
        for (std::size_t i = 1; i < words_.size(); ++i) {
            const std::string& word = words_[i];
            if (optionsEnded || word.size() < 2 || word[0] != '-') {
                operands.push_back(word);
                continue;
            }
            if (word == "--") {
                optionsEnded = true;
                continue;
            }
            std::string option;
            std::optional<std::string> attached;
            if (word[1] == '-') {
                const std::size_t equals = word.find('=');
                option = word.substr(0, equals);
                if (equals != std::string::npos)
                    attached = word.substr(equals + 1);
            } else {
                const auto longName = shortNames_.find(word.substr(0, 2));
                if (longName == shortNames_.end())
                    throw Failure(word.substr(0, 2) + ": unknown option for '" + words_[0] + "'");
                option = longName->second;
                if (word.size() > 2)
                    attached = word.substr(2);
            }
            if (const auto flag = flags_.find(option); flag != flags_.end()) {
                if (attached)
                    throw Failure(option + ": takes no value");
                *flag->second = true;
                continue;
            }
            const auto handler = values_.find(option);
            if (handler == values_.end())
                throw Failure(option + ": unknown option for '" + words_[0] + "'");
            if (!attached && i + 1 >= words_.size())
                throw Failure(option + ": missing value");
            const std::string value = attached ? *attached : words_[++i];
            if (value.empty())
                throw Failure(option + ": empty value");
            handler->second(option, value);
        }
        return operands;
    }

private:
    const std::vector<std::string>& words_;
    std::map<std::string, ValueHandler> values_;
    std::map<std::string, bool*> flags_;
    std::map<std::string, std::string> shortNames_;
};

void ExpectOperands(const std::string& command, const std::vector<std::string>& operands, std::size_t least,
                    std::size_t most)
{
    if (operands.size() < least || operands.size() > most)
        throw Failure(command + ": wrong number of operands (see 'veldra " + command + " --help')");
}

void ReadModuleOption(WordReader& reader, Arguments& arguments)
{
    reader.Value("--module", "", [&](const std::string&, const std::string& v) { arguments.modulePath = v; });
}

void ReadRunOptions(WordReader& reader, Arguments& arguments)
{
    ReadModuleOption(reader, arguments);
    reader.Value("--jobs", "-j", [&](const std::string& o, const std::string& v) {
        arguments.jobs = ParseInt(o, v, 1, 1024, "a number of jobs from 1 to 1024");
    });
    reader.Flag("--quiet", "-q", arguments.quiet);
}

void ReadAlphaOption(WordReader& reader, RenderArguments& render)
{
    static const std::map<std::string, AlphaMode> alphaModes = {{"filter", AlphaMode::Filter},
                                                                {"keep", AlphaMode::Keep}};
    reader.Value("--alpha", "", [&](const std::string& o, const std::string& v) {
        render.alpha = ParseChoice(o, v, alphaModes, "keep or filter");
    });
}

template <typename Word, std::size_t count>
std::map<std::string, std::int32_t> CodesByWord(const Word (&words)[count])
{
    std::map<std::string, std::int32_t> codes;
    for (const Word& word : words)
        codes[word.word] = word.code;
    return codes;
}

// The pivot words, and "centre" for "center".
std::map<std::string, std::int32_t> PivotCodesByWord()
{
    std::map<std::string, std::int32_t> codes = CodesByWord(kPivotWords);
    codes["centre"] = PivotCenter;
    return codes;
}

void ReadRenderOptions(WordReader& reader, RenderArguments& render)
{
    ReadAlphaOption(reader, render);
    static const std::map<std::string, std::int32_t> axes = CodesByWord(kAxisWords);
    static const std::map<std::string, std::int32_t> pivots = PivotCodesByWord();
    static const std::map<std::string, ChannelFormat> depths = {{"uint8", ChannelFormat::UInt8},
                                                                {"uint16", ChannelFormat::UInt16},
                                                                {"half", ChannelFormat::Half},
                                                                {"float", ChannelFormat::Float}};

    reader.Value("--frames", "-f",
                 [&](const std::string& o, const std::string& v) { render.frames = FrameList::Parse(o, v); });
    reader.Value("--frame", "", [&](const std::string& o, const std::string& v) {
        render.frame = ParseInt(o, v, INT_MIN, INT_MAX, "a frame number");
    });
    reader.Value("--range", "-r", [&](const std::string& o, const std::string& v) { render.range = ParseSpan(o, v); });
    reader.Value("--axis", "-a", [&](const std::string& o, const std::string& v) {
        render.settings.axis = ParseChoice(o, v, axes, "x, y or z");
    });
    reader.Value("--pivot", "-p", [&](const std::string& o, const std::string& v) {
        render.settings.pivot = ParseChoice(o, v, pivots, "lower, center or upper");
    });
    reader.Value("--start", "-s",
                 [&](const std::string& o, const std::string& v) { render.settings.startAngle = ParseDegrees(o, v); });
    reader.Value("--end", "-e",
                 [&](const std::string& o, const std::string& v) { render.settings.endAngle = ParseDegrees(o, v); });
    reader.Value("--params", "", [&](const std::string&, const std::string& v) { render.paramsFile = v; });
    reader.Value("--save-params", "", [&](const std::string&, const std::string& v) { render.saveParamsFile = v; });
    reader.Value("--compression", "", [&](const std::string& o, const std::string& v) {
        render.compression = ParseInt(o, v, 0, 9, "a PNG compression level from 0 to 9");
    });
    reader.Value("--depth", "-d", [&](const std::string& o, const std::string& v) {
        render.depth = ParseChoice(o, v, depths, "uint8, uint16, half or float");
    });
    reader.Flag("--dry-run", "-n", render.dryRun);
}

bool AsksForHelp(const std::vector<std::string>& words)
{
    for (std::size_t i = 1; i < words.size() && words[i] != "--"; ++i)
        if (words[i] == "--help" || words[i] == "-h")
            return true;
    return false;
}

}  // namespace

Arguments ParseArguments(const std::vector<std::string>& words)
{
    Arguments arguments;
    if (words.empty()) {
        arguments.usageError = true;
        return arguments;
    }
    const std::string& command = words[0];
    if (command == "help" || command == "--help" || command == "-h") {
        arguments.helpTopic = words.size() > 1 ? words[1] : "";
        HelpText(arguments.helpTopic);  // an unknown topic fails here
        return arguments;
    }
    if (command == "--version") {
        arguments.command = Arguments::Command::Version;
        return arguments;
    }
    if (IsCommand(command) && AsksForHelp(words)) {
        arguments.helpTopic = command;
        return arguments;
    }

    WordReader reader(words);
    if (command == "render") {
        arguments.command = Arguments::Command::Render;
        ReadRunOptions(reader, arguments);
        ReadRenderOptions(reader, arguments.render);
        const auto operands = reader.Read();
        ExpectOperands(command, operands, 2, 2);
        arguments.render.input = operands[0];
        arguments.render.output = operands[1];
        if (arguments.render.frames && arguments.render.frame)
            throw Failure("--frames and --frame: give one or the other");
    } else if (command == "info") {
        arguments.command = Arguments::Command::Info;
        ReadModuleOption(reader, arguments);
        ExpectOperands(command, reader.Read(), 0, 0);
    } else if (command == "params") {
        arguments.command = Arguments::Command::Params;
        const auto operands = reader.Read();
        ExpectOperands(command, operands, 1, 1);
        arguments.paramsFile = operands[0];
    } else if (command == "demo") {
        arguments.command = Arguments::Command::Demo;
        ReadRunOptions(reader, arguments);
        ReadAlphaOption(reader, arguments.render);
        const auto operands = reader.Read();
        ExpectOperands(command, operands, 0, 1);
        arguments.demoFolder = operands.empty() ? "veldra-demo" : operands[0];
    } else {
        throw Failure(command + ": unknown command (see 'veldra --help')");
    }
    return arguments;
}
