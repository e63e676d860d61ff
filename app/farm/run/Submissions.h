// A run's submissions (submissions/N.txt): each sbatch of an array over
// some of the shot's frames, "key=value" lines (farm/run/KeyValues.h):
//
//   submission=N          as in the file's name
//   frames=LIST           the frames it renders
//   array-job=J           "" until sbatch has named it
//   report-job=J          its final job, "" until submitted
//   options=own           when a retry changed them, then:
//   retries=N             further attempts at a failing frame
//   sbatch=WORD           one line a word
#pragma once

#include <optional>
#include <string>
#include <vector>

// One sbatch of an array over some of the shot's frames.
struct Submission {
    int index = 0;
    std::vector<int> frames;
    // The frames cut into consecutive chunks of the run's chunk size (the
    // last possibly shorter): array task i renders chunks[i].
    std::vector<std::vector<int>> chunks;
    std::string arrayJob;   // empty until submitted
    std::string reportJob;  // empty until submitted
    // What a retry changed for this submission; none: the manifest's.
    std::optional<int> retries;
    std::optional<std::vector<std::string>> sbatchOptions;
};

// Submission `index` of `frames` (in increasing order), cut into chunks of
// `chunkSize` (at least 1).
Submission MakeSubmission(int index, std::vector<int> frames, int chunkSize);
