#include "farm/run/FarmFolder.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <tuple>
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
    ReplaceFileContents(path, text.data(), text.size(), WriteAs::PrivateRecord);
}

// The number N of a room's file named "N.txt" (as the run writes them:
// no sign but '-', no leading zeros), or nothing for another name.
std::optional<int> NumberOfName(const std::string& name)
{
    if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".txt") != 0)
        return std::nullopt;
    const auto number = ParseInteger(name.substr(0, name.size() - 4), INT_MIN, INT_MAX);
    if (!number || std::to_string(*number) + ".txt" != name)
        return std::nullopt;
    return static_cast<int>(*number);
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

std::string ReadRunFile(const std::string& path, std::size_t limit)
{
    const std::string text = ReadFileHead(path, limit + 1, Links::Refuse);
    if (text.size() > limit)
        throw FileError(path, "longer than a farm run's file can be (" + std::to_string(limit) + " bytes)");
    return text;
}

void CheckOwnPath(const std::string& path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        throw Failure(path, std::strerror(errno));
    const uid_t user = geteuid();
    const auto ownedByUser = [&](const struct stat& what) {
        if (what.st_uid != user)
            throw Failure(path, "belongs to uid " + std::to_string(what.st_uid) + ", not to you (uid " +
                                    std::to_string(user) + "): veldra farm acts only on your own runs");
    };
    ownedByUser(info);
    if (S_ISLNK(info.st_mode)) {
        if (stat(path.c_str(), &info) != 0)
            throw Failure(path, std::strerror(errno));
        ownedByUser(info);
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        throw Failure(path, std::string("others can write to it (mode ") + mode +
                                "): veldra farm acts only on runs no one else can change");
    }
}

std::string FarmFolder::Name() const { return path_.substr(path_.rfind('/') + 1); }

std::string FarmFolder::OutputFolder() const
{
    const std::string farms = path_.substr(0, path_.rfind('/'));
    const std::size_t slash = farms.rfind('/');
    return slash == 0 ? "/" : farms.substr(0, slash);
}

void FarmFolder::CheckTrusted() const
{
    CheckOwnPath(path_.substr(0, path_.rfind('/')));
    CheckOwnPath(path_);
    for (const char* room : {"/submissions", "/status", "/logs", "/tasks"}) {
        if (PathExists(path_ + room))
            CheckOwnPath(path_ + room);
    }
    for (const std::string& file : {ManifestPath(), ParamsPath(), ScriptPath()}) {
        if (PathExists(file))
            CheckOwnPath(file);
    }
}

std::string FarmFolder::FarmsFolder(const std::string& outputFolder)
{
    const std::string farms = AbsolutePath(outputFolder) + "/" + FarmFolderName;
    MakeFolder(farms);
    CheckOwnPath(farms);
    return farms;
}

FarmFolder FarmFolder::Create(const std::string& outputFolder)
{
    const std::string farms = FarmsFolder(outputFolder);
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    for (int sequence = 1;; ++sequence) {
        const std::string path = farms + "/" + stamp + (sequence > 1 ? "-" + std::to_string(sequence) : "");
        if (mkdir(path.c_str(), 0755) == 0) {
            const FarmFolder folder(path);
            for (const char* room : {"/submissions", "/status", "/tasks", "/logs"})
                MakeFolder(path + room);
            return folder;
        }
        if (errno != EEXIST)
            throw Failure(path, std::string("cannot make the farm folder: ") + std::strerror(errno));
    }
}

FarmFolder FarmFolder::Find(const std::string& dir)
{
    std::optional<FarmFolder> found;
    if (IsFile(dir + "/manifest.txt")) {
        found = FarmFolder(AbsolutePath(dir));
    } else {
        const std::string farms = dir + "/" + FarmFolderName;
        if (access(farms.c_str(), F_OK) == 0) {
            const auto latest = LatestRun(FolderEntries(farms));
            if (latest && IsFile(farms + "/" + *latest + "/manifest.txt"))
                found = FarmFolder(AbsolutePath(farms + "/" + *latest));
        }
    }
    if (!found)
        throw Failure(dir, "no farm run here (give a run's farm folder or the output folder of a run)");
    found->CheckTrusted();
    return *found;
}

std::vector<FarmFolder> FarmFolder::AllRuns(const std::string& outputFolder, std::vector<std::string>& strangers)
{
    const std::string farms = outputFolder + "/" + FarmFolderName;
    if (access(farms.c_str(), F_OK) != 0)
        return {};
    CheckOwnPath(farms);
    std::vector<std::pair<std::pair<std::string, long>, std::string>> named;
    for (const std::string& name : FolderEntries(farms)) {
        if (const auto order = RunOrder(name); order && IsFile(farms + "/" + name + "/manifest.txt"))
            named.emplace_back(*order, name);
    }
    std::sort(named.begin(), named.end());
    std::vector<FarmFolder> runs;
    for (const auto& [order, name] : named) {
        const FarmFolder run(AbsolutePath(farms + "/" + name));
        try {
            run.CheckTrusted();
            runs.push_back(run);
        } catch (const Failure& failure) {
            strangers.push_back(failure.what());
        }
    }
    return runs;
}

std::vector<FarmFolder> FarmFolder::LatestOfEachShot(const std::string& dir, std::vector<std::string>& notes)
{
    if (IsFile(dir + "/manifest.txt"))
        return {Find(dir)};
    std::vector<std::string> strangers;
    const std::vector<FarmFolder> runs = AllRuns(dir, strangers);
    std::map<std::string, std::size_t> latestOfShot;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        try {
            const std::string output = runs[i].ReadManifest().output;
            latestOfShot[output.substr(output.rfind('/') + 1)] = i;
        } catch (const Failure& failure) {
            notes.push_back("left out " + std::string(failure.what()));
        }
    }
    if (latestOfShot.empty()) {
        if (!strangers.empty())
            throw Failure(strangers.front());
        throw Failure(dir, "no farm run here (give a run's farm folder or the output folder of a run)");
    }
    for (const std::string& stranger : strangers)
        notes.push_back("left alone: " + stranger);
    std::vector<std::size_t> chosen;
    for (const auto& [shot, index] : latestOfShot)
        chosen.push_back(index);
    std::sort(chosen.begin(), chosen.end());
    std::vector<FarmFolder> latest;
    for (const std::size_t index : chosen)
        latest.push_back(runs[index]);
    return latest;
}

std::string TaskLogPath(const std::string& runPath, const std::string& job, const std::string& task)
{
    return runPath + "/logs/" + job + "_" + task + ".log";
}

std::string FarmFolder::LogPath(const std::string& job, const std::string& task) const
{
    return TaskLogPath(path_, job, task);
}

std::string FarmFolder::ReportLogPath(const std::string& job) const { return path_ + "/logs/report-" + job + ".log"; }

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
        {"settings", manifest.settings},
    };
    for (const std::string& word : manifest.renderWords)
        values.emplace_back("render", word);
    for (const std::string& word : manifest.sbatchOptions)
        values.emplace_back("sbatch", word);
    WriteText(ManifestPath(), "# veldra farm run\n" + FormatKeyValues(values, ManifestPath()));
}

std::string Against(const std::string& folder, const std::string& path)
{
    return path.empty() || path[0] == '/' ? path : folder + "/" + path;
}

FarmManifest FarmFolder::ReadManifest() const
{
    const std::string path = ManifestPath();
    const KeyValues values = ParseKeyValues(ReadRunFile(path));
    FarmManifest manifest;
    manifest.program = ValueOf(values, "program");
    manifest.workdir = ValueOf(values, "workdir");
    manifest.input = Against(manifest.workdir, ValueOf(values, "input"));
    manifest.output = Against(manifest.workdir, ValueOf(values, "output"));
    manifest.frames = FramesIn(ValueOf(values, "frames"), path);
    manifest.rangeFirst = IntegerOf(values, "range-first", path);
    manifest.rangeLast = IntegerOf(values, "range-last", path);
    manifest.chunk = IntegerOf(values, "chunk", path);
    manifest.retries = IntegerOf(values, "retries", path);
    manifest.maxParallel = IntegerOf(values, "max-parallel", path);
    manifest.settings = ValueOf(values, "settings");
    for (const auto& [key, value] : values) {
        if (key == "render")
            manifest.renderWords.push_back(value);
        else if (key == "sbatch")
            manifest.sbatchOptions.push_back(value);
    }
    if (manifest.program.empty() || manifest.workdir.empty() || manifest.input.empty() || manifest.output.empty() ||
        manifest.frames.empty() || manifest.chunk < 1)
        throw Failure(path, "not a complete farm manifest");
    return manifest;
}

FarmManifest FarmFolder::ReadManifestWhereFound(std::string& rendersInto) const
{
    FarmManifest manifest = ReadManifest();
    const std::size_t slash = manifest.output.rfind('/');
    const std::string submitted = manifest.output.substr(0, slash);
    // A run that renders into its own frames/ is where it was submitted
    // when its run folder is: the frames themselves are gone once encoded.
    const std::string ownFrames = "/" + Name() + "/frames";
    const bool intoOwnFrames = submitted.size() > ownFrames.size() &&
                               submitted.compare(submitted.size() - ownFrames.size(), ownFrames.size(), ownFrames) == 0;
    const std::string submittedFolder = intoOwnFrames ? submitted.substr(0, submitted.size() - std::strlen("/frames"))
                                                      : submitted;
    rendersInto.clear();
    if (!SameFile(submittedFolder.empty() ? "/" : submittedFolder, intoOwnFrames ? path_ : OutputFolder())) {
        rendersInto = submitted;
        manifest.output = (intoOwnFrames ? FramesPath() : OutputFolder()) + manifest.output.substr(slash);
    }
    return manifest;
}

std::vector<Submission> FarmFolder::ReadSubmissions(int chunkSize, std::vector<std::string>* notes) const
{
    std::vector<Submission> submissions;
    for (const std::string& name : FolderEntries(path_ + "/submissions")) {
        const std::string path = path_ + "/submissions/" + name;
        const auto index = NumberOfName(name);
        if (!index || *index < 0) {
            if (notes)
                notes->push_back("ignored " + path + ": no submission of the run");
            continue;
        }
        CheckOwnPath(path);
        const KeyValues values = ParseKeyValues(ReadRunFile(path));
        if (IntegerOf(values, "submission", path) != *index)
            throw Failure(path, "damaged: it is not the file of submission " + std::to_string(*index));
        Submission submission = MakeSubmission(*index, FramesIn(ValueOf(values, "frames"), path), chunkSize);
        submission.arrayJob = ValueOf(values, "array-job");
        submission.reportJob = ValueOf(values, "report-job");
        if (ValueOf(values, "options") == "own") {
            submission.retries = IntegerOf(values, "retries", path);
            submission.sbatchOptions.emplace();
            for (const auto& [key, value] : values) {
                if (key == "sbatch")
                    submission.sbatchOptions->push_back(value);
            }
        }
        submissions.push_back(std::move(submission));
    }
    std::sort(submissions.begin(), submissions.end(),
              [](const Submission& a, const Submission& b) { return a.index < b.index; });
    return submissions;
}

namespace {

std::string SubmissionText(const Submission& submission, const std::string& path)
{
    KeyValues values = {{"submission", std::to_string(submission.index)},
                        {"frames", FrameList::Of(submission.frames).Text()},
                        {"array-job", submission.arrayJob},
                        {"report-job", submission.reportJob}};
    if (submission.retries && submission.sbatchOptions) {
        values.emplace_back("options", "own");
        values.emplace_back("retries", std::to_string(*submission.retries));
        for (const std::string& word : *submission.sbatchOptions)
            values.emplace_back("sbatch", word);
    }
    return FormatKeyValues(values, path);
}

}  // namespace

void FarmFolder::AddSubmission(const Submission& submission) const
{
    const std::string path = path_ + "/submissions/" + std::to_string(submission.index) + ".txt";
    const std::string text = SubmissionText(submission, path);
    WriteNewFile(path, text.data(), text.size());
}

void FarmFolder::WriteSubmission(const Submission& submission) const
{
    const std::string path = path_ + "/submissions/" + std::to_string(submission.index) + ".txt";
    WriteText(path, SubmissionText(submission, path));
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
    for (const char* room : {"/submissions", "/status", "/tasks", "/logs", ""})
        rmdir((path_ + room).c_str());
}

void FarmFolder::WriteRecord(const FrameRecord& record) const
{
    WriteText(RecordPath(record.frame), FormatRecord(record, Name()));
}

std::optional<FrameRecord> FarmFolder::ReadRecord(int frame, std::string* why) const
{
    const std::string path = RecordPath(frame);
    if (!PathExists(path))
        return std::nullopt;
    try {
        return ParseRecord(ReadRunFile(path, kMostRecordBytes), path, frame, Name());
    } catch (const Failure& failure) {
        if (why)
            *why = failure.what();
        return std::nullopt;
    }
}

RunRecords FarmFolder::ReadRecords(const std::vector<int>& frames) const
{
    RunRecords found;
    for (const std::string& name : FolderEntries(path_ + "/status")) {
        const auto frame = NumberOfName(name);
        if (!frame || !std::binary_search(frames.begin(), frames.end(), *frame)) {
            found.strays.push_back(name);
            continue;
        }
        std::string why;
        if (auto record = ReadRecord(*frame, &why))
            found.records.push_back(std::move(*record));
        else
            found.damaged.push_back({*frame, why});
    }
    std::sort(found.records.begin(), found.records.end(),
              [](const FrameRecord& a, const FrameRecord& b) { return a.frame < b.frame; });
    std::sort(found.damaged.begin(), found.damaged.end(),
              [](const DamagedRecord& a, const DamagedRecord& b) { return a.frame < b.frame; });
    return found;
}

namespace {

// The name of a task record: J_T.txt, J_T-R.txt for its R-th start again.
std::string TaskRecordName(const TaskRecord& record)
{
    return record.job + "_" + record.task + (record.restart > 0 ? "-" + std::to_string(record.restart) : "") + ".txt";
}

}  // namespace

void FarmFolder::WriteTaskRecord(const TaskRecord& record) const
{
    // Runs made before tasks kept records have no room for them yet.
    MakeFolder(path_ + "/tasks");
    // Each start of a task has a file of its own: one started again while
    // the first still runs on a lost node never writes over the other.
    WriteText(path_ + "/tasks/" + TaskRecordName(record), FormatTaskRecord(record));
}

std::vector<TaskRecord> FarmFolder::ReadTaskRecords(std::vector<std::string>* notes) const
{
    std::vector<std::tuple<std::string, long long, int, TaskRecord>> sorted;
    // Runs made before tasks kept records have no room for them.
    if (!PathExists(path_ + "/tasks"))
        return {};
    for (const std::string& name : FolderEntries(path_ + "/tasks")) {
        const std::string path = path_ + "/tasks/" + name;
        try {
            TaskRecord record = ParseTaskRecord(ReadRunFile(path, kMostRecordBytes), path);
            const auto task = ParseInteger(record.task, 0, INT_MAX);
            if (!task || name != TaskRecordName(record))
                throw Failure(path, "not the record of the task its name says");
            sorted.emplace_back(record.job, *task, record.restart, std::move(record));
        } catch (const Failure& failure) {
            if (notes)
                notes->push_back("ignored " + std::string(failure.what()));
        }
    }
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(a), std::get<1>(a), std::get<2>(a)) <
               std::tie(std::get<0>(b), std::get<1>(b), std::get<2>(b));
    });
    std::vector<TaskRecord> records;
    for (auto& entry : sorted)
        records.push_back(std::move(std::get<3>(entry)));
    return records;
}
