#include "farm/run/Records.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>

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

// A whole number that may be missing (records from before it was kept): 0.
int CountOf(const KeyValues& values, const std::string& key, const std::string& what)
{
    return ValueOf(values, key).empty() ? 0 : IntegerOf(values, key, what);
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

std::optional<OutputStamp> StampOf(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return OutputStamp{static_cast<std::uint64_t>(info.st_size),
                       static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

std::string FormatRecord(const FrameRecord& record)
{
    KeyValues values = {{"frame", std::to_string(record.frame)},
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
    if (record.output) {
        values.emplace_back("output-size", std::to_string(record.output->size));
        values.emplace_back("output-mtime", MtimeText(record.output->mtimeNs));
    }
    return FormatKeyValues(values, "frame " + std::to_string(record.frame));
}

FrameRecord ParseRecord(const std::string& text, const std::string& what)
{
    const KeyValues values = ParseKeyValues(text);
    FrameRecord record;
    record.frame = IntegerOf(values, "frame", what);
    const std::string state = ValueOf(values, "state");
    if (state != "ok" && state != "failed" && state != "rendering")
        throw Failure(what, "bad or missing state '" + state + "'");
    record.ok = state == "ok";
    record.rendering = state == "rendering";
    record.attempts = IntegerOf(values, "attempts", what);
    record.host = ValueOf(values, "host");
    record.node = ValueOf(values, "node");
    record.job = ValueOf(values, "job");
    record.task = ValueOf(values, "task");
    record.restart = CountOf(values, "restart", what);
    record.log = ValueOf(values, "log");
    record.message = ValueOf(values, "message");
    record.started = SecondsOf(ValueOf(values, "started"));
    record.ended = SecondsOf(ValueOf(values, "ended"));
    const std::string size = ValueOf(values, "output-size");
    if (!size.empty()) {
        const auto bytes = ParseInteger(size, 0, LLONG_MAX);
        const auto mtime = MtimeOf(ValueOf(values, "output-mtime"));
        if (!bytes || !mtime)
            throw Failure(what, "bad output-size or output-mtime");
        record.output = OutputStamp{static_cast<std::uint64_t>(*bytes), *mtime};
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
    record.restart = CountOf(values, "restart", what);
    record.started = SecondsOf(ValueOf(values, "started"));
    record.endedAt = SecondsOf(ValueOf(values, "ended"));
    const std::string state = ValueOf(values, "state");
    if (record.job.empty() || record.task.empty() || (state != "running" && state != "ended"))
        throw Failure(what, "not a task record");
    record.ended = state == "ended";
    record.ending = ValueOf(values, "ending");
    return record;
}
