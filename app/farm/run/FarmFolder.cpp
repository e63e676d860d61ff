#include "farm/run/FarmFolder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <sys/stat.h>
#include <unistd.h>

#include "farm/run/KeyValues.h"
#include "files/WholeFile.h"
#include "messages/Failure.h"
#include "sequence/ParseInteger.h"

namespace {

const char* const FarmFolderName = ".veldra-farm";

std::string AbsolutePath(const std::string& path)
{
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved)
        throw Failure(path, std::strerror(errno));
    std::string result = resolved;
    std::free(resolved);
    return result;
}

void MakeFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        throw Failure(path, std::string("cannot make the folder: ") + std::strerror(errno));
}

bool IsFile(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::error_code error;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name[0] != '.')
            names.push_back(name);
    }
    if (error)
        throw Failure(folder, "cannot read the folder: " + error.message());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteText(const std::string& path, const std::string& text)
{
    ReplaceFileContents(path, text.data(), text.size());
}

// Run names: YYYYMMDD-HHMMSS, then -2, -3... for runs made in the same
// second. Returns the time stamp and the sequence number (1 without a
// suffix), or nothing for another name.
std::optional<std::pair<std::string, long>> RunOrder(const std::string& name)
{
    const auto digits = [&](std::size_t from, std::size_t count) {
        return name.size() >= from + count && std::all_of(name.begin() + from, name.begin() + from + count,
                                                          [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(0, 8) || name.size() < 15 || name[8] != '-' || !digits(9, 6))
        return std::nullopt;
    if (name.size() == 15)
        return std::make_pair(name, 1L);
    const auto sequence = name[15] == '-' ? ParseInteger(name.substr(16), 0, 999999) : std::nullopt;
    if (!sequence || !digits(16, name.size() - 16))
        return std::nullopt;
    return std::make_pair(name.substr(0, 15), static_cast<long>(*sequence));
}

}  // namespace

std::vector<int> FramesOfRun(const FrameList& list, const std::string& subject)
{
    if (list.Count() > kMostFramesInRun)
        throw Failure(subject, std::to_string(list.Count()) + " frames is more than a farm run takes (" +
                                   std::to_string(kMostFramesInRun) + ")");
    return list.Frames();
}

namespace {

// The frames of a frame list in the run's file `path`, as FramesOfRun
// allows them.
std::vector<int> FramesIn(const std::string& text, const std::string& path)
{
    return text.empty() ? std::vector<int>{} : FramesOfRun(FrameList::Parse(path, text), path);
}

}  // namespace

Submission MakeSubmission(int index, std::vector<int> frames, int chunkSize)
{
    Submission submission;
    submission.index = index;
    for (std::size_t at = 0; at < frames.size(); at += static_cast<std::size_t>(chunkSize)) {
        const std::size_t end = std::min(frames.size(), at + static_cast<std::size_t>(chunkSize));
        submission.chunks.emplace_back(frames.begin() + at, frames.begin() + end);
    }
    submission.frames = std::move(frames);
    return submission;
}

std::string FormatRecord(const FrameRecord& record)
{
    return FormatKeyValues({{"frame", std::to_string(record.frame)},
                            {"state", record.ok ? "ok" : "failed"},
                            {"attempts", std::to_string(record.attempts)},
                            {"host", record.host},
                            {"job", record.job},
                            {"task", record.task},
                            {"log", record.log},
                            {"message", record.message}},
                           "frame " + std::to_string(record.frame));
}

FrameRecord ParseRecord(const std::string& text, const std::string& what)
{
    const KeyValues values = ParseKeyValues(text);
    FrameRecord record;
    record.frame = IntegerOf(values, "frame", what);
    const std::string state = ValueOf(values, "state");
    if (state != "ok" && state != "failed")
        throw Failure(what, "bad or missing state '" + state + "'");
    record.ok = state == "ok";
    record.attempts = IntegerOf(values, "attempts", what);
    record.host = ValueOf(values, "host");
    record.job = ValueOf(values, "job");
    record.task = ValueOf(values, "task");
    record.log = ValueOf(values, "log");
    record.message = ValueOf(values, "message");
    return record;
}

std::optional<std::string> LatestRun(const std::vector<std::string>& names)
{
    std::optional<std::string> latest;
    for (const std::string& name : names) {
        const auto order = RunOrder(name);
        if (order && (!latest || *order > *RunOrder(*latest)))
            latest = name;
    }
    return latest;
}

std::string ReadTextFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw Failure(path, std::string("cannot open: ") + std::strerror(errno));
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad())
        throw Failure(path, "cannot read");
    return text.str();
}

FarmFolder FarmFolder::Create(const std::string& outputFolder)
{
    const std::string farms = AbsolutePath(outputFolder) + "/" + FarmFolderName;
    MakeFolder(farms);
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    for (int sequence = 1;; ++sequence) {
        const std::string path = farms + "/" + stamp + (sequence > 1 ? "-" + std::to_string(sequence) : "");
        if (mkdir(path.c_str(), 0755) == 0) {
            const FarmFolder folder(path);
            for (const char* room : {"/submissions", "/status", "/logs"})
                MakeFolder(path + room);
            return folder;
        }
        if (errno != EEXIST)
            throw Failure(path, std::string("cannot make the farm folder: ") + std::strerror(errno));
    }
}

FarmFolder FarmFolder::Find(const std::string& dir)
{
    if (IsFile(dir + "/manifest.txt"))
        return FarmFolder(AbsolutePath(dir));
    const std::string farms = dir + "/" + FarmFolderName;
    if (access(farms.c_str(), F_OK) == 0) {
        const auto latest = LatestRun(FolderEntries(farms));
        if (latest && IsFile(farms + "/" + *latest + "/manifest.txt"))
            return FarmFolder(AbsolutePath(farms + "/" + *latest));
    }
    throw Failure(dir, "no farm run here (give a run's farm folder or the output folder of a run)");
}

std::string TaskLogPath(const std::string& runPath, const std::string& job, const std::string& task)
{
    return runPath + "/logs/" + job + "_" + task + ".log";
}

std::string FarmFolder::LogPath(const std::string& job, const std::string& task) const
{
    return TaskLogPath(path_, job, task);
}

void FarmFolder::WriteManifest(const FarmManifest& manifest) const
{
    KeyValues values = {
        {"program", manifest.program},
        {"workdir", manifest.workdir},
        {"input", manifest.input},
        {"output", manifest.output},
        {"frames", FrameList::Of(manifest.frames).Text()},
        {"range-first", std::to_string(manifest.rangeFirst)},
        {"range-last", std::to_string(manifest.rangeLast)},
        {"chunk", std::to_string(manifest.chunk)},
        {"retries", std::to_string(manifest.retries)},
        {"max-parallel", std::to_string(manifest.maxParallel)},
    };
    for (const std::string& word : manifest.renderWords)
        values.emplace_back("render", word);
    for (const std::string& word : manifest.sbatchOptions)
        values.emplace_back("sbatch", word);
    WriteText(ManifestPath(), "# veldra farm run\n" + FormatKeyValues(values, ManifestPath()));
}

FarmManifest FarmFolder::ReadManifest() const
{
    const std::string path = ManifestPath();
    const KeyValues values = ParseKeyValues(ReadTextFile(path));
    FarmManifest manifest;
    manifest.program = ValueOf(values, "program");
    manifest.workdir = ValueOf(values, "workdir");
    manifest.input = ValueOf(values, "input");
    manifest.output = ValueOf(values, "output");
    manifest.frames = FramesIn(ValueOf(values, "frames"), path);
    manifest.rangeFirst = IntegerOf(values, "range-first", path);
    manifest.rangeLast = IntegerOf(values, "range-last", path);
    manifest.chunk = IntegerOf(values, "chunk", path);
    manifest.retries = IntegerOf(values, "retries", path);
    manifest.maxParallel = IntegerOf(values, "max-parallel", path);
    for (const auto& [key, value] : values) {
        if (key == "render")
            manifest.renderWords.push_back(value);
        else if (key == "sbatch")
            manifest.sbatchOptions.push_back(value);
    }
    if (manifest.program.empty() || manifest.input.empty() || manifest.output.empty() || manifest.frames.empty() ||
        manifest.chunk < 1)
        throw Failure(path, "not a complete farm manifest");
    return manifest;
}

std::vector<Submission> FarmFolder::ReadSubmissions(int chunkSize) const
{
    std::vector<Submission> submissions;
    for (const std::string& name : FolderEntries(path_ + "/submissions")) {
        const std::string path = path_ + "/submissions/" + name;
        const KeyValues values = ParseKeyValues(ReadTextFile(path));
        Submission submission = MakeSubmission(IntegerOf(values, "submission", path),
                                               FramesIn(ValueOf(values, "frames"), path), chunkSize);
        submission.arrayJob = ValueOf(values, "array-job");
        submission.reportJob = ValueOf(values, "report-job");
        submissions.push_back(std::move(submission));
    }
    std::sort(submissions.begin(), submissions.end(),
              [](const Submission& a, const Submission& b) { return a.index < b.index; });
    return submissions;
}

void FarmFolder::WriteSubmission(const Submission& submission) const
{
    const std::string path = path_ + "/submissions/" + std::to_string(submission.index) + ".txt";
    WriteText(path, FormatKeyValues({{"submission", std::to_string(submission.index)},
                                     {"frames", FrameList::Of(submission.frames).Text()},
                                     {"array-job", submission.arrayJob},
                                     {"report-job", submission.reportJob}},
                                    path));
}

void FarmFolder::RemoveSubmission(int index) const
{
    std::remove((path_ + "/submissions/" + std::to_string(index) + ".txt").c_str());
}

void FarmFolder::Discard() const
{
    if (!FolderEntries(path_ + "/submissions").empty())
        return;
    for (const std::string& file : {ManifestPath(), ParamsPath(), ScriptPath()})
        std::remove(file.c_str());
    for (const char* room : {"/submissions", "/status", "/logs", ""})
        rmdir((path_ + room).c_str());
}

void FarmFolder::WriteRecord(const FrameRecord& record) const
{
    WriteText(path_ + "/status/" + std::to_string(record.frame) + ".txt", FormatRecord(record));
}

std::vector<FrameRecord> FarmFolder::ReadRecords() const
{
    std::vector<FrameRecord> records;
    for (const std::string& name : FolderEntries(path_ + "/status")) {
        const std::string path = path_ + "/status/" + name;
        records.push_back(ParseRecord(ReadTextFile(path), path));
    }
    std::sort(records.begin(), records.end(),
              [](const FrameRecord& a, const FrameRecord& b) { return a.frame < b.frame; });
    return records;
}
