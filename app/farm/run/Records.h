// What the tasks of a run write down as they go: a record for each frame
// (status/F.txt) and one for each task (tasks/J_T.txt). Both are
// "key=value" lines (farm/run/KeyValues.h):
//
//   frame record: frame, state (ok, failed, or rendering while an attempt
//                 is under way), attempts, host, node, job, task, restart,
//                 log, message, started and ended (the last attempt's, in
//                 seconds since the epoch), and for a frame written
//                 output-size (bytes) and output-mtime (seconds.nanoseconds)
//                 of the file as it was renamed into place
//   task record:  job, task, restart, host, node, state (running or
//                 ended), ending, started, ended
//
// `host` is the machine's name, `node` the name Slurm knows it by (they
// need not be the same); `restart` counts how often Slurm has started the
// task again (after its node was lost, say): each start of a task keeps a
// record of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// An output file as it stands: enough to tell that it is still the file a
// run wrote. Outputs are replaced only by renaming a new file into place,
// which brings a new modification time.
struct OutputStamp {
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;  // modification time, nanoseconds since the epoch

    bool operator==(const OutputStamp& other) const { return size == other.size && mtimeNs == other.mtimeNs; }
    bool operator!=(const OutputStamp& other) const { return !(*this == other); }
};

// The stamp of the file at `path` (links followed), or nothing when there
// is none.
std::optional<OutputStamp> StampOf(const std::string& path);

// What a task found for one frame.
struct FrameRecord {
    int frame = 0;
    bool ok = false;
    int attempts = 0;
    std::string host, job, task, log, message;
    // The output as written; none for a failed frame, and for records from
    // before stamps were kept.
    std::optional<OutputStamp> output;
    std::string node;
    int restart = 0;
    bool rendering = false;  // an attempt started and has not ended (ok is false)
    // When the last attempt started and ended, in seconds since the epoch;
    // 0 when not known.
    double started = 0, ended = 0;
};

std::string FormatRecord(const FrameRecord& record);
// Throws Failure naming `what` when the frame number or state is missing
// or malformed.
FrameRecord ParseRecord(const std::string& text, const std::string& what);

// What a task says of itself: written when it starts and again when it
// ends, so that a task that never ended (killed, or its node lost) shows
// as one that started and said no more.
struct TaskRecord {
    std::string job, task, host;
    bool ended = false;
    // How it ended, in words that follow "task T of job J": "completed",
    // "timed out", "was ended by signal 15 (Terminated)"...
    std::string ending;
    std::string node;
    int restart = 0;
    double started = 0, endedAt = 0;  // seconds since the epoch; 0 when not known
};

// Seconds since the epoch, now, to the millisecond.
double SecondsNow();
// Such a time as "2026-12-08 14:23:46 UTC".
std::string UtcTimeText(double seconds);

std::string FormatTaskRecord(const TaskRecord& record);
TaskRecord ParseTaskRecord(const std::string& text, const std::string& what);
