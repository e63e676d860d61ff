#include "farm/slurm/Slurm.h"

#include "farm/run/FarmFolder.h"
#include "messages/Failure.h"
#include "process/ChildProcess.h"
#include "sequence/FrameList.h"

namespace {

std::string JoinIds(const std::vector<std::string>& jobs)
{
    std::string ids;
    for (const std::string& job : jobs)
        ids += (ids.empty() ? "" : ",") + job;
    return ids;
}

// What the command said, on one line, without its own name in front.
std::string Complaint(const std::string& command, const ProgramResult& result)
{
    std::string line = LastLine(result.errors.empty() ? result.output : result.errors);
    if (line.compare(0, command.size() + 2, command + ": ") == 0)
        line.erase(0, command.size() + 2);
    if (line.empty())
        line = "exit status " + std::to_string(result.exitCode);
    return line;
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

}  // namespace

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

void CancelJobs(const std::vector<std::string>& jobs)
{
    if (!jobs.empty())
        RunSlurm("scancel", jobs, {"already completing or completed", "Invalid job id"});
}

std::vector<LiveJob> QueryJobs(const std::vector<std::string>& jobs)
{
    if (jobs.empty())
        return {};
    return ParseQueue(
        RunSlurm("squeue", {"--noheader", "--all", "--states=all", "--jobs=" + JoinIds(jobs), "--format=%F|%K|%T|%r"},
                 {"Invalid job id"}));
}

std::vector<LiveJob> ParseQueue(const std::string& text)
{
    std::vector<LiveJob> jobs;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;

        std::vector<std::string> fields;
        std::size_t at = 0;
        for (std::size_t bar; (bar = line.find('|', at)) != std::string::npos; at = bar + 1)
            fields.push_back(line.substr(at, bar - at));
        fields.push_back(line.substr(at));
        if (fields.size() != 4)
            continue;
        LiveJob job{fields[0], std::nullopt, fields[2], fields[3]};
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
        if (state.compare(0, std::string(name).size(), name) == 0)
            return false;
    }
    return true;
}

bool IsRunning(const std::string& state)
{
    return state == "RUNNING" || state == "COMPLETING" || state == "CONFIGURING" || state == "STAGE_OUT";
}

std::optional<std::string> StuckReason(const std::string& reason)
{
    static const std::pair<const char*, const char*> stuck[] = {
        {"PartitionConfig", "it asks for more than the partition or any of its nodes has (CPUs, memory, nodes)"},
        {"PartitionNodeLimit", "it asks for more nodes than the partition allows"},
        {"PartitionTimeLimit", "its time limit is longer than the partition allows"},
        {"PartitionDown", "its partition is down"},
        {"PartitionInactive", "its partition is inactive"},
        {"ReqNodeNotAvail", "the nodes it needs are not available"},
        {"NodeDown", "the nodes it needs are down"},
        {"BadConstraints", "its constraints match no node"},
        {"DependencyNeverSatisfied", "it depends on a job that can never let it run"},
        {"JobHeldAdmin", "an administrator holds it"},
        {"JobHeldUser", "it is held (release it with scontrol release)"},
        {"InvalidAccount", "its account is not valid"},
        {"InvalidQOS", "its quality of service is not valid"},
        {"AccountNotAllowed", "its account may not use the partition"},
        {"QOSNotAllowed", "its quality of service may not use the partition"},
    };
    for (const auto& [name, meaning] : stuck) {
        if (reason.compare(0, std::string(name).size(), name) == 0)
            return std::string(meaning);
    }
    return std::nullopt;
}
