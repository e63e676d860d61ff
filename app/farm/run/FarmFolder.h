// The farm folder of one run, OUTPUT_DIR/.veldra-farm/<run>/, shared by
// the submitting machine and every node:
//
//   manifest.txt        the run: its format, program, paths, options
//                       (written once; farm/run/RunManifest.h)
//   params.blk          the parameter block every frame is rendered with
//   task.sh             the batch script: runs its arguments
//   submissions/N.txt   submission N: its frames, job ids and the options
//                       it was submitted with (farm/run/Submissions.h)
//   status/F.txt        the latest record of frame F (farm/run/Records.h)
//   tasks/J_T.txt       what task T of array job J said of itself; J_T-R.txt
//                       when Slurm started it again for the R-th time
//   logs/               the tasks' output, J_T.log for array job J task T
//   frames.lock         locked a byte a frame while a frame is rendered
//                       (farm/run/FrameLocks.h); it holds no data
//   report.txt          written by each submission's final job, with
//   report.html         the same as a page (farm/report/ReportPage.h)
//   frames/             a movie run's frames, written by its tasks for its
//                       final job to encode (farm/run/MovieRecords.h)
//
// The run folder is named after the UTC time it was made
// (farm/run/RunNames.h). Every text file holds "key=value" lines
// (farm/run/KeyValues.h); frame sets are written as frame lists
// (sequence/FrameList.h), "1-5,7,9-12". Each is written whole and private
// (WriteAs::PrivateRecord: never through a link, writable by its owner
// alone) and read as farm/run/RunFiles.h says. Files of the rooms whose
// names are no record's are ignored, with a note.
//
// A run renders into the output folder it was submitted for; it looks for
// its outputs in the folder it is found in (OutputFolder()), so that a
// copied or moved output folder is checked where it is. A movie run renders
// into its own frames/ and looks for them in the run folder it is found in.
//
// A run is trusted only when it is the user's own: the farm folder, the run
// folder, its rooms and the files that say what to run must belong to the
// user running veldra and be writable by no one else. Anything else is
// refused, so that no one who can write to an output folder can make
// another user's veldra run a program of theirs or act on a run of theirs.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "farm/run/RecordFiles.h"
#include "farm/run/RunManifest.h"
#include "farm/run/Submissions.h"

class FarmFolder {
public:
    // The farm folder of `outputFolder`, OUTPUT_DIR/.veldra-farm, made when
    // missing; its absolute path. Throws Failure when it is not the user's
    // own.
    static std::string FarmsFolder(const std::string& outputFolder);
    // Makes a new run folder under OUTPUT_DIR/.veldra-farm/, named after the
    // UTC time (with -2, -3... when that name is taken). Throws Failure when
    // the farm folder is there but not the user's own.
    static FarmFolder Create(const std::string& outputFolder);
    // `dir` itself when it holds a run, else the latest run under
    // `dir`/.veldra-farm/; throws Failure when there is none or it is not
    // the user's own.
    static FarmFolder Find(const std::string& dir);
    // Every run under `outputFolder`/.veldra-farm/, oldest first; those
    // that are not the user's own are left out and named in `strangers`.
    // Throws Failure when the farm folder itself is not the user's own.
    static std::vector<FarmFolder> AllRuns(const std::string& outputFolder, std::vector<std::string>& strangers);
    // `dir` itself when it holds a run, else the latest run of each shot
    // (output pattern) under `dir`/.veldra-farm/, oldest first: a folder
    // may hold several passes of a shot. Runs left out (others', or whose
    // manifest cannot be read) are named in `notes`. Throws Failure when
    // there is no run of the user's to give.
    static std::vector<FarmFolder> LatestOfEachShot(const std::string& dir, std::vector<std::string>& notes);

    const std::string& Path() const { return path_; }
    std::string Name() const;  // the run's name, the last part of its path
    // The folder the run folder lies in, OUTPUT_DIR of
    // OUTPUT_DIR/.veldra-farm/RUN: where its outputs are looked for.
    std::string OutputFolder() const;
    std::string ManifestPath() const { return path_ + "/manifest.txt"; }
    std::string ParamsPath() const { return path_ + "/params.blk"; }
    std::string ScriptPath() const { return path_ + "/task.sh"; }
    std::string ReportPath() const { return path_ + "/report.txt"; }
    std::string ReportPagePath() const { return path_ + "/report.html"; }
    std::string FrameLocksPath() const { return path_ + "/frames.lock"; }
    std::string LogsPath() const { return path_ + "/logs"; }
    std::string FramesPath() const { return path_ + "/frames"; }
    std::string RecordPath(int frame) const { return path_ + "/status/" + std::to_string(frame) + ".txt"; }
    // The comment the jobs of submission `index` carry, by which a job that
    // sbatch did not live to name is found.
    std::string SubmissionComment(int index) const
    {
        return "veldra-farm " + path_ + " submission " + std::to_string(index);
    }
    std::string SubmissionPath(int index) const;
    std::string LogPath(const std::string& job, const std::string& task) const;
    std::string ReportLogPath(const std::string& job) const;

    void WriteManifest(const FarmManifest& manifest) const;
    // The manifest as submitted; throws Failure naming the run when it is
    // of another run format.
    FarmManifest ReadManifest() const;
    // The manifest with its output pattern in the folder the run is found
    // in (OutputFolder(), or FramesPath() for a run that renders into its
    // own frames/); when that is not the folder the run renders into (the
    // output folder was copied or moved), `rendersInto` is set to the
    // latter, else cleared.
    FarmManifest ReadManifestWhereFound(std::string& rendersInto) const;

    // Submissions in the order made, cut into chunks of the manifest's
    // chunk size; files of the room that are no submission's are ignored
    // and named in `notes`.
    std::vector<Submission> ReadSubmissions(int chunkSize, std::vector<std::string>* notes = nullptr) const;
    // Writes a submission anew; throws Failure when one of its number is
    // there already (another retry made it), so that no submission, and
    // no job of one, is ever written over.
    void AddSubmission(const Submission& submission) const;
    // Writes the job ids of a submission AddSubmission made.
    void WriteSubmission(const Submission& submission) const;
    void RemoveSubmission(int index) const;

    // Removes the run folder unless it holds a submission: a run that
    // reached Slurm stays, whatever else went wrong.
    void Discard() const;

    void WriteRecord(const FrameRecord& record) const;
    // The record of each of `frames` (in increasing order) that has one.
    RunRecords ReadRecords(const std::vector<int>& frames) const;
    // The record of `frame`, if it has a whole one; a damaged record is
    // none, and `why` (when given) says what is wrong with it.
    std::optional<FrameRecord> ReadRecord(int frame, std::string* why = nullptr) const;

    void WriteTaskRecord(const TaskRecord& record) const;
    // The record of every start of every task, by array job, task index
    // and restart; files of the room that are no task's record are ignored
    // and named in `notes`.
    std::vector<TaskRecord> ReadTaskRecords(std::vector<std::string>* notes = nullptr) const;

private:
    explicit FarmFolder(std::string path) : path_(std::move(path)) {}
    // Throws Failure unless the run is the user's own (see above).
    void CheckTrusted() const;
    std::string path_;
};

// Where array task `task` of job `job` writes its output, in the run folder
// `runPath`.
std::string TaskLogPath(const std::string& runPath, const std::string& job, const std::string& task);
