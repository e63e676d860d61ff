#include "cli/FarmCommandLine.h"

#include <map>

#include "cli/RenderOptions.h"
#include "cli/WordReader.h"
#include "messages/Failure.h"

namespace {

using Action = FarmArguments::Action;
using HandOn = WordReader::HandOn;

const std::map<std::string, Action>& Actions()
{
    static const std::map<std::string, Action> actions = {{"submit", Action::Submit}, {"status", Action::Status},
                                                          {"retry", Action::Retry},   {"cancel", Action::Cancel},
                                                          {"task", Action::Task},     {"report", Action::Report}};
    return actions;
}

void ReadCount(WordReader& reader, const std::string& option, int& target, int low, int high)
{
    reader.Value(
        option, "",
        [&target, low, high](const std::string& o, const std::string& v) {
            target = IntegerValue(o, v, low, high,
                                  "a number from " + std::to_string(low) + " to " + std::to_string(high));
        },
        HandOn::No);
}

// INPUT OUTPUT, the render options and the farm's own; the words after
// "--" go to sbatch. The render options are read from the same table as
// `veldra render` reads them, which also marks the ones a task is handed.
void ReadSubmit(const std::vector<std::string>& words, FarmArguments& farm)
{
    WordReader reader("farm submit");
    Arguments parsed;
    ReadRenderOptions(reader, parsed);
    ReadCount(reader, "--chunk", farm.chunk, 1, 1000000);
    ReadCount(reader, "--max-parallel", farm.maxParallel, 1, 1000000);
    ReadCount(reader, "--retries", farm.retries, 0, 100);
    ReadCount(reader, "--cpus-per-task", farm.cpusPerTask, 1, 100000);
    reader.Value(
        "--partition", "", [&](const std::string&, const std::string& v) { farm.partition = v; }, HandOn::No);
    reader.Value(
        "--time", "", [&](const std::string&, const std::string& v) { farm.timeLimit = v; }, HandOn::No);
    reader.Flag("--wait", "", farm.wait, HandOn::No);
    TakeRenderOperands("farm submit", reader.Read(words, &farm.sbatchExtra), parsed.render);
    if (farm.chunk == 0)
        throw Failure("farm submit", "give --chunk N, the frames each array task renders");
    if (parsed.dryRun)
        throw Failure("farm submit", "--dry-run writes nothing; use it with veldra render");
    farm.render = parsed.render;
    farm.modulePath = parsed.modulePath;
    farm.taskWords = reader.HandedOn();
}

}  // namespace

bool IsFarmAction(const std::string& word)
{
    return word == "submit" || word == "status" || word == "retry" || word == "cancel";
}

FarmArguments ParseFarmArguments(const std::vector<std::string>& words)
{
    FarmArguments farm;
    const std::string action = words.empty() ? "" : words[0];
    const auto found = Actions().find(action);
    if (found == Actions().end())
        throw Failure("farm " + action, "unknown action (see 'veldra farm --help')");
    farm.action = found->second;
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    if (farm.action == Action::Submit) {
        ReadSubmit(rest, farm);
        return farm;
    }
    WordReader reader("farm " + action);
    if (farm.action == Action::Retry)
        reader.Flag("--wait", "", farm.wait);
    const auto operands = reader.Read(rest);
    if (farm.action == Action::Task) {
        ExpectOperands("farm task", operands, 2, 2);
        farm.submission = IntegerValue("farm task", operands[1], 0, 1000000, "a submission number");
    } else {
        ExpectOperands("farm " + action, operands, 1, 1);
    }
    farm.dir = operands[0];
    return farm;
}
