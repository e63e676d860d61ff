#include "farm/FarmArguments.h"

#include <cerrno>
#include <cstdlib>
#include <set>

#include "Failure.h"

namespace {

int ParseCount(const std::string& option, const std::string& text, long low, long high)
{
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high)
        throw Failure(option + ": bad value '" + text + "' (expected a number from " + std::to_string(low) + " to " +
                      std::to_string(high) + ")");
    return static_cast<int>(value);
}

// Splits "--opt=value" or "--opt value" at words[i]; returns false when
// words[i] is not `option`.
bool TakeValue(const std::vector<std::string>& words, std::size_t& i, const std::string& option, std::string& value)
{
    const std::string& word = words[i];
    if (word == option) {
        if (i + 1 >= words.size())
            throw Failure(option + ": missing value");
        value = words[++i];
        return true;
    }
    if (word.compare(0, option.size() + 1, option + "=") == 0) {
        value = word.substr(option.size() + 1);
        return true;
    }
    return false;
}

void ParseSubmitWords(const std::vector<std::string>& words, FarmArguments& farm)
{
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string value;
        if (words[i] == "--") {
            farm.sbatchExtra.assign(words.begin() + i + 1, words.end());
            break;
        }
        if (words[i] == "--wait")
            farm.wait = true;
        else if (TakeValue(words, i, "--chunk", value))
            farm.chunk = ParseCount("--chunk", value, 1, 1000000);
        else if (TakeValue(words, i, "--max-parallel", value))
            farm.maxParallel = ParseCount("--max-parallel", value, 1, 1000000);
        else if (TakeValue(words, i, "--retries", value))
            farm.retries = ParseCount("--retries", value, 0, 100);
        else if (TakeValue(words, i, "--cpus-per-task", value))
            farm.cpusPerTask = ParseCount("--cpus-per-task", value, 1, 100000);
        else if (TakeValue(words, i, "--partition", value))
            farm.partition = value;
        else if (TakeValue(words, i, "--time", value))
            farm.timeLimit = value;
        else
            farm.renderWords.push_back(words[i]);
    }
    if (farm.chunk == 0)
        throw Failure("farm submit: give --chunk N, the frames each array task renders");
    std::vector<std::string> render = {"render"};
    render.insert(render.end(), farm.renderWords.begin(), farm.renderWords.end());
    farm.render = ParseArguments(render);
}

}  // namespace

FarmArguments ParseFarmArguments(const std::vector<std::string>& words)
{
    FarmArguments farm;
    if (words.empty() || words[0] == "help" || words[0] == "--help" || words[0] == "-h")
        return farm;
    const std::string& action = words[0];
    const auto operands = [&](std::size_t count) {
        std::vector<std::string> found;
        for (std::size_t i = 1; i < words.size(); ++i) {
            if (words[i] == "--wait" && action == "retry")
                farm.wait = true;
            else if (words[i].compare(0, 2, "--") == 0)
                throw Failure(words[i] + ": unknown option for 'farm " + action + "'");
            else
                found.push_back(words[i]);
        }
        if (found.size() != count)
            throw Failure("farm " + action + ": wrong number of operands (see 'veldra farm help')");
        return found;
    };
    if (action == "submit") {
        farm.action = FarmArguments::Action::Submit;
        ParseSubmitWords(words, farm);
    } else if (action == "status" || action == "retry" || action == "cancel" || action == "report") {
        farm.action = action == "status"   ? FarmArguments::Action::Status
                      : action == "retry"  ? FarmArguments::Action::Retry
                      : action == "cancel" ? FarmArguments::Action::Cancel
                                           : FarmArguments::Action::Report;
        farm.dir = operands(1)[0];
    } else if (action == "task") {
        farm.action = FarmArguments::Action::Task;
        const auto found = operands(2);
        farm.dir = found[0];
        farm.submission = ParseCount("farm task", found[1], 0, 1000000);
    } else {
        throw Failure("farm " + action + ": unknown action (see 'veldra farm help')");
    }
    return farm;
}

std::vector<std::string> TaskRenderWords(const std::vector<std::string>& words)
{
    // The options each task sets itself for its own frame, long and short.
    static const std::set<std::string> withValue = {"--frames",      "-f",     "--frame", "--range", "-r", "--params",
                                                    "--save-params", "--jobs", "-j"};
    static const std::set<std::string> switches = {"--quiet", "-q"};
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--dry-run" || word == "-n")
            throw Failure("farm submit: " + word + " writes nothing; use it with veldra render");
        if (switches.count(word))
            continue;
        const bool isShort = word.size() > 2 && word[0] == '-' && word[1] != '-';
        const std::string option = isShort ? word.substr(0, 2) : word.substr(0, word.find('='));
        if (withValue.count(option)) {
            if (option == word)
                ++i;  // and its value
            continue;
        }
        kept.push_back(word);
    }
    return kept;
}

const char* FarmUsageText()
{
    return "usage:\n"
           "  veldra farm submit INPUT OUTPUT [render options] --chunk N [farm options] [-- sbatch options]\n"
           "  veldra farm status DIR    frames done, running, pending, failed and never run\n"
           "  veldra farm retry DIR [--wait]   submit again the frames that failed or never ran\n"
           "  veldra farm cancel DIR    cancel the run's jobs\n"
           "\n"
           "DIR is a run's farm folder (OUTPUT_DIR/.veldra-farm/RUN) or the output folder,\n"
           "which stands for its latest run.\n"
           "\n"
           "farm options:\n"
           "  --chunk N             frames per array task\n"
           "  --max-parallel P      array tasks running at once (default: no limit)\n"
           "  --retries R           further attempts at a failing frame (default 2)\n"
           "  --partition NAME, --time LIMIT, --cpus-per-task C   passed to sbatch\n"
           "  --wait                wait for the run; exit 0 only when every frame is done\n";
}
