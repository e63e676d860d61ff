#include "cli/FarmCommandLine.h"

#include <algorithm>
#include <map>

#include "cli/CommandOptions.h"
#include "cli/RenderOptions.h"
#include "cli/WordReader.h"
#include "messages/Failure.h"

namespace {

using Action = FarmArguments::Action;

const std::map<std::string, Action>& Actions()
{
    static const std::map<std::string, Action> actions = {
        {"submit", Action::Submit}, {"status", Action::Status}, {"retry", Action::Retry}, {"cancel", Action::Cancel},
        {"task", Action::Task},     {"report", Action::Report}, {"chunk", Action::Chunk}, {"encode", Action::Encode}};
    return actions;
}

// Throws Failure naming `command` when the sbatch words after "--" hold an
// option by which the farm decides what a job is: which tasks make the
// array (--array), where Slurm writes its logs (--output, --error, and how:
// --open-mode), what a job waits for (--dependency), where and with what
// it runs (--chdir, --export) and how its jobs are found again
// (--comment). Long options are taken as sbatch takes them, by any
// unambiguous start; short ones also where they follow flags, "-Ha0-3".
void RefuseFarmsOwnSbatchOptions(const std::string& command, const std::vector<std::string>& words)
{
    static const char* const longNames[] = {"array",      "output", "error",  "open-mode",
                                            "dependency", "chdir",  "export", "comment"};
    static const std::string shortNames = "aoedD";
    static const std::string flags = "HhkOQsVvW";  // short options without a value
    const auto refuse = [&](const std::string& word, const std::string& option) {
        throw Failure(command,
                      "'-- " + word + "': the farm sets " + option +
                          " itself for every job of the run, so it cannot be given to sbatch",
                      FailureKind::Usage);
    };
    for (const std::string& word : words) {
        if (word.compare(0, 2, "--") == 0 && word.size() > 2) {
            const std::string name = word.substr(2, word.find('=') - 2);
            for (const char* known : longNames) {
                if (std::string(known).compare(0, name.size(), name) == 0)
                    refuse(word, std::string("--") + known);
            }
        } else if (word.size() > 1 && word[0] == '-') {
            for (std::size_t at = 1; at < word.size(); ++at) {
                if (shortNames.find(word[at]) != std::string::npos)
                    refuse(word, std::string("-") + word[at]);
                if (flags.find(word[at]) == std::string::npos)
                    break;  // an option with a value: the rest is the value
            }
        }
    }
}

// The render options of `words` (INPUT, OUTPUT and options, as `veldra
// render` reads them) into `farm`: read from render's table, which also
// marks the ones a task is handed.
void TakeRenderWords(WordReader& reader, const std::string& command, const std::vector<std::string>& words,
                     FarmArguments& farm, Arguments& parsed)
{
    AddOptions(reader, OptionsOf("render"), parsed);
    TakeRenderOperands(command, reader.Read(words, &farm.sbatchExtra), parsed.render);
    farm.render = parsed.render;
    farm.modulePath = parsed.modulePath;
    farm.taskOptions = reader.HandedOn();
}

// INPUT OUTPUT, the render options and the farm's own (which `reader`
// already has, read into `parsed`); the words after "--" go to sbatch.
void ReadSubmit(WordReader& reader, const std::vector<std::string>& words, Arguments& parsed)
{
    FarmArguments& farm = parsed.farm;
    TakeRenderWords(reader, "farm submit", words, farm, parsed);
    RefuseFarmsOwnSbatchOptions("farm submit", farm.sbatchExtra);
    if (farm.chunk == 0)
        throw Failure("farm submit", "give --chunk N, the frames each array task renders", FailureKind::Usage);
    if (parsed.dryRun)
        throw Failure("farm submit", "--dry-run writes nothing; use it with veldra render", FailureKind::Usage);
    farm.saveParamsFile = parsed.saveParamsFile;
}

// RUN and the chunk's own options (which `reader` already has), then after
// "--" the words of the render.
void ReadChunk(WordReader& reader, const std::vector<std::string>& words, FarmArguments& farm)
{
    std::vector<std::string> renderWords;
    const auto operands = reader.Read(words, &renderWords);
    ExpectOperands("farm chunk", operands, 1, 1);
    farm.dir = operands[0];
    WordReader render("farm chunk");
    Arguments parsed;
    TakeRenderWords(render, "farm chunk", renderWords, farm, parsed);
    if (!farm.render.frames)
        throw Failure("farm chunk", "give --frames", FailureKind::Usage);
    farm.jobs = parsed.jobs > 0 ? parsed.jobs : 1;
    farm.sbatchExtra.clear();
}

}  // namespace

bool IsFarmAction(const std::string& word)
{
    return word == "submit" || word == "status" || word == "retry" || word == "cancel";
}

FarmArguments ParseFarmArguments(const std::vector<std::string>& words)
{
    // The action's table reads into the farm's part of these.
    Arguments parsed;
    FarmArguments& farm = parsed.farm;
    const std::string action = words.empty() ? "" : words[0];
    const auto found = Actions().find(action);
    if (found == Actions().end())
        throw Failure("farm " + action, "unknown action (see 'veldra farm --help')", FailureKind::Usage);
    farm.action = found->second;
    const std::string command = "farm " + action;
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    WordReader reader(command);
    AddOptions(reader, OptionsOf(command), parsed);
    if (farm.action == Action::Submit) {
        ReadSubmit(reader, rest, parsed);
        return farm;
    }
    if (farm.action == Action::Chunk) {
        ReadChunk(reader, rest, farm);
        return farm;
    }
    const bool retry = farm.action == Action::Retry;
    const auto operands = reader.Read(rest, retry ? &farm.sbatchExtra : nullptr);
    RefuseFarmsOwnSbatchOptions(command, farm.sbatchExtra);
    if (farm.action == Action::Task) {
        ExpectOperands("farm task", operands, 2, 2);
        farm.submission = IntegerValue("farm task", operands[1], 0, 1000000, "a submission number");
    } else if (farm.page) {
        // --html [FILE]: the word right after --html is the page's file
        // when a run is named besides.
        ExpectOperands("farm status", operands, 1, 2);
        if (operands.size() == 2) {
            const auto html = std::find(rest.begin(), rest.end(), "--html");
            const bool fileFirst = html + 1 < rest.end() && *(html + 1) == operands[0];
            farm.pageFile = operands[fileFirst ? 0 : 1];
            farm.dir = operands[fileFirst ? 1 : 0];
            if (*(html + 1) != farm.pageFile)
                throw Failure("farm status", "give the page's file right after --html: --html FILE");
            return farm;
        }
    } else {
        ExpectOperands(command, operands, 1, 1);
    }
    farm.dir = operands[0];
    return farm;
}
