// What the tasks of a run write down as they go: a record for each frame
// (status/F.txt) and one for each task (tasks/J_T.txt), each "key=value"
// lines (farm/run/KeyValues.h), written whole (temporary file and rename,
// never through a link).
//
// A frame record is exactly these lines, in this order:
//
//   frame=F                 the frame, as in the record's name
//   run=RUN                 the name of the run folder that holds it
//   state=ok|failed
//   attempts=N
//   host=NAME               where it was rendered ("" when unknown)
//   job=J                   the array job and task that rendered it
//   task=T
//   log=PATH                that task's log
//   message=TEXT            why it failed; for a kept frame, the run it is kept from
//   output-device=D         ok records only: the output as written, taken
//   output-inode=I          from the file before it was renamed into place
//   output-size=BYTES
//   output-mtime=S.N        seconds (rounded down) and nine digits of nanoseconds
//   input-device=D          ok records only: the input as it was read
//   input-inode=I
//   input-size=BYTES
//   input-mtime=S.N
//   end=F                   the frame again: the record is whole
//
// A record that is not so (empty, cut, garbled, another run's, or naming
// another frame than its file) is damaged: it proves nothing, and its frame
// is rendered again.
//
// A task record: job, task, host, state (running or ended), ending.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "files/WholeFile.h"

// What a task found for one frame.
struct FrameRecord {
    int frame = 0;
    bool ok = false;
    int attempts = 0;
    std::string host, job, task, log, message;
    // Set in ok records: the output as written and the input as read, so
    // that a replaced output is never taken for this run's and an output
    // is kept only while its input is unchanged.
    std::optional<FileIdentity> output, input;
};

// The record as stored, in the run `run` (the run folder's name). Throws
// Failure naming the frame when an ok record lacks an identity or a value
// holds a line break.
std::string FormatRecord(const FrameRecord& record, const std::string& run);
// The record stored in `text`, the file `what` of frame `frame` in the run
// `run`; throws Failure naming `what` and why when it is damaged ("...:
// is empty").
FrameRecord ParseRecord(const std::string& text, const std::string& what, int frame, const std::string& run);

// What a task says of itself: written when it starts and again when it
// ends, so that a task that never ended (killed, or its node lost) shows
// as one that started and said no more.
struct TaskRecord {
    std::string job, task, host;
    bool ended = false;
    // How it ended, in words that follow "task T of job J": "completed",
    // "timed out", "was ended by signal 15 (Terminated)"...
    std::string ending;
};

std::string FormatTaskRecord(const TaskRecord& record);
TaskRecord ParseTaskRecord(const std::string& text, const std::string& what);
