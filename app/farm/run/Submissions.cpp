#include "farm/run/Submissions.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "farm/run/FarmFolder.h"
#include "farm/run/KeyValues.h"
#include "farm/run/RunFiles.h"
#include "farm/run/RunManifest.h"
#include "files/Folders.h"
#include "files/WholeFile.h"
#include "messages/Failure.h"

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

std::string FarmFolder::SubmissionPath(int index) const
{
    return path_ + "/submissions/" + std::to_string(index) + ".txt";
}

std::vector<Submission> FarmFolder::ReadSubmissions(int chunkSize, std::vector<std::string>* notes) const
{
    std::vector<Submission> submissions;
    for (const std::string& name : NamesInFolder(path_ + "/submissions")) {
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
        Submission submission = MakeSubmission(*index, FramesInRunFile(ValueOf(values, "frames"), path), chunkSize);
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

void FarmFolder::AddSubmission(const Submission& submission) const
{
    const std::string path = SubmissionPath(submission.index);
    const std::string text = SubmissionText(submission, path);
    WriteNewFile(path, text.data(), text.size());
}

void FarmFolder::WriteSubmission(const Submission& submission) const
{
    const std::string path = SubmissionPath(submission.index);
    const std::string text = SubmissionText(submission, path);
    ReplaceFileContents(path, text.data(), text.size(), WriteAs::PrivateRecord);
}

void FarmFolder::RemoveSubmission(int index) const { std::remove(SubmissionPath(index).c_str()); }
