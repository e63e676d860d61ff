#include "cli/Arguments.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

#include "Failure.h"
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

std::int32_t ParseCode(const std::string& option, const std::string& text,
                       const std::map<std::string, std::int32_t>& codes, const std::string& expected)
{
    const auto found = codes.find(text);
    if (found == codes.end())
        throw BadValue(option, text, expected);
    return found->second;
}

// Walks the words of one command: options with values (as "--opt V" or
// "--opt=V"), flags, and the operands in between.
class WordReader {
public:
    explicit WordReader(const std::vector<std::string>& words) : words_(words) {}

    using ValueHandler = std::function<void(const std::string& option, const std::string& value)>;

    void Value(const std::string& option, ValueHandler handler) { values_[option] = std::move(handler); }
    void Flag(const std::string& option, bool& target) { flags_[option] = &target; }

    std::vector<std::string> Read()
    {
        std::vector<std::string> operands;
        for (std::size_t i = 1; i < words_.size(); ++i) {
            const std::string& word = words_[i];
            if (word.size() < 2 || word.compare(0, 2, "--") != 0) {
                operands.push_back(word);
                continue;
            }
            const std::size_t equals = word.find('=');
            const std::string option = word.substr(0, equals);
            if (const auto flag = flags_.find(option); flag != flags_.end() && equals == std::string::npos) {
                *flag->second = true;
                continue;
            }
            const auto handler = values_.find(option);
            if (handler == values_.end())
                throw Failure(option + ": unknown option for '" + words_[0] + "'");
            if (equals != std::string::npos)
                handler->second(option, word.substr(equals + 1));
            else if (i + 1 < words_.size())
                handler->second(option, words_[++i]);
            else
                throw Failure(option + ": missing value");
        }
        return operands;
    }

private:
    const std::vector<std::string>& words_;
    std::map<std::string, ValueHandler> values_;
    std::map<std::string, bool*> flags_;
};

void ExpectOperands(const std::string& command, const std::vector<std::string>& operands, std::size_t least,
                    std::size_t most)
{
    if (operands.size() < least || operands.size() > most)
        throw Failure(command + ": wrong number of operands (see 'veldra help')");
}

void ReadModuleOption(WordReader& reader, Arguments& arguments)
{
    reader.Value("--module", [&](const std::string&, const std::string& v) { arguments.modulePath = v; });
}

void ReadRunOptions(WordReader& reader, Arguments& arguments)
{
    ReadModuleOption(reader, arguments);
    reader.Value("--jobs", [&](const std::string& o, const std::string& v) {
        arguments.jobs = ParseInt(o, v, 1, 1024, "a number of jobs from 1 to 1024");
    });
    reader.Flag("--quiet", arguments.quiet);
}

void ReadRenderOptions(WordReader& reader, RenderArguments& render)
{
    static const std::map<std::string, std::int32_t> axes = {{"x", AxisX}, {"y", AxisY}, {"z", AxisZ}};
    static const std::map<std::string, std::int32_t> pivots = {
        {"lower", PivotLower}, {"center", PivotCenter}, {"centre", PivotCenter}, {"upper", PivotUpper}};

    reader.Value("--frames", [&](const std::string& o, const std::string& v) { render.frames = ParseSpan(o, v); });
    reader.Value("--frame", [&](const std::string& o, const std::string& v) {
        render.frame = ParseInt(o, v, INT_MIN, INT_MAX, "a frame number");
    });
    reader.Value("--range", [&](const std::string& o, const std::string& v) { render.range = ParseSpan(o, v); });
    reader.Value("--axis", [&](const std::string& o, const std::string& v) {
        render.settings.axis = ParseCode(o, v, axes, "x, y or z");
    });
    reader.Value("--pivot", [&](const std::string& o, const std::string& v) {
        render.settings.pivot = ParseCode(o, v, pivots, "lower, center or upper");
    });
    reader.Value("--start", [&](const std::string& o, const std::string& v) {
        render.settings.startAngle = ParseDegrees(o, v);
    });
    reader.Value("--end", [&](const std::string& o, const std::string& v) {
        render.settings.endAngle = ParseDegrees(o, v);
    });
    reader.Value("--params", [&](const std::string&, const std::string& v) { render.paramsFile = v; });
    reader.Value("--save-params", [&](const std::string&, const std::string& v) { render.saveParamsFile = v; });
    reader.Value("--compression", [&](const std::string& o, const std::string& v) {
        render.compression = ParseInt(o, v, 0, 9, "a PNG compression level from 0 to 9");
    });
}

}  // namespace

Arguments ParseArguments(const std::vector<std::string>& words)
{
    Arguments arguments;
    if (words.empty() || words[0] == "help" || words[0] == "--help" || words[0] == "-h")
        return arguments;

    const std::string& command = words[0];
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
        const auto operands = reader.Read();
        ExpectOperands(command, operands, 0, 1);
        arguments.demoFolder = operands.empty() ? "veldra-demo" : operands[0];
    } else {
        throw Failure(command + ": unknown command (see 'veldra help')");
    }
    return arguments;
}

const char* UsageText()
{
    return "usage:\n"
           "  veldra render INPUT OUTPUT [options]   run a frame or a sequence through the filter\n"
           "  veldra info [--module FILE]            what the module reports about itself\n"
           "  veldra params FILE                     show a stored 20-byte parameter block\n"
           "  veldra demo [DIR] [--jobs N] [--quiet] render the built-in test card (default DIR: veldra-demo)\n"
           "  veldra farm submit|status|retry|cancel ...   render on a Slurm cluster (see 'veldra farm help')\n"
           "\n"
           "INPUT and OUTPUT are image files or sequence patterns: a run of # (shot.####.png)\n"
           "or printf style (shot.%04d.png) stands for the zero-padded frame number.\n"
           "\n"
           "render options:\n"
           "  --frames A-B          frames of a pattern (default: the frames found on disk)\n"
           "  --frame N             frame number of a single image (default 0)\n"
           "  --range A-B           the filter's active range (default: the frames rendered)\n"
           "  --axis x|y|z          axis to turn about\n"
           "  --pivot lower|center|upper\n"
           "  --start DEG, --end DEG  angle at the first and last frame of the range\n"
           "  --params FILE         start from a stored parameter block\n"
           "  --save-params FILE    store the parameter block that was used\n"
           "  --compression 0..9    PNG deflate level (default 1: fast)\n"
           "  --jobs N              frames rendered in parallel (default: number of cores)\n"
           "  --module FILE         the filter module (default: VELDRA.FLT beside veldra)\n"
           "  --quiet               no progress bar and no summary\n";
}
