// The farm folder of one run, OUTPUT_DIR/.veldra-farm/<run>/, shared by
// the submitting machine and every node:
//
//   manifest.txt        the run: program, paths, options (written once)
//   params.blk          the parameter block every frame is rendered with
//   task.sh             the batch script: runs its arguments
//   submissions/N.txt   submission N: its frames, job ids and the options
//                       it was submitted with
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
// Every text file holds "key=value" lines (farm/run/KeyValues.h); frame
// sets are written as frame lists (sequence/FrameList.h), "1-5,7,9-12".
// Each is written whole and private (WriteAs::PrivateRecord: never through
// a link, writable by its owner alone) and read only as a regular file,
// never through a link, without waiting on a FIFO and up to a size no file
// of a run reaches. Files of the rooms whose names are no record's are
// ignored, with a note.
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

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "farm/RunFrames.h"
#include "farm/run/Records.h"
#include "sequence/FrameList.h"

// The most bytes a run's manifest or submission may hold (a million frames
// listed one by one fit), and a frame's or task's record.
constexpr std::size_t kMostRunFileBytes = 64 << 20;
constexpr std::size_t kMostRecordBytes = 64 << 10;

// Everything a task needs to render its frames, as submitted.
struct FarmManifest {
    std::string program;                     // absolute path of the veldra that submitted the run
    std::string workdir;                     // the submitting folder
    std::string input, output;               // the patterns; absolute (made so against workdir when read)
    std::vector<std::string> renderWords;    // INPUT, OUTPUT and the options every frame is rendered with
    std::vector<int> frames;                 // the shot's frames
    int rangeFirst = 0, rangeLast = 0;       // the filter's active range
    int chunk = 1;                           // frames per array task
    int retries = 0;                         // further attempts at a failing frame
    int maxParallel = 0;                     // 0: no throttle
    std::vector<std::string> sbatchOptions;  // partition, time, CPUs, extra
    // What besides the parameter block decides an output's bytes (format,
    // channels, alpha, compression, module), as one line: two runs of the
    // same shot with the same block and settings write the same files.
    std::string settings;
};

// A frame's record that proves nothing, and why ("PATH: is empty").
struct DamagedRecord {
    int frame = 0;
    std::string why;
};

// The frame records of a run, as its status room holds them.
struct RunRecords {
    std::vector<FrameRecord> records;    // the whole ones, by frame
    std::vector<DamagedRecord> damaged;  // by frame
    std::vector<std::string> strays;     // names in the room that are no frame's record
};

// One sbatch of an array over some of the shot's frames.
struct Submission {
    int index = 0;
    std::vector<int> frames;
    // The frames cut into consecutive chunks of the run's chunk size (the
    // last possibly shorter): array task i renders chunks[i].
    std::vector<std::vector<int>> chunks;
    std::string arrayJob;   // empty until submitted
    std::string reportJob;  // empty until submitted
    // What a retry changed for this submission; none: the manifest's.
    std::optional<int> retries;
    std::optional<std::vector<std::string>> sbatchOptions;
};

// Submission `index` of `frames` (in increasing order), cut into chunks of
// `chunkSize` (at least 1).
Submission MakeSubmission(int index, std::vector<int> frames, int chunkSize);

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
    std::string LogPath(const std::string& job, const std::string& task) const;
    std::string ReportLogPath(const std::string& job) const;

    void WriteManifest(const FarmManifest& manifest) const;
    // The manifest as submitted.
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

// The name of the latest run among the names of a .veldra-farm folder's
// entries (run names as Create makes them; other names are ignored).
std::optional<std::string> LatestRun(const std::vector<std::string>& names);

// Where array task `task` of job `job` writes its output, in the run folder
// `runPath`.
std::string TaskLogPath(const std::string& runPath, const std::string& job, const std::string& task);

// Throws Failure naming `path` unless it belongs to the user running
// veldra and no one else may write to it. A symbolic link must belong to
// the user too, and what it points to is checked.
void CheckOwnPath(const std::string& path);

// `path` made absolute against `folder`; an absolute or empty path as it is.
// (Runs made before paths were stored absolute name them as given in the
// submitting folder.)
std::string Against(const std::string& folder, const std::string& path);

// The contents of the run's file `path`, a regular file (no link) of at
// most `limit` bytes; throws Failure naming it.
std::string ReadRunFile(const std::string& path, std::size_t limit = kMostRunFileBytes);
