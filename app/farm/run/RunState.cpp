#include "farm/run/RunState.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <unistd.h>
#include <unordered_map>

#include "sequence/FrameList.h"
#include "messages/Failure.h"
#include "sequence/FramePattern.h"
#include "sequence/ParseInteger.h"

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
std::string EndingOfTask(const TaskId& id, const LiveJob* live, const std::map<TaskId, const TaskRecord*>& tasks)
{
    if (live)
        return EndingOf(*live);
    const auto record = tasks.find(id);
    if (record == tasks.end())
        return "left no record (it may never have started; Slurm no longer remembers it)";
    if (!record->second->ended) {
        const std::string node = NodeOf(*record->second);
        return "stopped without a word" + (node.empty() ? "" : " on " + node) + ": it was killed, or its node was lost";
    }
    return record->second->ending;
}

std::string TaskName(const std::string& job, const std::string& task) { return "task " + task + " of job " + job; }

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

std::string NodeOf(const FrameRecord& record) { return record.node.empty() ? record.host : record.node; }
std::string NodeOf(const TaskRecord& record) { return record.node.empty() ? record.host : record.node; }

RunState ComputeRunState(const FarmManifest& manifest, const std::vector<Submission>& submissions,
                         const RunRecords& records, const std::vector<TaskRecord>& tasks,
                         const std::vector<LiveJob>& live, const FileLookup& outputNow)
{
    std::unordered_map<int, const FrameRecord*> recordOf;
    for (const FrameRecord& record : records.records)
        recordOf[record.frame] = &record;
    std::unordered_map<int, const DamagedRecord*> damagedOf;
    for (const DamagedRecord& record : records.damaged)
        damagedOf[record.frame] = &record;
    // The latest start of each task (they come in order of restart).
    std::map<TaskId, const TaskRecord*> latestStart;
    for (const TaskRecord& record : tasks) {
        if (const auto task = ParseInteger(record.task, 0, INT_MAX))
            latestStart[{record.job, static_cast<int>(*task)}] = &record;
    }
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
    const auto liveTask = [&](const TaskId& id) -> const LiveJob* {
        const auto known = taskOf.find(id);
        return known == taskOf.end() ? nullptr : known->second;
    };
    // A start of a task that never said how it ended, and is not the one
    // Slurm runs now, was lost with its node (or killed).
    for (const TaskRecord& record : tasks) {
        const auto task = ParseInteger(record.task, 0, INT_MAX);
        if (record.ended || !task)
            continue;
        const TaskId id{record.job, static_cast<int>(*task)};
        const LiveJob* job = liveTask(id);
        if (latestStart[id] == &record && job && IsActive(job->state))
            continue;
        state.nodes[NodeOf(record)].lostTasks.push_back(TaskName(record.job, record.task));
    }
    // Each frame's task in the latest submission that holds it (the job's
    // id is the submission's own string: a long shot has many frames).
    std::unordered_map<int, std::pair<const std::string*, int>> taskOfFrame;
    for (const Submission& submission : submissions) {
        if (submission.arrayJob.empty())
            continue;
        const auto& chunks = submission.chunks;
        for (std::size_t chunk = 0; chunk < chunks.size(); ++chunk) {
            for (const int frame : chunks[chunk])
                taskOfFrame[frame] = {&submission.arrayJob, static_cast<int>(chunk)};
        }
    }
    std::map<TaskId, std::vector<int>> unfinished;
    for (const int frame : manifest.frames) {
        const auto found = recordOf.find(frame);
        const FrameRecord* record = found == recordOf.end() ? nullptr : found->second;
        NodeWork* node = record ? &state.nodes[NodeOf(*record)] : nullptr;
        std::optional<FileIdentity> now;
        if (record && record->ok) {
            now = outputNow(frame);
            if (now && now == record->output) {
                state.done.push_back(frame);
                node->done.push_back(frame);
                if (record->started > 0 && record->ended >= record->started) {
                    node->seconds += record->ended - record->started;
                    ++node->timedFrames;
                }
                continue;
            }
        }
        const auto holder = taskOfFrame.find(frame);
        const std::optional<TaskId> task =
            holder == taskOfFrame.end() ? std::nullopt
                                        : std::optional<TaskId>(TaskId{*holder->second.first, holder->second.second});
        const LiveJob* job = task ? liveTask(*task) : nullptr;
        const auto damaged = damagedOf.find(frame);
        if (job && IsRunning(job->state)) {
            state.running.push_back(frame);
            if (record && record->rendering)
                node->rendering.push_back(frame);
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
        } else if (record && !record->rendering) {
            state.failed.push_back(frame);
            state.failures.push_back(*record);
            node->failed.push_back(frame);
        } else {
            state.notRun.push_back(frame);
            if (record)
                node->lost.push_back(frame);
            if (task)
                unfinished[*task].push_back(frame);
        }
    }
    for (const auto& [id, frames] : unfinished)
        state.endings.push_back({id.first, id.second, frames, EndingOfTask(id, liveTask(id), latestStart)});
    if (!records.strays.empty())
        state.remarks.push_back("note: ignored " + std::to_string(records.strays.size()) +
                                " file(s) of the status room that are no frame's record: " + SomeNames(records.strays));
    return state;
}

namespace {

// Lists past this many lines or stretches are cut short unless asked for
// whole (--verbose): a shot of fifty thousand frames reads like one of fifty.
constexpr std::size_t kMostLines = 12;

std::string Count(std::size_t count) { return std::to_string(count) + (count == 1 ? " frame" : " frames"); }

// Runs of consecutive frames: (first, last).
std::vector<std::pair<int, int>> Stretches(const std::vector<int>& frames)
{
    std::vector<std::pair<int, int>> stretches;
    for (const int frame : frames) {
        if (!stretches.empty() && static_cast<long long>(stretches.back().second) + 1 == frame)
            stretches.back().second = frame;
        else
            stretches.emplace_back(frame, frame);
    }
    return stretches;
}

std::string Line(const char* label, const std::vector<int>& frames, std::size_t most)
{
    std::string line = std::string(label) + Count(frames.size());
    if (!frames.empty())
        line += ": " + StretchText(frames, most);
    return line + "\n";
}

// Adds `lines` to `text`, the first kMostLines of them unless `verbose`,
// then how many more there are.
void AddLines(std::string& text, const std::vector<std::string>& lines, bool verbose, const char* what)
{
    const std::size_t shown = verbose ? lines.size() : std::min(lines.size(), kMostLines);
    for (std::size_t i = 0; i < shown; ++i)
        text += lines[i];
    if (shown < lines.size())
        text += "  ... and " + std::to_string(lines.size() - shown) + " more " + what + " (--verbose lists them)\n";
}

// `text` with every `from` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    if (from.empty())
        return text;
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// "2 attempts", "2 attempts each" or "1-3 attempts".
std::string AttemptWords(int least, int most, bool several)
{
    if (least == most)
        return std::to_string(least) + (least == 1 ? " attempt" : " attempts") + (several ? " each" : "");
    return std::to_string(least) + "-" + std::to_string(most) + " attempts";
}

// Names joined with ", ", the first few only.
std::string NameList(const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < 4; ++i)
        text += (i ? ", " : "") + names[i];
    if (names.size() > 4)
        text += " and " + std::to_string(names.size() - 4) + " more";
    return text;
}

// Failed frames, a line per reason (verbose: a line per frame), with their
// attempts, the nodes they failed on and the log to read.
std::vector<std::string> FailureLines(const std::vector<FrameRecord>& failures, const FarmManifest& manifest,
                                      bool verbose)
{
    std::vector<std::string> reasons;
    std::map<std::string, std::vector<const FrameRecord*>> byReason;
    for (const FrameRecord& record : failures) {
        const std::string reason = verbose ? std::to_string(record.frame) : FailureReason(record, manifest);
        if (byReason.count(reason) == 0)
            reasons.push_back(reason);
        byReason[reason].push_back(&record);
    }
    std::vector<std::string> lines;
    for (const std::string& reason : reasons) {
        const auto& group = byReason[reason];
        const FrameRecord& first = *group.front();
        std::vector<int> frames;
        std::vector<std::string> nodes, logs;
        int least = first.attempts, most = first.attempts;
        for (const FrameRecord* record : group) {
            frames.push_back(record->frame);
            least = std::min(least, record->attempts);
            most = std::max(most, record->attempts);
            AddOnce(nodes, NodeOf(*record));
            AddOnce(logs, record->log);
        }
        const bool one = group.size() == 1;
        std::string line = "  " + StretchText(frames, verbose ? 0 : kMostLines) + ": " +
                           (one ? (first.message.empty() ? "failed" : first.message) : reason) + " (" +
                           AttemptWords(least, most, !one);
        nodes.erase(std::remove(nodes.begin(), nodes.end(), std::string()), nodes.end());
        if (!nodes.empty())
            line += " on " + NameList(nodes);
        line += logs.size() == 1 ? "; log " + logs[0] : "; " + std::to_string(logs.size()) + " logs";
        lines.push_back(line + ")\n");
    }
    return lines;
}

// Why frames never ran: a line for the tasks that ended alike, with their
// frames (verbose: a line for each task, with its log when it wrote one).
std::vector<std::string> EndingLines(const std::vector<TaskEnding>& endings, const std::string& runPath, bool verbose)
{
    std::vector<std::string> order;
    std::map<std::string, std::vector<const TaskEnding*>> byEnding;
    for (const TaskEnding& ending : endings) {
        const std::string key = verbose ? ending.job + "_" + std::to_string(ending.task) : ending.ending;
        if (byEnding.count(key) == 0)
            order.push_back(key);
        byEnding[key].push_back(&ending);
    }
    std::vector<std::string> lines;
    for (const std::string& key : order) {
        const auto& group = byEnding[key];
        std::vector<int> frames;
        std::map<std::string, std::vector<int>> tasksOfJob;
        for (const TaskEnding* ending : group) {
            frames.insert(frames.end(), ending->frames.begin(), ending->frames.end());
            tasksOfJob[ending->job].push_back(ending->task);
        }
        std::sort(frames.begin(), frames.end());
        const TaskEnding& first = *group.front();
        std::string line = "  " + StretchText(frames, verbose ? 0 : kMostLines) + ": ";
        if (group.size() == 1) {
            const std::string log = TaskLogPath(runPath, first.job, std::to_string(first.task));
            line += TaskName(first.job, std::to_string(first.task)) + " " + first.ending +
                    (access(log.c_str(), F_OK) == 0 ? " (log " + log + ")" : "");
        } else {
            std::string which;
            for (auto& [job, tasks] : tasksOfJob) {
                std::sort(tasks.begin(), tasks.end());
                which += (which.empty() ? "" : "; ") + std::string("job ") + job + " tasks " + StretchText(tasks, 4);
            }
            line += std::to_string(group.size()) + " tasks (" + which + ") each " + first.ending;
        }
        lines.push_back(line + "\n");
    }
    return lines;
}

// Each stretch of frames whose outputs are no longer the ones their run
// wrote, gone or replaced alike.
std::vector<std::string> MissingLines(const RunState& state, const FarmManifest& manifest)
{
    const auto pattern = FramePattern::Parse(manifest.output);
    const auto path = [&](int frame) { return pattern ? pattern->PathOf(frame) : manifest.output; };
    const auto replaced = [&](int frame) {
        return std::binary_search(state.replaced.begin(), state.replaced.end(), frame);
    };
    const std::vector<int>& missing = state.missing;
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < missing.size();) {
        std::size_t end = at + 1;
        while (end < missing.size() && missing[end] == missing[end - 1] + 1 &&
               replaced(missing[end]) == replaced(missing[at]))
            ++end;
        const int first = missing[at], last = missing[end - 1];
        const bool one = end == at + 1;
        lines.push_back("  " + FrameList::Of(std::vector<int>(missing.begin() + at, missing.begin() + end)).Text() +
                        ": " + path(first) + (one ? "" : " ... " + path(last)) +
                        (replaced(first) ? (one ? " is not the file" : " are not the files") +
                                               std::string(" written then (replaced since)")
                                         : (one ? " is gone" : " are gone")) +
                        "\n");
        at = end;
    }
    return lines;
}

std::string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, seconds < 10 ? "%.2f s" : "%.1f s", seconds);
    return text;
}

// "node1 12 done, node2 10 done, 1 failed, 1 task lost": a word for each
// node that did anything for the run.
std::string NodesLine(const RunState& state)
{
    std::string line;
    for (const auto& [name, work] : state.nodes) {
        if (name.empty())
            continue;
        std::string words = name + " " + std::to_string(work.done.size()) + " done";
        if (!work.failed.empty())
            words += ", " + std::to_string(work.failed.size()) + " failed";
        if (!work.rendering.empty())
            words += ", " + std::to_string(work.rendering.size()) + " rendering";
        if (!work.lostTasks.empty())
            words += ", " + std::to_string(work.lostTasks.size()) +
                     (work.lostTasks.size() == 1 ? " task lost" : " tasks lost");
        line += (line.empty() ? "" : "; ") + words;
    }
    return line.empty() ? "" : "nodes:     " + line + "\n";
}

// A line for every frame of the shot: its state, and where and how it was
// rendered.
std::string FrameLines(const RunState& state, const FarmManifest& manifest, const std::vector<FrameRecord>& records)
{
    std::map<int, const char*> stateOf;
    const std::pair<const std::vector<int>*, const char*> lists[] = {{&state.done, "done"},
                                                                     {&state.running, "running"},
                                                                     {&state.suspended, "suspended"},
                                                                     {&state.pending, "pending"},
                                                                     {&state.failed, "failed"},
                                                                     {&state.notRun, "never ran"},
                                                                     {&state.missing, "missing since done"}};
    for (const auto& [frames, words] : lists) {
        for (const int frame : *frames)
            stateOf[frame] = words;
    }
    for (const DamagedRecord& record : state.damaged)
        stateOf[record.frame] = "record damaged";
    std::map<int, const FrameRecord*> recordOf;
    for (const FrameRecord& record : records)
        recordOf[record.frame] = &record;
    std::string text = "frames:\n";
    for (const int frame : manifest.frames) {
        text += "  " + std::to_string(frame) + ": " + stateOf[frame];
        const auto found = recordOf.find(frame);
        if (found != recordOf.end()) {
            const FrameRecord& record = *found->second;
            text += " (" + AttemptWords(record.attempts, record.attempts, false);
            if (!NodeOf(record).empty())
                text += " on " + NodeOf(record);
            if (record.ok && record.started > 0 && record.ended >= record.started)
                text += ", " + Seconds(record.ended - record.started);
            text += ")";
        }
        text += "\n";
    }
    return text;
}

}  // namespace

std::string FailureReason(const FrameRecord& record, const FarmManifest& manifest)
{
    std::string reason = record.message.empty() ? "failed" : record.message;
    for (const std::string& pattern : {manifest.input, manifest.output}) {
        if (const auto parsed = FramePattern::Parse(pattern))
            reason = Replaced(reason, parsed->PathOf(record.frame), pattern);
    }
    return reason;
}

std::string StretchText(const std::vector<int>& frames, std::size_t most)
{
    const auto stretches = Stretches(frames);
    std::string text;
    const std::size_t shown = most == 0 ? stretches.size() : std::min(most, stretches.size());
    for (std::size_t i = 0; i < shown; ++i) {
        const auto [first, last] = stretches[i];
        text += (i ? "," : "") + std::to_string(first) + (last == first ? "" : "-" + std::to_string(last));
    }
    if (shown < stretches.size())
        text += ",... (" + std::to_string(stretches.size()) + " stretches in all)";
    return text;
}

std::string FormatRunState(const RunState& state, const FarmManifest& manifest,
                           const std::vector<Submission>& submissions, const std::string& runPath, bool verbose,
                           const std::vector<FrameRecord>& records)
{
    std::string jobs;
    for (const Submission& submission : submissions) {
        if (!submission.arrayJob.empty())
            jobs += (jobs.empty() ? "" : ", ") + submission.arrayJob +
                    (submission.reportJob.empty() ? "" : " (report " + submission.reportJob + ")");
    }
    const std::size_t most = verbose ? 0 : kMostLines;
    std::string text = "run " + runPath + "\n";
    text += "shot " + manifest.output + ": " + Count(manifest.frames.size()) + " (" +
            StretchText(manifest.frames, most) + "), chunks of " + std::to_string(manifest.chunk) + "; jobs " +
            (jobs.empty() ? "none" : jobs) + "\n";
    text += Line("done:      ", state.done, most);
    text += Line("running:   ", state.running, most);
    if (!state.suspended.empty())
        text += Line("suspended: ", state.suspended, most);
    text += Line("pending:   ", state.pending, most);
    text += Line("failed:    ", state.failed, most);
    AddLines(text, FailureLines(state.failures, manifest, verbose), verbose, "reasons");
    text += Line("never ran: ", state.notRun, most);
    AddLines(text, EndingLines(state.endings, runPath, verbose), verbose, "ways tasks ended");
    if (!state.missing.empty()) {
        text += Line("missing since done: ", state.missing, most);
        AddLines(text, MissingLines(state, manifest), verbose, "stretches");
    }
    if (!state.damaged.empty()) {
        std::vector<int> frames;
        std::vector<std::string> lines;
        for (const DamagedRecord& record : state.damaged) {
            frames.push_back(record.frame);
            lines.push_back("  " + std::to_string(record.frame) + ": " + record.why + "\n");
        }
        text += Line("record damaged: ", frames, most);
        AddLines(text, lines, verbose, "damaged records");
    }
    text += NodesLine(state);
    if (verbose)
        text += FrameLines(state, manifest, records);
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

std::string FormatNodeWork(const RunState& state, const std::string& node)
{
    const auto found = state.nodes.find(node);
    if (found == state.nodes.end() || node.empty()) {
        std::vector<std::string> names;
        for (const auto& entry : state.nodes)
            names.push_back(entry.first);
        throw Failure("--node " + node,
                      "no record of the run names this node (" +
                          (names.empty() ? std::string("no node has a record yet") : "its nodes: " + NameList(names)) +
                          ")");
    }
    const NodeWork& work = found->second;
    std::string text = "node " + node + "\n";
    text += Line("done:      ", work.done, kMostLines);
    if (work.timedFrames > 0)
        text += "  " + Seconds(work.seconds) + " of rendering, " + Seconds(work.seconds / work.timedFrames) +
                " a frame\n";
    text += Line("failed:    ", work.failed, kMostLines);
    text += Line("rendering: ", work.rendering, kMostLines);
    text += Line("lost:      ", work.lost, kMostLines);
    if (!work.lostTasks.empty())
        text += "  " + NameList(work.lostTasks) + " started here and never said how it ended: the node was lost, or " +
                (work.lostTasks.size() == 1 ? "the task killed" : "the tasks killed") + "\n";
    return text;
}
