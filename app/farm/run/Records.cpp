#include "farm/run/Records.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "farm/run/KeyValues.h"
#include "messages/Failure.h"
#include "sequence/ParseInteger.h"

namespace {

// Whole seconds, rounded down (a clock set before 1970 gives negative
// times), then the nanoseconds after them, always nine digits.
std::string MtimeText(std::int64_t ns)
{
    std::int64_t seconds = ns / 1000000000, rest = ns % 1000000000;
    if (rest < 0) {
        seconds -= 1;
        rest += 1000000000;
    }
    const std::string nanoseconds = std::to_string(rest);
    return std::to_string(seconds) + "." + std::string(9 - nanoseconds.size(), '0') + nanoseconds;
}

// "seconds.nanoseconds" as written by MtimeText.
std::optional<std::int64_t> MtimeOf(const std::string& text)
{
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos || text.size() - dot - 1 != 9)
        return std::nullopt;
    constexpr long long kMostSeconds = LLONG_MAX / 1000000000 - 1;
    const auto seconds = ParseInteger(text.substr(0, dot), -kMostSeconds, kMostSeconds);
    const auto nanoseconds = ParseInteger(text.substr(dot + 1), 0, 999999999);
    if (!seconds || !nanoseconds)
        return std::nullopt;
    return *seconds * 1000000000 + *nanoseconds;
}

// A whole number from 0 to 2^64 - 1: devices and inodes may use every bit.
std::optional<std::uint64_t> UnsignedOf(const std::string& text)
{
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// The identity's lines, each key after `prefix` ("output-", "input-").
void AddIdentity(KeyValues& values, const std::string& prefix, const FileIdentity& identity)
{
    values.emplace_back(prefix + "device", std::to_string(identity.device));
    values.emplace_back(prefix + "inode", std::to_string(identity.inode));
    values.emplace_back(prefix + "size", std::to_string(identity.size));
    values.emplace_back(prefix + "mtime", MtimeText(identity.mtimeNs));
}

// The identity of the lines AddIdentity writes, or nothing when one is
// missing or malformed.
std::optional<FileIdentity> IdentityIn(const KeyValues& values, const std::string& prefix)
{
    const auto number = [&](const char* key) { return UnsignedOf(ValueOf(values, prefix + key)); };
    const auto device = number("device"), inode = number("inode"), size = number("size");
    const auto mtime = MtimeOf(ValueOf(values, prefix + "mtime"));
    if (!device || !inode || !size || !mtime)
        return std::nullopt;
    return FileIdentity{*device, *inode, *size, *mtime};
}

// Seconds to the millisecond, as records hold times.
std::string SecondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

// A time as SecondsText writes it; 0 for a missing or malformed one (times
// are for people to read, and a record is whole without them).
double SecondsOf(const std::string& text)
{
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && std::isfinite(seconds) ? seconds : 0;
}

// A count from 0 up, or nothing when it is missing or malformed.
std::optional<int> CountOf(const KeyValues& values, const std::string& key)
{
    const auto count = ParseInteger(ValueOf(values, key), 0, INT_MAX);
    return count ? std::optional<int>(static_cast<int>(*count)) : std::nullopt;
}

}  // namespace

double SecondsNow()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec / 1000000) / 1000;
}

std::string UtcTimeText(double seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}

std::string FormatRecord(const FrameRecord& record, const std::string& run)
{
    const std::string frame = std::to_string(record.frame);
    KeyValues values = {{"frame", frame},
                        {"run", run},
                        {"state", record.ok          ? "ok"
                                  : record.rendering ? "rendering"
                                                     : "failed"},
                        {"attempts", std::to_string(record.attempts)},
                        {"host", record.host},
                        {"node", record.node},
                        {"job", record.job},
                        {"task", record.task},
                        {"restart", std::to_string(record.restart)},
                        {"log", record.log},
                        {"message", record.message},
                        {"started", SecondsText(record.started)},
                        {"ended", SecondsText(record.ended)}};
    if (record.ok) {
        if (!record.output || !record.input)
            throw Failure("frame " + frame, "a frame done is recorded with its output and input");
        AddIdentity(values, "output-", *record.output);
        AddIdentity(values, "input-", *record.input);
    }
    values.emplace_back("end", frame);
    return FormatKeyValues(values, "frame " + frame);
}

FrameRecord ParseRecord(const std::string& text, const std::string& what, int frame, const std::string& run)
{
    const KeyValues values = ParseKeyValues(text);
    if (text.empty())
        throw Failure(what, "is empty");
    const std::string named = ValueOf(values, "frame");
    if (!named.empty() && named != std::to_string(frame))
        throw Failure(what, "is the record of frame " + named);
    // Written whole, a record ends with its end line: anything else was
    // cut short, or written by hand.
    const std::string end = "end=" + std::to_string(frame) + "\n";
    if (text.size() < end.size() || text.compare(text.size() - end.size(), end.size(), end) != 0)
        throw Failure(what, "is cut short or garbled (it does not end with " + end.substr(0, end.size() - 1) + ")");
    if (ValueOf(values, "run") != run)
        throw Failure(what, "is the record of another run ('" + ValueOf(values, "run") + "')");
    FrameRecord record;
    record.frame = frame;
    const std::string state = ValueOf(values, "state");
    if (state != "ok" && state != "failed" && state != "rendering")
        throw Failure(what, "has a bad or missing state '" + state + "'");
    record.ok = state == "ok";
    record.rendering = state == "rendering";
    const auto attempts = CountOf(values, "attempts");
    if (!attempts)
        throw Failure(what, "has a bad or missing attempts");
    record.attempts = *attempts;
    record.host = ValueOf(values, "host");
    record.node = ValueOf(values, "node");
    record.job = ValueOf(values, "job");
    record.task = ValueOf(values, "task");
    const auto restart = CountOf(values, "restart");
    if (!restart)
        throw Failure(what, "has a bad or missing restart");
    record.restart = *restart;
    record.log = ValueOf(values, "log");
    record.message = ValueOf(values, "message");
    record.started = SecondsOf(ValueOf(values, "started"));
    record.ended = SecondsOf(ValueOf(values, "ended"));
    if (record.ok) {
        record.output = IdentityIn(values, "output-");
        record.input = IdentityIn(values, "input-");
        if (!record.output || !record.input)
            throw Failure(what, "says the frame is done without its output's and input's identity");
    }
    return record;
}

std::string FormatTaskRecord(const TaskRecord& record)
{
    return FormatKeyValues({{"job", record.job},
                            {"task", record.task},
                            {"restart", std::to_string(record.restart)},
                            {"host", record.host},
                            {"node", record.node},
                            {"state", record.ended ? "ended" : "running"},
                            {"ending", record.ending},
                            {"started", SecondsText(record.started)},
                            {"ended", SecondsText(record.endedAt)}},
                           "task " + record.task + " of job " + record.job);
}

TaskRecord ParseTaskRecord(const std::string& text, const std::string& what)
{
    const KeyValues values = ParseKeyValues(text);
    TaskRecord record;
    record.job = ValueOf(values, "job");
    record.task = ValueOf(values, "task");
    record.host = ValueOf(values, "host");
    record.node = ValueOf(values, "node");
    const auto restart = CountOf(values, "restart");
    record.started = SecondsOf(ValueOf(values, "started"));
    record.endedAt = SecondsOf(ValueOf(values, "ended"));
    const std::string state = ValueOf(values, "state");
    if (record.job.empty() || record.task.empty() || !restart || (state != "running" && state != "ended"))
        throw Failure(what, "not a task record");
    record.restart = *restart;
    record.ended = state == "ended";
    record.ending = ValueOf(values, "ending");
    return record;
}
