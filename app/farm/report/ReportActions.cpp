// The actions that write the run's report page: the report job that ends
// each submission (`veldra farm report`, report.txt and report.html), the
// movie run's final job once its movie is made (Encode.cpp), and `veldra
// farm status --html`. The page's thumbnails are read from the frames (a
// movie run's from the frames its tasks wrote into the run folder, while
// they are there), so these run in the image program (app/main.cpp).
#include <cstdio>
#include <cstdlib>

#include "farm/FarmActions.h"
#include "farm/Follow.h"
#include "farm/report/ReportPage.h"
#include "farm/run/MovieRecords.h"
#include "files/ParamFile.h"
#include "files/WholeFile.h"
#include "filter/ParamWords.h"
#include "image/ImageLibrary.h"
#include "messages/Failure.h"
#include "process/OwnOutput.h"
#include "sequence/FramePattern.h"

namespace {

// Thumbnails on a page: enough to see the shot move, few enough that a
// page of a long shot stays small.
constexpr std::size_t kMostThumbnails = 48;
constexpr int kThumbnailSide = 96;

std::string ParametersInWords(const FarmFolder& folder)
{
    try {
        const RotationParams params = ParamsOf(ReadParamFile(folder.ParamsPath()));
        const char* axis = AxisWordOf(params.axis);
        const char* pivot = PivotWordOf(params.pivot);
        char angles[96];
        std::snprintf(angles, sizeof angles, "from %.9g to %.9g degrees", static_cast<double>(params.startAngle),
                      static_cast<double>(params.endAngle));
        return std::string("axis ") + (axis ? axis : "unknown") + ", pivot " + (pivot ? pivot : "unknown") + ", " +
               angles;
    } catch (const Failure& failure) {
        return failure.what();
    }
}

void WritePage(const FarmFolder& folder, const RunView& run, const std::string& path)
{
    ReportInputs inputs;
    inputs.runPath = folder.Path();
    inputs.run = &run;
    inputs.parameters = ParametersInWords(folder);
    inputs.now = SecondsNow();
    const auto output = FramePattern::Parse(run.manifest.output);
    std::vector<int> shown = ThumbnailFrames(run.state.done, kMostThumbnails);
    if (IsMovieRun(folder)) {
        inputs.moviePath = ReadMovieStep(folder).path;
        const std::string step = DescribeMovieStep(folder);  // "movie:     PATH ...\n"
        inputs.movieStep = step.substr(step.find_first_not_of(' ', step.find(':') + 1));
        inputs.movieStep.pop_back();
        // The final job removes the frames once its page has shown them.
        if (!shown.empty() && !PathExists(folder.FramesPath())) {
            inputs.noThumbnails = "The frames are in the movie " + inputs.moviePath +
                                  " now; the run keeps them no longer.";
            shown.clear();
        }
    }
    for (const int frame : shown) {
        ReportThumbnail thumbnail;
        thumbnail.frame = frame;
        try {
            thumbnail.png = TheImageLibrary().ThumbnailPng(output->PathOf(frame), kThumbnailSide);
        } catch (const Failure& failure) {
            thumbnail.why = failure.what();
        }
        inputs.thumbnails.push_back(std::move(thumbnail));
    }
    const std::string page = ReportPage(inputs);
    ReplaceFileContents(path, page.data(), page.size());
}

}  // namespace

int ReportRun(const FarmFolder& folder)
{
    const RunView run = LookAtRun(folder, true);
    const std::string report = "veldra farm report, " + UtcTimeText(SecondsNow()) + "\n" +
                               StatusText(folder, run, FarmArguments());
    // The page first: whoever sees the text's verdict finds the page that
    // goes with it already in place.
    WritePage(folder, run, folder.ReportPagePath());
    ReplaceFileContents(folder.ReportPath(), report.data(), report.size(), WriteAs::PrivateRecord);
    std::fputs(report.c_str(), stdout);
    return run.slurmTrouble.empty() ? 0 : 1;
}

int RunFarmReport(const FarmArguments& arguments)
{
    const FarmFolder folder = FarmFolder::Find(arguments.dir);
    if (const char* job = std::getenv("SLURM_JOB_ID"))
        KeepOutputIn(folder.ReportLogPath(job));
    return ReportRun(folder);
}

int RunFarmStatusPage(const FarmArguments& arguments)
{
    const FarmFolder folder = FarmFolder::Find(arguments.dir);
    const RunView run = LookAtRun(folder, true);
    std::fputs(StatusText(folder, run, arguments).c_str(), stdout);
    const std::string path = arguments.pageFile.empty() ? folder.ReportPagePath() : arguments.pageFile;
    WritePage(folder, run, path);
    std::printf("report page: %s\n", path.c_str());
    return run.slurmTrouble.empty() ? 0 : 1;
}
