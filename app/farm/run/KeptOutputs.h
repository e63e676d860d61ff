// `--keep-existing`: which outputs of a new run may stand as they are. An
// output is kept only when it is still the file an earlier run of the same
// shot (the same input, output and range) wrote with the same parameter
// block and settings, from the input file as it is now; an output whose
// input has changed since is rendered again, and any other output that
// exists makes the submission refuse, so that a changed turn never passes
// old frames off as its own.
#pragma once

#include <string>
#include <vector>

#include "farm/run/FarmFolder.h"
#include "farm/run/RunState.h"
#include "files/ParamFile.h"

// An earlier run of the output folder, as its folder holds it.
struct EarlierRun {
    std::string name;
    FarmManifest manifest;
    ParamBlock block{};
    std::vector<FrameRecord> records;  // its whole records
};

struct KeptOutputs {
    // The new run's records of the frames kept, naming the run that
    // rendered each.
    std::vector<FrameRecord> kept;
    // Frames an earlier run rendered from an input that has changed since:
    // rendered again.
    std::vector<int> inputChanged;
    // Frames whose outputs exist but cannot be kept, and why, in words,
    // for the first of them.
    std::vector<int> unproven;
    std::string why;
};

// True when the frame of the ok record `record` is still what its run
// rendered: its output the file the record names, from the input it names.
bool StillAsRendered(const FrameRecord& record, const std::optional<FileIdentity>& outputNow,
                     const std::optional<FileIdentity>& inputNow);

// Of the frames of `manifest` whose outputs exist (`outputNow`), those
// that the latest matching run among `runs` (oldest first) wrote and that
// are unchanged since, inputs (`inputNow`) included; the rest in
// `inputChanged` or `unproven`.
KeptOutputs FindKeptOutputs(const FarmManifest& manifest, const ParamBlock& block, const std::vector<EarlierRun>& runs,
                            const FileLookup& outputNow, const FileLookup& inputNow);
