// `--keep-existing`: which outputs of a new run may stand as they are. An
// output is kept only when it is still the file an earlier run of the same
// shot (the same input, output and range) wrote with the same parameter
// block and settings; any other output that exists makes the submission
// refuse, so that a changed turn never passes old frames off as its own.
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
    std::vector<FrameRecord> records;
};

struct KeptOutputs {
    // The new run's records of the frames kept, naming the run that
    // rendered each.
    std::vector<FrameRecord> kept;
    // Frames whose outputs exist but cannot be kept, and why, in words,
    // for the first of them.
    std::vector<int> unproven;
    std::string why;
};

// Of the frames of `manifest` whose outputs exist (`outputNow`), those
// that the latest matching run among `runs` (oldest first) wrote and that
// are unchanged since; the rest in `unproven`.
KeptOutputs FindKeptOutputs(const FarmManifest& manifest, const ParamBlock& block, const std::vector<EarlierRun>& runs,
                            const OutputLookup& outputNow);
