#include "farm/slurm/Slurm.h"

#include <climits>
#include <csignal>
#include <cstring>

#include "farm/RunFrames.h"
#include "messages/Failure.h"
#include "process/ChildProcess.h"
#include "process/Interrupt.h"
#include "sequence/FrameList.h"
#include "sequence/ParseInteger.h"

namespace {

// The lines of `text`, without their line ends or trailing blanks.
std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Everything the command said, on one line: each line without the
// command's name in front, joined by "; ". The line that names a bad
// option comes before the one that says where to read more, and both
// matter.
std::string Complaint(const std::string& command, const ProgramResult& result)
{
    std::string text;
    for (std::string line : LinesOf(result.errors.empty() ? result.output : result.errors)) {
        if (line.compare(0, command.size() + 2, command + ": ") == 0)
            line.erase(0, command.size() + 2);
        if (!line.empty())
            text += (text.empty() ? "" : "; ") + line;
    }
    return text.empty() ? "exit status " + std::to_string(result.exitCode) : text;
}

// Runs a Slurm command; returns its output when it succeeds, or "" when it
// fails only because a job has ended or been forgotten (`gone` is what the
// command then says).
std::string RunSlurm(const std::string& command, std::vector<std::string> args, std::vector<std::string> gone = {})
{
    args.insert(args.begin(), command);
    const ProgramResult result = RunProgram(args);
    if (!result.started)
        throw Failure(command, result.errors + " (is Slurm installed?)");
    if (result.exitCode != 0) {
        for (const std::string& harmless : gone) {
            if (result.errors.find(harmless) != std::string::npos)
                return "";
        }
        throw Failure(command + " failed", Complaint(command, result));
    }
    return result.output;
}

bool StartsWith(const std::string& text, const char* start) { return text.compare(0, std::strlen(start), start) == 0; }

}  // namespace

std::string JobList(const std::vector<std::string>& jobs)
{
    std::string ids;
    for (const std::string& job : jobs)
        ids += (ids.empty() ? "" : ",") + job;
    return ids;
}

std::string SubmitBatch(const std::vector<std::string>& args)
{
    std::vector<std::string> words = {"--parsable"};
    words.insert(words.end(), args.begin(), args.end());
    const std::string output = RunSlurm("sbatch", words);
    // "ID" or "ID;CLUSTER"
    const std::string id = LastLine(output).substr(0, LastLine(output).find(';'));
    if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos)
        throw Failure("sbatch", "unexpected answer '" + LastLine(output) + "'");
    return id;
}

bool MaybeSubmitted(const Failure& failure)
{
    const std::string what = failure.what();
    return what.find("timed out") != std::string::npos || what.find("Zero Bytes were transmitted") != std::string::npos;
}

std::optional<std::string> FindJobByComment(const std::string& name, const std::string& comment)
{
    const std::string text = RunSlurm(
        "squeue", {"--noheader", "--me", "--states=all", "--name=" + name, "--Format=ArrayJobID:|,Comment:|"});
    for (const std::string& line : LinesOf(text)) {
        const std::size_t bar = line.find('|');
        if (bar != std::string::npos && line.compare(bar + 1, std::string::npos, comment + "|") == 0)
            return line.substr(0, bar);
    }
    return std::nullopt;
}

void CancelJobs(const std::vector<std::string>& jobs)
{
    if (!jobs.empty())
        RunSlurm("scancel", jobs, {"already completing or completed", "Invalid job id"});
}

std::vector<LiveJob> QueryJobs(const std::vector<std::string>& jobs)
{
    if (jobs.empty())
        return {};
    return ParseQueue(RunSlurm("squeue",
                               {"--noheader", "--all", "--states=all", "--jobs=" + JobList(jobs),
                                "--Format=ArrayJobID:|,ArrayTaskID:|,State:|,Reason:|,exit_code:|"},
                               {"Invalid job id"}));
}

std::vector<LiveJob> ParseQueue(const std::string& text)
{
    std::vector<LiveJob> jobs;
    for (std::string line : LinesOf(text)) {
        if (!line.empty() && line.back() == '|')
            line.pop_back();

        std::vector<std::string> fields;
        std::size_t at = 0;
        for (std::size_t bar; (bar = line.find('|', at)) != std::string::npos; at = bar + 1)
            fields.push_back(line.substr(at, bar - at));
        fields.push_back(line.substr(at));
        if (fields.size() != 5)
            continue;
        const auto status = ParseInteger(fields[4], 0, INT_MAX);
        LiveJob job{fields[0], std::nullopt, fields[2], fields[3], status ? static_cast<int>(*status) : 0};
        std::string tasks = fields[1];
        if (tasks == "N/A" || tasks.empty()) {
            jobs.push_back(job);
            continue;
        }
        // "[0-4%2]" or "0-4%2": drop the brackets and the throttle.
        if (tasks.front() == '[' && tasks.back() == ']')
            tasks = tasks.substr(1, tasks.size() - 2);
        tasks = tasks.substr(0, tasks.find('%'));
        // A run's array has at most one task a frame.
        for (const int task : FramesOfRun(FrameList::Parse("squeue", tasks), "squeue")) {
            job.task = task;
            jobs.push_back(job);
        }
    }
    return jobs;
}

bool IsActive(const std::string& state)
{
    static const char* const ended[] = {"COMPLETED", "CANCELLED", "FAILED",   "TIMEOUT",       "NODE_FAIL",
                                        "PREEMPTED", "BOOT_FAIL", "DEADLINE", "OUT_OF_MEMORY", "REVOKED"};
    for (const char* name : ended) {
        if (StartsWith(state, name))
            return false;
    }
    return true;
}

bool IsRunning(const std::string& state)
{
    return state == "RUNNING" || state == "COMPLETING" || state == "CONFIGURING" || state == "STAGE_OUT";
}

bool IsSuspended(const std::string& state) { return state == "SUSPENDED" || state == "STOPPED"; }

std::optional<PendingReason> ReadPendingReason(const std::string& reason)
{
    static const struct {
        const char* name;
        bool never;
        const char* meaning;
    } reasons[] = {
        {"PartitionConfig", true, "it asks for more than the partition or any of its nodes has (CPUs, memory, nodes)"},
        {"PartitionNodeLimit", true, "it asks for more nodes than the partition allows"},
        {"PartitionTimeLimit", true, "its time limit is longer than the partition allows"},
        {"BadConstraints", true, "its constraints match no node"},
        {"DependencyNeverSatisfied", true, "it depends on a job that can never let it run"},
        {"InvalidAccount", true, "its account is not valid"},
        {"InvalidQOS", true, "its quality of service is not valid"},
        {"AccountNotAllowed", true, "its account may not use the partition"},
        {"QOSNotAllowed", true, "its quality of service may not use the partition"},
        // Nodes come back, partitions are brought up again, holds are
        // released; right after a controller restarts, every node is not
        // available until it has reported in.
        {"PartitionDown", false, "its partition is down"},
        {"PartitionInactive", false, "its partition is inactive"},
        {"ReqNodeNotAvail", false, "the nodes it needs are not available (yet)"},
        {"NodeDown", false, "the nodes it needs are down"},
        {"JobHeldAdmin", false, "an administrator holds it"},
        {"JobHeldUser", false, "it is held (release it with scontrol release)"},
    };
    for (const auto& known : reasons) {
        if (StartsWith(reason, known.name))
            return PendingReason{known.never, known.meaning};
    }
    return std::nullopt;
}

std::string EndingOf(const LiveJob& job)
{
    const std::string& state = job.state;
    if (StartsWith(state, "COMPLETED"))
        return "completed";
    if (StartsWith(state, "FAILED")) {
        // A task killed outright (SIGKILL: out of memory, say) is called a
        // launch failure too, with nothing but the signal as its status.
        const int signal = job.exitStatus & 0x7f;
        const bool killed = signal != 0 && job.exitStatus == signal;
        if (job.reason == "JobLaunchFailure" && !killed)
            return "could not be launched (Slurm could not open its log or enter its folder)";
        if (signal != 0)
            return EndedBySignal(signal);
        return "failed with exit code " + std::to_string(job.exitStatus >> 8);
    }
    static const std::pair<const char*, const char*> endings[] = {
        {"TIMEOUT", "timed out"},
        {"CANCELLED", "was cancelled"},
        {"NODE_FAIL", "ended when its node failed"},
        {"OUT_OF_MEMORY", "ran out of memory"},
        {"PREEMPTED", "was preempted"},
        {"BOOT_FAIL", "could not start: its node failed to boot"},
        {"DEADLINE", "missed its deadline"},
        {"REVOKED", "was revoked"},
    };
    for (const auto& [name, words] : endings) {
        if (StartsWith(state, name))
            return words;
    }
    return "ended (" + state + ")";
}

std::string EndedBySignal(int signal)
{
    return "was ended by " + SignalWords(signal) +
           (signal == SIGKILL ? ": out of memory (the kernel kills so), or killed by hand" : "");
}

std::string SlurmOutputPath(const std::string& folder, const std::string& name, const std::string& fallback)
{
    std::string path;
    if (folder.find('\\') != std::string::npos) {
        for (const char c : folder + "/" + fallback)
            path += c == '\\' ? std::string("\\\\") : std::string(1, c);
        return path;
    }
    for (const char c : folder)
        path += c == '%' ? std::string("%%") : std::string(1, c);
    return path + "/" + name;
}
