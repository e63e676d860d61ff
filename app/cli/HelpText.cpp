#include "cli/HelpText.h"

#include <algorithm>
#include <iterator>

#include "cli/CommandOptions.h"
#include "messages/Failure.h"

namespace {

const char kOverview[] =
    "usage: veldra COMMAND [options]   (veldra COMMAND --help for its options)\n"
    "\n"
    "  veldra render INPUT OUTPUT [options]   run a frame or a sequence through the filter\n"
    "  veldra info [--module FILE]            what the module reports about itself\n"
    "  veldra params FILE                     show a stored 20-byte parameter block\n"
    "  veldra demo [DIR] [options]            render the built-in test card (default DIR: veldra-demo)\n"
    "  veldra farm submit|status|retry|cancel ...   render on a Slurm cluster (veldra farm --help)\n"
    "  veldra help [COMMAND]                  this help, or a command's (also veldra COMMAND --help)\n"
    "  veldra --version                       the program's release\n"
    "\n"
    "veldra exits 0 when it did what was asked, 2 for a command line it cannot take, and 1 when\n"
    "anything else fails.\n";

const char kRender[] =
    "usage: veldra render INPUT OUTPUT [options]\n"
    "\n"
    "Turns a frame or a sequence with the filter, frame by frame, as the host's queue does.\n"
    "INPUT and OUTPUT are image files, movies or sequence patterns. In a pattern, '#' and '@'\n"
    "stand for one digit each (shot.####.png is shot.0012.png; a single # is one digit), and\n"
    "printf conversions keep printf's meaning (%04d zero-pads, %4d pads with spaces, %d does\n"
    "not pad). An INPUT that exists as a file is taken as written. A movie INPUT (.mov, .mp4,\n"
    ".mkv, .mxf, .avi...) is a sequence of frames numbered from 0; OUTPUT is a pattern only\n"
    "when INPUT is a pattern or a movie, and a movie when it ends in .mov, .mp4 or .mkv.\n"
    "\n"
    "The angle moves in whole percents of the range: frame f of a range of n frames starting at\n"
    "A gets start + (end - start) * p / 100 with p = (f - A) * 100 / (n - 1), truncated.\n";

const char kInfo[] =
    "usage: veldra info [--module FILE]\n"
    "\n"
    "Loads the module and shows what it reports about itself.\n";

const char kParams[] =
    "usage: veldra params FILE\n"
    "\n"
    "Shows a stored 20-byte parameter block (from --save-params or veldra-dialogs) in words.\n";

const char kDemo[] =
    "usage: veldra demo [DIR] [options]\n"
    "\n"
    "Turns the built-in test card through all nine axis and pivot turns, writes the frames\n"
    "and a contact sheet to DIR (default: veldra-demo).\n";

const char kFarm[] =
    "usage: veldra farm ACTION ...   (veldra farm ACTION --help for its options)\n"
    "\n"
    "Renders a sequence on a Slurm cluster as one job array, and follows the run.\n"
    "\n"
    "  veldra farm submit INPUT OUTPUT [render options] --chunk N [farm options] [-- sbatch options]\n"
    "  veldra farm status DIR           frames done, running, pending, failed, never run, missing\n"
    "  veldra farm retry DIR [options]  submit again the frames that failed, never ran, went missing\n"
    "                                   or lost their record\n"
    "  veldra farm cancel DIR           cancel the run's jobs (for an output folder: of every run of it)\n"
    "\n"
    "DIR is a run's farm folder (OUTPUT_DIR/.veldra-farm/RUN) or the output folder, which\n"
    "stands for the latest run of each shot in it. A frame is done only while its output is\n"
    "the file the run wrote. One run at a time renders a shot. status, retry and cancel act\n"
    "only on runs of the user running them that no one else can write to. The run's own\n"
    "jobs run veldra farm task, chunk and report.\n";

const char kFarmSubmit[] =
    "usage: veldra farm submit INPUT OUTPUT [render options] --chunk N [farm options] [-- sbatch options]\n"
    "\n"
    "Splits the frames into chunks of N and submits one job array whose tasks render them,\n"
    "a chunk in one process, then a job that writes the run's report.txt and report.html (a\n"
    "page that opens in any browser from the shared file system). The render options\n"
    "are those of veldra render; every task renders its frames with the shot's whole range and\n"
    "the parameter block settled here, so the files are those a local render writes.\n"
    "INPUT and OUTPUT are sequence patterns; every frame is rendered, outputs that exist\n"
    "included, unless --keep-existing. Refused while another run of the shot is active.\n"
    "sbatch options may not set what the farm sets: --array, --output, --error, --open-mode,\n"
    "--dependency, --chdir, --export, --comment.\n";

const char kFarmStatus[] =
    "usage: veldra farm status DIR [--verbose] [--node NAME] [--html [FILE]]\n"
    "\n"
    "The run's frames: done, running, suspended, pending, failed (with message and log), never\n"
    "run (with how their task ended), missing since done (an output gone or replaced) and\n"
    "record damaged, from the run's records, its outputs and Slurm's live states, and what\n"
    "each node did. For an output folder, each shot's latest run. Frames are listed as\n"
    "stretches, failures a line per reason. Exits 1 when Slurm cannot be asked.\n";

const char kFarmRetry[] =
    "usage: veldra farm retry DIR [options] [-- sbatch options]\n"
    "\n"
    "Submits again only the frames of the run that failed, never ran, went missing or lost\n"
    "their record, with the run's options unless given here (a hold is not carried over).\n"
    "For an output folder, each shot's latest run.\n";

const char kFarmCancel[] =
    "usage: veldra farm cancel DIR [--verbose]\n"
    "\n"
    "Cancels every job Slurm still holds of the run, or, for an output folder, of every run\n"
    "of it, says which, then shows the state of each run cancelled.\n";

struct Topic {
    const char* name;
    const char* text;            // the usage and what the command does
    const char* optionsHeading;  // over its option table, where it has options
};

// The topics in the order the whole program's help gives them.
const Topic kTopics[] = {
    {"render", kRender, "options"},
    {"info", kInfo, "options"},
    {"params", kParams, ""},
    {"demo", kDemo, "options"},
    {"farm", kFarm, ""},
    {"farm submit", kFarmSubmit, "farm options"},
    {"farm status", kFarmStatus, "options"},
    {"farm retry", kFarmRetry, "options"},
    {"farm cancel", kFarmCancel, "options"},
};

std::string TextOf(const Topic& topic)
{
    const OptionTable& options = OptionsOf(topic.name);
    if (options.empty())
        return topic.text;
    return std::string(topic.text) + "\n" + topic.optionsHeading + ":\n" + OptionLines(options);
}

}  // namespace

bool IsCommand(const std::string& name)
{
    return !name.empty() && name.find(' ') == std::string::npos &&
           std::any_of(std::begin(kTopics), std::end(kTopics), [&](const Topic& topic) { return name == topic.name; });
}

std::string HelpText(const std::string& topic)
{
    if (topic.empty()) {
        std::string text = kOverview;
        for (const Topic& each : kTopics)
            text += "\n" + TextOf(each);
        return text;
    }
    for (const Topic& each : kTopics)
        if (topic == each.name)
            return TextOf(each);
    // Worded as the command line itself says it of the same words.
    if (topic.rfind("farm ", 0) == 0)
        throw Failure(topic, "unknown action (see 'veldra farm --help')", FailureKind::Usage);
    throw Failure(topic, "unknown command (see 'veldra --help')", FailureKind::Usage);
}

std::string UsageText(const std::string& topic) { return topic.empty() ? kOverview : HelpText(topic); }
