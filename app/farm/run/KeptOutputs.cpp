#include "farm/run/KeptOutputs.h"

#include <map>

namespace {

// What makes `run` unlike the new one, or "" when it is the same shot with
// the same block and settings.
std::string Difference(const FarmManifest& manifest, const ParamBlock& block, const EarlierRun& run)
{
    const FarmManifest& earlier = run.manifest;
    if (earlier.input != manifest.input)
        return "another input";
    if (earlier.rangeFirst != manifest.rangeFirst || earlier.rangeLast != manifest.rangeLast)
        return "another range";
    if (run.block != block)
        return "another parameter block";
    if (earlier.settings.empty() || earlier.settings != manifest.settings)
        return "other settings";
    return "";
}

}  // namespace

bool StillAsRendered(const FrameRecord& record, const std::optional<FileIdentity>& outputNow,
                     const std::optional<FileIdentity>& inputNow)
{
    return record.ok && outputNow && outputNow == record.output && inputNow && inputNow == record.input;
}

KeptOutputs FindKeptOutputs(const FarmManifest& manifest, const ParamBlock& block, const std::vector<EarlierRun>& runs,
                            const FileLookup& outputNow, const FileLookup& inputNow)
{
    // For each frame, the latest run of this output that recorded it done.
    std::map<int, std::pair<const EarlierRun*, const FrameRecord*>> latest;
    for (const EarlierRun& run : runs) {
        if (run.manifest.output != manifest.output)
            continue;
        for (const FrameRecord& record : run.records) {
            if (record.ok)
                latest[record.frame] = {&run, &record};
        }
    }
    KeptOutputs result;
    for (const int frame : manifest.frames) {
        const auto now = outputNow(frame);
        if (!now)
            continue;
        const auto found = latest.find(frame);
        std::string why = "no farm run of this output wrote it";
        if (found != latest.end()) {
            const auto& [run, record] = found->second;
            why = Difference(manifest, block, *run);
            if (why.empty() && now != record->output)
                why = "it is not the file run " + run->name + " wrote (replaced since)";
            else if (!why.empty())
                why = "run " + run->name + " rendered it with " + why;
            if (why.empty() && !StillAsRendered(*record, now, inputNow(frame))) {
                result.inputChanged.push_back(frame);
                continue;
            }
            if (why.empty()) {
                FrameRecord kept = *record;
                kept.message = "kept from run " + run->name;
                result.kept.push_back(kept);
                continue;
            }
        }
        if (result.unproven.empty())
            result.why = why;
        result.unproven.push_back(frame);
    }
    return result;
}
