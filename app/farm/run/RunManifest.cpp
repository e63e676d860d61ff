#include "farm/run/RunManifest.h"

#include <cstring>

#include "farm/run/FarmFolder.h"
#include "farm/run/KeyValues.h"
#include "farm/run/RunFiles.h"
#include "files/WholeFile.h"
#include "messages/Failure.h"

std::vector<int> FramesInRunFile(const std::string& text, const std::string& path)
{
    return text.empty() ? std::vector<int>{} : FramesOfRun(FrameList::Parse(path, text), path);
}

std::string FormatManifest(const FarmManifest& manifest, const std::string& path)
{
    KeyValues values = {
        {"run-format", std::to_string(kRunFormat)},
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
    return "# veldra farm run\n" + FormatKeyValues(values, path);
}

FarmManifest ParseManifest(const std::string& text, const std::string& path, const std::string& run)
{
    const KeyValues values = ParseKeyValues(text);
    const std::string format = ValueOf(values, "run-format");
    if (format != std::to_string(kRunFormat))
        throw Failure(run, "a farm run of another format (" + (format.empty() ? "none" : format) +
                               "; this veldra reads format " + std::to_string(kRunFormat) + "): submit the shot again");
    FarmManifest manifest;
    manifest.program = ValueOf(values, "program");
    manifest.workdir = ValueOf(values, "workdir");
    manifest.input = ValueOf(values, "input");
    manifest.output = ValueOf(values, "output");
    manifest.frames = FramesInRunFile(ValueOf(values, "frames"), path);
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
    const auto absolute = [](const std::string& where) { return !where.empty() && where[0] == '/'; };
    if (!absolute(manifest.program) || !absolute(manifest.workdir) || !absolute(manifest.input) ||
        !absolute(manifest.output) || manifest.frames.empty() || manifest.chunk < 1)
        throw Failure(path, "not a complete farm manifest");
    return manifest;
}

void FarmFolder::WriteManifest(const FarmManifest& manifest) const
{
    const std::string text = FormatManifest(manifest, ManifestPath());
    ReplaceFileContents(ManifestPath(), text.data(), text.size(), WriteAs::PrivateRecord);
}

FarmManifest FarmFolder::ReadManifest() const
{
    return ParseManifest(ReadRunFile(ManifestPath()), ManifestPath(), path_);
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
