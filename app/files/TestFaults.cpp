#include "files/TestFaults.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>

#include "messages/Failure.h"
#include "sequence/ParseInteger.h"

namespace {

// The value of `name` as a whole number from `low` up, or `unset` when the
// variable is not there; a malformed value fails every write, rather than
// letting a test pass without its fault.
long long NumberFrom(const char* name, long long low, long long unset)
{
    const char* text = std::getenv(name);
    if (!text)
        return unset;
    const auto value = ParseInteger(text, low, LLONG_MAX);
    if (!value)
        throw FileError(name, std::string("bad value '") + text + "' (expected a whole number)");
    return *value;
}

}  // namespace

std::size_t SimulatedDiskBytes()
{
    static const long long limit = NumberFrom("VELDRA_TEST_DISK_BYTES", 0, -1);
    return limit < 0 ? SIZE_MAX : static_cast<std::size_t>(limit);
}

bool InjectedFailure(const std::string& step)
{
    static const std::string steps = [] {
        const char* text = std::getenv("VELDRA_TEST_FAIL");
        return text ? "," + std::string(text) + "," : std::string();
    }();
    return steps.find("," + step + ",") != std::string::npos;
}

void StallWhenAsked(const std::string& path)
{
    static const long long stall = NumberFrom("VELDRA_TEST_STALL_WRITE", 0, 0);
    static const char* const until = std::getenv("VELDRA_TEST_STALL_UNTIL");
    static const std::string only = std::getenv("VELDRA_TEST_STALL_ONLY") ? std::getenv("VELDRA_TEST_STALL_ONLY") : "";
    const bool chosen = path.size() >= only.size() && path.compare(path.size() - only.size(), only.size(), only) == 0;
    if (!chosen)
        return;
    timespec left{static_cast<std::time_t>(stall), 0};
    while (stall > 0 && nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
    struct stat info {};
    while (until && stat(until, &info) != 0) {
        timespec poll{0, 10000000};
        nanosleep(&poll, nullptr);
    }
}

long long PredictableNameNumber()
{
    static const bool predictable = NumberFrom("VELDRA_TEST_PREDICTABLE_NAMES", 0, 0) != 0;
    static std::atomic<long long> next{0};
    return predictable ? next++ : -1;
}
