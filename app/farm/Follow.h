// Following a run: its state as its folder, its outputs and Slurm tell it,
// and the wait for its end.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "farm/FarmArguments.h"
#include "farm/run/FarmFolder.h"
#include "farm/run/RunState.h"
#include "files/WholeFile.h"

// A run as its folder and Slurm tell it now.
struct RunView {
    // Its output pattern in the folder the run is found in
    // (FarmFolder::ReadManifestWhereFound).
    FarmManifest manifest;
    // The folder the run renders into when it is not where the run was
    // found (a copied or moved output folder), else "".
    std::string rendersInto;
    std::vector<Submission> submissions;
    RunRecords records;
    std::vector<TaskRecord> tasks;
    std::vector<LiveJob> live;  // what Slurm said of the run's jobs
    RunState state;
    std::string slurmTrouble;  // why Slurm could not be asked, when it could not
};

// Writes the run's report, report.txt (and standard output) and the page
// report.html, from the records alone when Slurm cannot be asked; returns
// 0 when it could. It reads the frames for the page's thumbnails, so only
// the image program runs it (report/ReportActions.cpp).
int ReportRun(const FarmFolder& folder);

// Fills in the array job of each of `submissions` that has none (sbatch
// did not answer in time), when Slurm knows the job by its comment
// (FarmFolder::SubmissionComment), and records it in the run, saying so in
// `notes`, or that it knows none. Throws Failure when Slurm cannot be
// asked.
void FindUnansweredJobs(const FarmFolder& folder, std::vector<Submission>& submissions,
                        std::vector<std::string>& notes);

// Throws Failure when Slurm cannot be asked, unless `evenWithoutSlurm`:
// then the records alone tell the state, and slurmTrouble says why.
RunView LookAtRun(const FarmFolder& folder, bool evenWithoutSlurm = false);
// The state as `veldra farm status` prints it (farm/run/RunState.h).
std::string DescribeRun(const FarmFolder& folder, const RunView& run, bool verbose = false);
// What `veldra farm status` prints for `arguments` (--verbose, --node),
// with a warning line when Slurm could not be asked.
std::string StatusText(const FarmFolder& folder, const RunView& run, const FarmArguments& arguments);

// A run looked at again and again, as --wait does: its manifest read once,
// each record read again only when its task has run since the last look
// and the file has changed, so that a look costs the same at fifty frames
// and at fifty thousand. The state it gives counts frames; how tasks ended
// is left to a whole look (LookAtRun).
class RunWatch {
public:
    explicit RunWatch(const FarmFolder& folder);
    // Valid until the next look.
    const RunView& Look();

private:
    struct Cached;
    void ReadRecord(int frame);

    FarmFolder folder_;
    RunView run_;
    std::vector<std::string> jobs_;
    std::map<int, std::size_t> recordAt_;  // frame -> index in run_.records
    std::shared_ptr<std::map<int, Cached>> cached_;
    std::vector<std::pair<std::string, int>> lastActive_;  // tasks Slurm ran or held at the last look
    // The submissions folder as it stood when last read; none before.
    std::optional<std::optional<FileIdentity>> submissionsSeen_;
    bool movieRun_;  // its frames end in a movie (farm/run/MovieRecords.h)
};

// Waits until Slurm holds no task of the run (its report job may still be
// to run; a movie run's final job, which makes the movie, is waited for),
// riding out a controller that does not answer and jobs held up for
// reasons that may pass (WaitPatience); prints the run's state and returns
// 0 only when every frame is done, and a movie run's movie is in place.
// Throws Failure when it stops waiting before the run has ended.
int WaitForRun(const FarmFolder& folder);
