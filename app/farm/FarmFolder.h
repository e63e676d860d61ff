// The farm folder of one run, OUTPUT_DIR/.veldra-farm/<run>/, shared by
// the submitting machine and every node:
//
//   manifest.txt        the run: program, paths, options (written once)
//   params.blk          the parameter block every frame is rendered with
//   task.sh             the batch script: runs its arguments
//   submissions/N.txt   submission N: its frames and job ids
//   status/F.txt        the latest record of frame F
//   logs/               the tasks' output, J_T.log for array job J task T
//   report.txt          written by each submission's final job
//
// Every text file holds "key=value" lines; a key may repeat where a list is
// stored, unknown keys are ignored, and values never hold a line break.
#pragma once

#include <optional>
#include <string>
#include <vector>

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// Text of "key=value" lines, each value checked to be one line; throws
// Failure naming `what` for a value with a line break.
std::string FormatKeyValues(const KeyValues& values, const std::string& what);
// The pairs of such a text; lines without '=' and comments are skipped.
KeyValues ParseKeyValues(const std::string& text);
// The last value of `key`, or `fallback`.
std::string ValueOf(const KeyValues& values, const std::string& key, const std::string& fallback = "");

// Everything a task needs to render its frames, as submitted.
struct FarmManifest {
    std::string program;                     // absolute path of veldra
    std::string workdir;                     // the submitting folder; tasks run there
    std::string input, output;               // the patterns, as given
    std::vector<std::string> renderWords;    // passed to each `veldra render`
    std::vector<int> frames;                 // the shot's frames
    int rangeFirst = 0, rangeLast = 0;       // the filter's active range
    int chunk = 1;                           // frames per array task
    int retries = 0;                         // further attempts at a failing frame
    int maxParallel = 0;                     // 0: no throttle
    std::vector<std::string> sbatchOptions;  // partition, time, CPUs, extra
};

// One sbatch of an array over some of the shot's frames.
struct Submission {
    int index = 0;
    std::vector<int> frames;
    std::string arrayJob;   // empty until submitted
    std::string reportJob;  // empty until submitted
};

// What a task found for one frame.
struct FrameRecord {
    int frame = 0;
    bool ok = false;
    int attempts = 0;
    std::string host, job, task, log, message;
};

std::string FormatRecord(const FrameRecord& record);
// Throws Failure naming `what` when the frame number or state is missing
// or malformed.
FrameRecord ParseRecord(const std::string& text, const std::string& what);

class FarmFolder {
public:
    // Makes a new run folder under OUTPUT_DIR/.veldra-farm/, named after the
    // UTC time (with -2, -3... when that name is taken).
    static FarmFolder Create(const std::string& outputFolder);
    // `dir` itself when it holds a run, else the latest run under
    // `dir`/.veldra-farm/; throws Failure when there is none.
    static FarmFolder Find(const std::string& dir);

    const std::string& Path() const { return path_; }
    std::string ManifestPath() const { return path_ + "/manifest.txt"; }
    std::string ParamsPath() const { return path_ + "/params.blk"; }
    std::string ScriptPath() const { return path_ + "/task.sh"; }
    std::string ReportPath() const { return path_ + "/report.txt"; }
    std::string LogsPath() const { return path_ + "/logs"; }
    std::string LogPath(const std::string& job, const std::string& task) const;

    void WriteManifest(const FarmManifest& manifest) const;
    FarmManifest ReadManifest() const;

    // Submissions in the order made.
    std::vector<Submission> ReadSubmissions() const;
    void WriteSubmission(const Submission& submission) const;
    void RemoveSubmission(int index) const;

    // Removes the run folder unless it holds a submission: a run that
    // reached Slurm stays, whatever else went wrong.
    void Discard() const;

    void WriteRecord(const FrameRecord& record) const;
    // The latest record of each frame that has one, by frame number.
    std::vector<FrameRecord> ReadRecords() const;

private:
    explicit FarmFolder(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

// The name of the latest run among the names of a .veldra-farm folder's
// entries (run names as Create makes them; other names are ignored).
std::optional<std::string> LatestRun(const std::vector<std::string>& names);

// Where array task `task` of job `job` writes its output, in the run folder
// `runPath`.
std::string TaskLogPath(const std::string& runPath, const std::string& job, const std::string& task);

// The contents of a small text file; throws Failure naming it.
std::string ReadTextFile(const std::string& path);
