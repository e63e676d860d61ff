#include "farm/run/RunState.h"

#include <algorithm>
#include <unistd.h>

#include "sequence/FrameList.h"
#include "sequence/FramePattern.h"

std::vector<std::string> RunJobs(const std::vector<Submission>& submissions)
{
    std::vector<std::string> jobs;
    for (const Submission& submission : submissions) {
        for (const std::string& job : {submission.arrayJob, submission.reportJob}) {
            if (!job.empty())
                jobs.push_back(job);
        }
    }
    return jobs;
}

std::vector<int> RunState::ToRender() const
{
    std::vector<int> frames = failed;
    frames.insert(frames.end(), notRun.begin(), notRun.end());
    frames.insert(frames.end(), missing.begin(), missing.end());
    for (const DamagedRecord& record : damaged)
        frames.push_back(record.frame);
    std::sort(frames.begin(), frames.end());
    return frames;
}

namespace {

template <typename Item>
void AddOnce(std::vector<Item>& list, const Item& item)
{
    if (std::find(list.begin(), list.end(), item) == list.end())
        list.push_back(item);
}

using TaskId = std::pair<std::string, int>;

// How a task that holds unfinished frames ended: Slurm's word while it
// remembers the task, else the task's own.
std::string EndingOfTask(const TaskId& id, const LiveJob* live, const std::map<TaskId, TaskRecord>& tasks)
{
    if (live)
        return EndingOf(*live);
    const auto record = tasks.find(id);
    if (record == tasks.end())
        return "left no record (it may never have started; Slurm no longer remembers it)";
    if (!record->second.ended)
        return "stopped without a word" + (record->second.host.empty() ? "" : " on " + record->second.host) +
               ": it was killed, or its node was lost";
    return record->second.ending;
}

// "a, b, c" of the first few of `names`, and how many more.
std::string SomeNames(const std::vector<std::string>& names)
{
    constexpr std::size_t kShown = 5;
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kShown; ++i)
        text += (i ? ", " : "") + names[i];
    if (names.size() > kShown)
        text += " and " + std::to_string(names.size() - kShown) + " more";
    return text;
}

}  // namespace

RunState ComputeRunState(const FarmManifest& manifest, const std::vector<Submission>& submissions,
                         const RunRecords& records, const std::map<TaskId, TaskRecord>& tasks,
                         const std::vector<LiveJob>& live, const FileLookup& outputNow)
{
    std::map<int, const FrameRecord*> recordOf;
    for (const FrameRecord& record : records.records)
        recordOf[record.frame] = &record;
    std::map<int, const DamagedRecord*> damagedOf;
    for (const DamagedRecord& record : records.damaged)
        damagedOf[record.frame] = &record;
    std::map<TaskId, const LiveJob*> taskOf;
    RunState state;
    for (const LiveJob& job : live) {
        if (job.task)
            taskOf[{job.job, *job.task}] = &job;
        if (!IsActive(job.state))
            continue;
        AddOnce(state.activeJobs, job.job);
        state.tasksActive = state.tasksActive || job.task.has_value();
        if (const auto reason = ReadPendingReason(job.reason)) {
            AddOnce(reason->never ? state.neverStart : state.waiting,
                    "job " + job.job + " is pending (" + job.reason + "): " + reason->meaning +
                        (reason->never ? "; it will not start as it is" : ""));
        }
    }
    // Each frame's task in the latest submission that holds it.
    std::map<int, TaskId> taskOfFrame;
    for (const Submission& submission : submissions) {
        if (submission.arrayJob.empty())
            continue;
        const auto& chunks = submission.chunks;
        for (std::size_t chunk = 0; chunk < chunks.size(); ++chunk) {
            for (const int frame : chunks[chunk])
                taskOfFrame[frame] = {submission.arrayJob, static_cast<int>(chunk)};
        }
    }
    std::map<TaskId, std::vector<int>> unfinished;
    for (const int frame : manifest.frames) {
        const auto found = recordOf.find(frame);
        const FrameRecord* record = found == recordOf.end() ? nullptr : found->second;
        std::optional<FileIdentity> now;
        if (record && record->ok) {
            now = outputNow(frame);
            if (now && now == record->output) {
                state.done.push_back(frame);
                continue;
            }
        }
        const auto task = taskOfFrame.find(frame);
        const LiveJob* job = nullptr;
        if (task != taskOfFrame.end()) {
            if (const auto known = taskOf.find(task->second); known != taskOf.end())
                job = known->second;
        }
        const auto damaged = damagedOf.find(frame);
        if (job && IsRunning(job->state)) {
            state.running.push_back(frame);
        } else if (job && IsSuspended(job->state)) {
            state.suspended.push_back(frame);
        } else if (job && IsActive(job->state)) {
            state.pending.push_back(frame);
        } else if (record && record->ok) {
            state.missing.push_back(frame);
            if (now)
                state.replaced.push_back(frame);
        } else if (damaged != damagedOf.end()) {
            state.damaged.push_back(*damaged->second);
        } else if (record) {
            state.failed.push_back(frame);
            state.failures.push_back(*record);
        } else {
            state.notRun.push_back(frame);
            if (task != taskOfFrame.end())
                unfinished[task->second].push_back(frame);
        }
    }
    for (const auto& [id, frames] : unfinished) {
        const auto known = taskOf.find(id);
        state.endings.push_back(
            {id.first, id.second, frames, EndingOfTask(id, known == taskOf.end() ? nullptr : known->second, tasks)});
    }
    if (!records.strays.empty())
        state.remarks.push_back("note: ignored " + std::to_string(records.strays.size()) +
                                " file(s) of the status room that are no frame's record: " + SomeNames(records.strays));
    return state;
}

namespace {

std::string Count(std::size_t count) { return std::to_string(count) + (count == 1 ? " frame" : " frames"); }

std::string Line(const char* label, const std::vector<int>& frames)
{
    std::string line = std::string(label) + Count(frames.size());
    if (!frames.empty())
        line += ": " + FrameList::Of(frames).Text();
    return line + "\n";
}

// Failed frames in runs that share one message and log, so that a bad
// stretch of input reads as one line.
std::string FailureLines(const std::vector<FrameRecord>& failures)
{
    std::string text;
    for (std::size_t at = 0; at < failures.size();) {
        std::size_t end = at + 1;
        while (end < failures.size() && failures[end].frame == failures[end - 1].frame + 1 &&
               failures[end].message == failures[at].message && failures[end].log == failures[at].log)
            ++end;
        std::vector<int> frames;
        for (std::size_t i = at; i < end; ++i)
            frames.push_back(failures[i].frame);
        const FrameRecord& record = failures[at];
        text += "  " + FrameList::Of(frames).Text() + ": " + (record.message.empty() ? "failed" : record.message) +
                " (" + std::to_string(record.attempts) + (record.attempts == 1 ? " attempt" : " attempts") +
                (record.host.empty() ? "" : " on " + record.host) + "; log " + record.log + ")\n";
        at = end;
    }
    return text;
}

// Why frames never ran: each task that ended with frames of its chunk
// unrecorded, and its log when it wrote one.
std::string EndingLines(const std::vector<TaskEnding>& endings, const std::string& runPath)
{
    std::string text;
    for (const TaskEnding& ending : endings) {
        const std::string log = TaskLogPath(runPath, ending.job, std::to_string(ending.task));
        text += "  " + FrameList::Of(ending.frames).Text() + ": task " + std::to_string(ending.task) + " of job " +
                ending.job + " " + ending.ending + (access(log.c_str(), F_OK) == 0 ? " (log " + log + ")" : "") + "\n";
    }
    return text;
}

// Each stretch of frames whose outputs are no longer the ones their run
// wrote, gone or replaced alike.
std::string MissingLines(const RunState& state, const FarmManifest& manifest)
{
    const auto pattern = FramePattern::Parse(manifest.output);
    const auto path = [&](int frame) { return pattern ? pattern->PathOf(frame) : manifest.output; };
    const auto replaced = [&](int frame) {
        return std::binary_search(state.replaced.begin(), state.replaced.end(), frame);
    };
    const std::vector<int>& missing = state.missing;
    std::string text;
    for (std::size_t at = 0; at < missing.size();) {
        std::size_t end = at + 1;
        while (end < missing.size() && missing[end] == missing[end - 1] + 1 &&
               replaced(missing[end]) == replaced(missing[at]))
            ++end;
        const int first = missing[at], last = missing[end - 1];
        const bool one = end == at + 1;
        text += "  " + FrameList::Of(std::vector<int>(missing.begin() + at, missing.begin() + end)).Text() + ": " +
                path(first) + (one ? "" : " ... " + path(last)) +
                (replaced(first)
                     ? (one ? " is not the file" : " are not the files") + std::string(" written then (replaced since)")
                     : (one ? " is gone" : " are gone")) +
                "\n";
        at = end;
    }
    return text;
}

}  // namespace

std::string FormatRunState(const RunState& state, const FarmManifest& manifest,
                           const std::vector<Submission>& submissions, const std::string& runPath)
{
    std::string jobs;
    for (const Submission& submission : submissions) {
        if (!submission.arrayJob.empty())
            jobs += (jobs.empty() ? "" : ", ") + submission.arrayJob +
                    (submission.reportJob.empty() ? "" : " (report " + submission.reportJob + ")");
    }
    std::string text = "run " + runPath + "\n";
    text += "shot " + manifest.output + ": " + Count(manifest.frames.size()) + " (" +
            FrameList::Of(manifest.frames).Text() + "), chunks of " + std::to_string(manifest.chunk) + "; jobs " +
            (jobs.empty() ? "none" : jobs) + "\n";
    text += Line("done:      ", state.done);
    text += Line("running:   ", state.running);
    if (!state.suspended.empty())
        text += Line("suspended: ", state.suspended);
    text += Line("pending:   ", state.pending);
    text += Line("failed:    ", state.failed);
    text += FailureLines(state.failures);
    text += Line("never ran: ", state.notRun);
    text += EndingLines(state.endings, runPath);
    if (!state.missing.empty()) {
        text += Line("missing since done: ", state.missing);
        text += MissingLines(state, manifest);
    }
    if (!state.damaged.empty()) {
        std::vector<int> frames;
        for (const DamagedRecord& record : state.damaged)
            frames.push_back(record.frame);
        text += Line("record damaged: ", frames);
        for (const DamagedRecord& record : state.damaged)
            text += "  " + std::to_string(record.frame) + ": " + record.why + "\n";
    }
    for (const std::string& reason : state.neverStart)
        text += "warning: " + reason + " (veldra farm cancel ends the run)\n";
    for (const std::string& reason : state.waiting)
        text += "note: " + reason + "\n";
    for (const std::string& remark : state.remarks)
        text += remark + "\n";
    if (state.AllDone())
        text += "every frame is done\n";
    else if (state.TasksEnded())
        text += "next: veldra farm retry " + runPath + " renders the " + Count(state.ToRender().size()) +
                " that failed, never ran, went missing or lost their record\n";
    return text;
}
