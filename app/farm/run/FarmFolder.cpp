// The run folder: where it is, how it is made and found, whether it is the
// user's own, and its paths. Its files are read and written by the
// manifest's, submissions' and records' own files (RunManifest.cpp,
// Submissions.cpp, RecordFiles.cpp).
#include "farm/run/FarmFolder.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <unistd.h>

#include "farm/run/RunFiles.h"
#include "farm/run/RunNames.h"
#include "files/Folders.h"
#include "files/PathParts.h"
#include "files/WholeFile.h"
#include "messages/Failure.h"

namespace {

const char* const FarmFolderName = ".veldra-farm";
const char* const kRooms[] = {"/submissions", "/status", "/tasks", "/logs"};

// A run's folder as its output folder holds it: the output folder resolved,
// the farm folder and the run as they stand, so that a farm folder that is
// the user's own link to another disk still belongs to the output folder it
// stands in.
std::string RunPath(const std::string& outputFolder, const std::string& name)
{
    return ResolvedPath(outputFolder) + "/" + FarmFolderName + "/" + name;
}

// The same for a run's folder named itself, when it is named through an
// output folder's farm folder; any other path is resolved whole.
std::string RunPathOf(const std::string& dir)
{
    const std::filesystem::path lexical = std::filesystem::absolute(dir).lexically_normal();
    const std::filesystem::path run = lexical.has_filename() ? lexical : lexical.parent_path();
    if (run.parent_path().filename() != FarmFolderName)
        return ResolvedPath(dir);
    return RunPath(run.parent_path().parent_path().string(), run.filename().string());
}

}  // namespace

std::string FarmFolder::Name() const { return NameOf(path_); }

std::string FarmFolder::OutputFolder() const { return FolderOf(FolderOf(path_)); }

void FarmFolder::CheckTrusted() const
{
    CheckOwnPath(FolderOf(path_));
    CheckOwnPath(path_);
    for (const char* room : kRooms) {
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
    const std::string farms = ResolvedPath(outputFolder) + "/" + FarmFolderName;
    EnsureFolder(farms);
    CheckOwnPath(farms);
    return farms;
}

FarmFolder FarmFolder::Create(const std::string& outputFolder)
{
    const std::string farms = FarmsFolder(outputFolder);
    const std::time_t now = std::time(nullptr);
    for (int sequence = 1;; ++sequence) {
        const std::string path = farms + "/" + RunNameAt(now, sequence);
        if (MakeNewFolder(path)) {
            const FarmFolder folder(path);
            for (const char* room : kRooms)
                EnsureFolder(path + room);
            return folder;
        }
    }
}

FarmFolder FarmFolder::Find(const std::string& dir)
{
    std::optional<FarmFolder> found;
    if (IsRegularFile(dir + "/manifest.txt")) {
        found = FarmFolder(RunPathOf(dir));
    } else {
        const std::string farms = dir + "/" + FarmFolderName;
        if (PathExists(farms)) {
            const auto latest = LatestRun(NamesInFolder(farms));
            if (latest && IsRegularFile(farms + "/" + *latest + "/manifest.txt"))
                found = FarmFolder(RunPath(dir, *latest));
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
    if (!PathExists(farms))
        return {};
    CheckOwnPath(farms);
    std::vector<std::pair<std::pair<std::time_t, long>, std::string>> named;
    for (const std::string& name : NamesInFolder(farms)) {
        if (const auto order = ReadRunName(name); order && IsRegularFile(farms + "/" + name + "/manifest.txt"))
            named.emplace_back(*order, name);
    }
    std::sort(named.begin(), named.end());
    std::vector<FarmFolder> runs;
    for (const auto& [order, name] : named) {
        const FarmFolder run(RunPath(outputFolder, name));
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
    if (IsRegularFile(dir + "/manifest.txt"))
        return {Find(dir)};
    std::vector<std::string> strangers;
    const std::vector<FarmFolder> runs = AllRuns(dir, strangers);
    std::map<std::string, std::size_t> latestOfShot;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        try {
            latestOfShot[NameOf(runs[i].ReadManifest().output)] = i;
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

void FarmFolder::Discard() const
{
    if (!NamesInFolder(path_ + "/submissions").empty())
        return;
    for (const std::string& file : {ManifestPath(), ParamsPath(), ScriptPath()})
        std::remove(file.c_str());
    for (const char* room : kRooms)
        rmdir((path_ + room).c_str());
    rmdir(path_.c_str());
}
