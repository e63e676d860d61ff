#include "cli/CommandOptions.h"

#include <map>

#include "cli/RenderOptions.h"
#include "sequence/FrameList.h"

namespace {

using HandOn = WordReader::HandOn;
using Values = std::vector<std::string>;

// The rows more than one command has.

Option ModuleOption()
{
    return {"",
            "--module",
            "FILE",
            HandOn::No,
            [](Arguments& a, const std::string&, const Values& v) { a.modulePath = v[0]; },
            "the filter module",
            "the one installed with veldra"};
}

Option JobsOption()
{
    return {"-j",
            "--jobs",
            "N",
            HandOn::No,
            [](Arguments& a, const std::string& o, const Values& v) { a.jobs = JobsValue(o, v[0]); },
            "frames rendered in parallel",
            "one per core"};
}

Option QuietOption(const std::string& help)
{
    return {"-q", "--quiet", "", HandOn::No, [](Arguments& a, const std::string&, const Values&) { a.quiet = true; },
            help, ""};
}

Option AlphaOption()
{
    return {"",
            "--alpha",
            "keep",
            HandOn::Yes,
            [](Arguments& a, const std::string& o, const Values& v) { a.render.alpha = AlphaValue(o, v[0]); },
            "carry the picture's alpha through the turn",
            "filter, which makes every covered pixel opaque"};
}

// A whole number from `low` to `high` into the farm's `target`.
Option::Take FarmCount(int FarmArguments::*target, int low, int high)
{
    return [target, low, high](Arguments& a, const std::string& o, const Values& v) {
        a.farm.*target = IntegerValue(o, v[0], low, high,
                                      "a number from " + std::to_string(low) + " to " + std::to_string(high));
    };
}

Option RetriesOption(const std::string& defaultText)
{
    return {"",
            "--retries",
            "R",
            HandOn::No,
            [](Arguments& a, const std::string& o, const Values& v) {
                a.farm.retries = IntegerValue(o, v[0], 0, 100, "a number from 0 to 100");
            },
            "further attempts at a failing frame",
            defaultText};
}

// The options of every submission: submit's, and retry's for the
// submission it makes, after --retries.
OptionTable SlurmOptions()
{
    return {
        {"", "--partition", "NAME", HandOn::No,
         [](Arguments& a, const std::string&, const Values& v) { a.farm.partition = v[0]; },
         "the Slurm partition (sbatch --partition)", ""},
        {"", "--time", "LIMIT", HandOn::No,
         [](Arguments& a, const std::string&, const Values& v) { a.farm.timeLimit = v[0]; },
         "each task's time limit (sbatch --time)", ""},
        {"", "--cpus-per-task", "C", HandOn::No, FarmCount(&FarmArguments::cpusPerTask, 1, 100000),
         "CPUs a task has; it renders C frames at once", ""},
    };
}

Option WaitOption()
{
    return {"",
            "--wait",
            "",
            HandOn::No,
            [](Arguments& a, const std::string&, const Values&) { a.farm.wait = true; },
            "wait for the run (through Slurm outages of up to 10 minutes); exit 0 only when every frame is done",
            ""};
}

Option VerboseOption(const std::string& help)
{
    return {"-v",
            "--verbose",
            "",
            HandOn::No,
            [](Arguments& a, const std::string&, const Values&) { a.farm.verbose = true; },
            help,
            ""};
}

// Render's options in the order its help gives them; a farm task is handed
// the ones marked Yes as given, and is given its frames, the shot's range,
// the settled block and the module by the farm itself.
OptionTable RenderTable()
{
    return {
        {"-f", "--frames", "LIST", HandOn::No,
         [](Arguments& a, const std::string& o, const Values& v) { a.render.frames = FrameList::Parse(o, v[0]); },
         "frames of a pattern or a movie: 1-100, 1-100x2 (every second), 1-10,20,30-40",
         "the frames found on disk, or every frame of the movie"},
        {"", "--frame", "N", HandOn::No,
         [](Arguments& a, const std::string& o, const Values& v) { a.render.frame = FrameValue(o, v[0]); },
         "frame number of a single image", "0"},
        {"-r", "--range", "A-B", HandOn::No,
         [](Arguments& a, const std::string& o, const Values& v) { a.render.range = FrameList::ParseSpan(o, v[0]); },
         "the filter's active range", "the frames rendered, or the whole movie"},
        {"-a", "--axis", "x|y|z", HandOn::Yes,
         [](Arguments& a, const std::string& o, const Values& v) { a.render.settings.axis = AxisValue(o, v[0]); },
         "the axis the picture turns about", "x, or the --params block's"},
        {"-p", "--pivot", "lower|center|upper", HandOn::Yes,
         [](Arguments& a, const std::string& o, const Values& v) { a.render.settings.pivot = PivotValue(o, v[0]); },
         "where on the picture the axis goes through (centre is center)", "center, or the --params block's"},
        {"-s", "--start", "DEG", HandOn::Yes,
         [](Arguments& a, const std::string& o, const Values& v) {
             a.render.settings.startAngle = DegreesValue(o, v[0]);
         },
         "angle at the first frame of the range", "0, or the --params block's"},
        {"-e", "--end", "DEG", HandOn::Yes,
         [](Arguments& a, const std::string& o, const Values& v) {
             a.render.settings.endAngle = DegreesValue(o, v[0]);
         },
         "angle at the last frame of the range", "0, or the --params block's"},
        AlphaOption(),
        {"-d", "--depth", "uint8|uint16|half|float", HandOn::Yes,
         [](Arguments& a, const std::string& o, const Values& v) { a.render.depth = DepthValue(o, v[0]); },
         "output channel format", "the input's, where the output format holds it"},
        {"-n", "--dry-run", "", HandOn::No, [](Arguments& a, const std::string&, const Values&) { a.dryRun = true; },
         "list each frame's number, percent, angle and files; write nothing", ""},
        {"", "--params", "FILE", HandOn::No,
         [](Arguments& a, const std::string&, const Values& v) { a.render.paramsFile = v[0]; },
         "start from a stored parameter block; options given replace its fields", ""},
        {"", "--save-params", "FILE", HandOn::No,
         [](Arguments& a, const std::string&, const Values& v) { a.saveParamsFile = v[0]; },
         "store the parameter block that was used", ""},
        {"", "--compression", "0..9", HandOn::Yes,
         [](Arguments& a, const std::string& o, const Values& v) {
             a.render.compression = IntegerValue(o, v[0], 0, 9, "a PNG compression level from 0 to 9");
         },
         "PNG deflate level", "1, fast"},
        {"", "--codec", "NAME", HandOn::Yes,
         [](Arguments& a, const std::string& o, const Values& v) { a.render.movie.codec = CodecValue(o, v[0]); },
         "a movie's codec: prores4444 (alpha kept), prores422hq, dnxhr_hq, dnxhr_444, h264",
         "prores4444 for .mov and .mkv, h264 for .mp4, the one codec MP4 takes"},
        {"", "--fps", "RATE", HandOn::Yes,
         [](Arguments& a, const std::string& o, const Values& v) { a.render.movie.fps = RateValue(o, v[0]); },
         "a movie's frame rate: 24, 25, 24000/1001, 29.97...", "the input movie's; 24 for pictures, with a warning"},
        {"", "--timecode", "HH:MM:SS:FF", HandOn::Yes,
         [](Arguments& a, const std::string& o, const Values& v) { a.render.movie.timecode = TimecodeValue(o, v[0]); },
         "a movie's first timecode, ; before the frames for drop-frame",
         "the input movie's, at the first frame rendered"},
        {"", "--quality", "0..51", HandOn::Yes,
         [](Arguments& a, const std::string& o, const Values& v) { a.render.movie.quality = QualityValue(o, v[0]); },
         "H.264's constant rate factor, lower is better", "18"},
        {"", "--colorconvert", "FROM TO", HandOn::Yes,
         [](Arguments& a, const std::string&, const Values& v) {
             a.render.colourFrom = v[0];
             a.render.colourTo = v[1];
         },
         "convert the turned frames' colour before they are written (OpenColorIO: linear, sRGB, Rec709, or the "
         "spaces of --colorconfig)",
         ""},
        {"", "--colorconfig", "FILE", HandOn::Yes,
         [](Arguments& a, const std::string&, const Values& v) { a.render.colourConfig = v[0]; },
         "the OpenColorIO config for --colorconvert", "$OCIO, else the built-in spaces"},
        JobsOption(),
        ModuleOption(),
        QuietOption("no progress bar and no summary"),
    };
}

OptionTable FarmSubmitTable()
{
    OptionTable table = {
        {"", "--chunk", "N", HandOn::No, FarmCount(&FarmArguments::chunk, 1, 1000000),
         "frames per array task; every submission gives it", ""},
        {"", "--max-parallel", "P", HandOn::No, FarmCount(&FarmArguments::maxParallel, 1, 1000000),
         "array tasks running at once", "no limit"},
        RetriesOption("2"),
    };
    for (Option& option : SlurmOptions())
        table.push_back(std::move(option));
    table.push_back({"", "--keep-existing", "", HandOn::No,
                     [](Arguments& a, const std::string&, const Values&) { a.farm.keepExisting = true; },
                     "keep the outputs an earlier run of this shot wrote with the same parameter block and settings "
                     "from inputs unchanged since, and render the rest; refused when another output exists",
                     ""});
    table.push_back(WaitOption());
    return table;
}

OptionTable FarmRetryTable()
{
    OptionTable table = {RetriesOption("the run's")};
    for (Option& option : SlurmOptions())
        table.push_back(std::move(option));
    table.push_back(WaitOption());
    return table;
}

OptionTable FarmStatusTable()
{
    return {
        VerboseOption("every stretch, a line for each failed frame and task, and a line for every frame of the shot"),
        {"", "--node", "NAME", HandOn::No,
         [](Arguments& a, const std::string&, const Values& v) { a.farm.node = v[0]; },
         "the frames node NAME rendered, failed or lost, and its time a frame", ""},
        {"", "--html", "[FILE]", HandOn::No,
         [](Arguments& a, const std::string&, const Values&) { a.farm.page = true; },
         "also write the run's report page (report.html in the run folder, or FILE): progress, tasks, failures, "
         "timings, thumbnails",
         ""},
    };
}

// A chunk's own options; its render's words come after "--".
OptionTable FarmChunkTable()
{
    return {
        {"", "--attempt", "N", HandOn::No, FarmCount(&FarmArguments::firstAttempt, 1, 1000),
         "the number of the first attempt at each frame", "1"},
        RetriesOption("2"),
    };
}

}  // namespace

const OptionTable& OptionsOf(const std::string& command)
{
    static const std::map<std::string, OptionTable> tables = {
        {"render", RenderTable()},
        {"info", {ModuleOption()}},
        {"demo", {AlphaOption(), JobsOption(), ModuleOption(), QuietOption("no progress bar")}},
        {"farm submit", FarmSubmitTable()},
        {"farm status", FarmStatusTable()},
        {"farm retry", FarmRetryTable()},
        {"farm cancel", {VerboseOption("show each run cancelled in full, as veldra farm status --verbose does")}},
        {"farm chunk", FarmChunkTable()},
    };
    static const OptionTable none;
    const auto found = tables.find(command);
    return found == tables.end() ? none : found->second;
}
