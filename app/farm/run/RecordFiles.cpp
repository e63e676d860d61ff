#include "farm/run/RecordFiles.h"

#include <algorithm>
#include <climits>
#include <tuple>

#include "farm/run/FarmFolder.h"
#include "farm/run/RunFiles.h"
#include "files/Folders.h"
#include "files/WholeFile.h"
#include "messages/Failure.h"
#include "sequence/ParseInteger.h"

namespace {

void WriteRecordText(const std::string& path, const std::string& text)
{
    ReplaceFileContents(path, text.data(), text.size(), WriteAs::PrivateRecord);
}

// The name of a task record: J_T.txt, J_T-R.txt for its R-th start again.
std::string TaskRecordName(const TaskRecord& record)
{
    return record.job + "_" + record.task + (record.restart > 0 ? "-" + std::to_string(record.restart) : "") + ".txt";
}

}  // namespace

void FarmFolder::WriteRecord(const FrameRecord& record) const
{
    WriteRecordText(RecordPath(record.frame), FormatRecord(record, Name()));
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
    for (const std::string& name : NamesInFolder(path_ + "/status")) {
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

void FarmFolder::WriteTaskRecord(const TaskRecord& record) const
{
    // Each start of a task has a file of its own: one started again while
    // the first still runs on a lost node never writes over the other.
    WriteRecordText(path_ + "/tasks/" + TaskRecordName(record), FormatTaskRecord(record));
}

std::vector<TaskRecord> FarmFolder::ReadTaskRecords(std::vector<std::string>* notes) const
{
    std::vector<std::tuple<std::string, long long, int, TaskRecord>> sorted;
    for (const std::string& name : NamesInFolder(path_ + "/tasks")) {
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
