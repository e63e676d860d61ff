#include "farm/run/RunState.h"

#include <algorithm>
#include <map>
#include <unistd.h>

#include "sequence/FrameList.h"

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

namespace {

template <typename Item>
void AddOnce(std::vector<Item>& list, const Item& item)
{
    if (std::find(list.begin(), list.end(), item) == list.end())
        list.push_back(item);
}

}  // namespace

RunState ComputeRunState(const FarmManifest& manifest, const std::vector<Submission>& submissions,
                         const std::vector<FrameRecord>& records, const std::vector<LiveJob>& live)
{
    std::map<int, const FrameRecord*> recordOf;
    for (const FrameRecord& record : records)
        recordOf[record.frame] = &record;
    std::map<std::pair<std::string, int>, const LiveJob*> taskOf;
    RunState state;
    for (const LiveJob& job : live) {
        if (job.task)
            taskOf[{job.job, *job.task}] = &job;
        if (IsActive(job.state)) {
            AddOnce(state.activeJobs, job.job);
            if (const auto meaning = StuckReason(job.reason)) {
                AddOnce(state.warnings, "job " + job.job + " is pending (" + job.reason + "): " + *meaning +
                                            "; it will not start by itself");
            }
        }
    }
    // Each frame's task in the latest submission that holds it.
    std::map<int, std::pair<std::string, int>> taskOfFrame;
    for (const Submission& submission : submissions) {
        if (submission.arrayJob.empty())
            continue;
        const auto& chunks = submission.chunks;
        for (std::size_t chunk = 0; chunk < chunks.size(); ++chunk) {
            for (const int frame : chunks[chunk])
                taskOfFrame[frame] = {submission.arrayJob, static_cast<int>(chunk)};
        }
    }
    for (const int frame : manifest.frames) {
        const auto record = recordOf.find(frame);
        if (record != recordOf.end() && record->second->ok) {
            state.done.push_back(frame);
            continue;
        }
        const auto task = taskOfFrame.find(frame);
        const LiveJob* job = nullptr;
        if (task != taskOfFrame.end()) {
            if (const auto found = taskOf.find(task->second); found != taskOf.end())
                job = found->second;
        }
        if (job && IsRunning(job->state)) {
            state.running.push_back(frame);
        } else if (job && IsActive(job->state)) {
            state.pending.push_back(frame);
        } else if (record != recordOf.end()) {
            state.failed.push_back(frame);
            state.failures.push_back(*record->second);
        } else {
            state.notRun.push_back(frame);
            if (task != taskOfFrame.end())
                AddOnce(state.silentTasks, task->second);
        }
    }
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
    text += Line("pending:   ", state.pending);
    text += Line("failed:    ", state.failed);
    text += FailureLines(state.failures);
    text += Line("never ran: ", state.notRun);
    // A task that started but left no record (the program missing on its
    // node, say) would fail again on retry: its log says why.
    std::string logs;
    for (const auto& [job, task] : state.silentTasks) {
        const std::string log = TaskLogPath(runPath, job, std::to_string(task));
        if (access(log.c_str(), F_OK) == 0)
            logs += "  " + log + "\n";
    }
    if (!logs.empty())
        text += "  tasks that ended without recording these frames; their logs:\n" + logs;
    for (const std::string& warning : state.warnings)
        text += "warning: " + warning + " (veldra farm cancel ends the run)\n";
    if (state.AllDone())
        text += "every frame is done\n";
    else if (state.Finished())
        text += "next: veldra farm retry " + runPath + " renders the " +
                Count(state.failed.size() + state.notRun.size()) + " that failed or never ran\n";
    return text;
}
