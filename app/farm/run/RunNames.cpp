#include "farm/run/RunNames.h"

#include <algorithm>

#include "sequence/ParseInteger.h"

namespace {

const char kStampFormat[] = "%Y%m%d-%H%M%S";
constexpr std::size_t kStampLength = 15;

}  // namespace

std::string RunNameAt(std::time_t madeAt, int sequence)
{
    std::tm utc{};
    gmtime_r(&madeAt, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, kStampFormat, &utc);
    return stamp + (sequence > 1 ? "-" + std::to_string(sequence) : "");
}

std::optional<std::pair<std::time_t, long>> ReadRunName(const std::string& name)
{
    const auto digits = [&](std::size_t from, std::size_t count) {
        return name.size() >= from + count && std::all_of(name.begin() + from, name.begin() + from + count,
                                                          [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(0, 8) || name.size() < kStampLength || name[8] != '-' || !digits(9, 6))
        return std::nullopt;
    long sequence = 1;
    if (name.size() > kStampLength) {
        const auto suffix = name[kStampLength] == '-' ? ParseInteger(name.substr(kStampLength + 1), 0, 999999)
                                                      : std::nullopt;
        if (!suffix || !digits(kStampLength + 1, name.size() - kStampLength - 1))
            return std::nullopt;
        sequence = static_cast<long>(*suffix);
    }
    std::tm utc{};
    const std::string stamp = name.substr(0, kStampLength);
    const char* end = strptime(stamp.c_str(), kStampFormat, &utc);
    if (!end || *end != '\0')
        return std::nullopt;
    return std::make_pair(timegm(&utc), sequence);
}

std::optional<std::string> LatestRun(const std::vector<std::string>& names)
{
    std::optional<std::string> latest;
    std::optional<std::pair<std::time_t, long>> latestOrder;
    for (const std::string& name : names) {
        const auto order = ReadRunName(name);
        if (order && (!latestOrder || *order > *latestOrder)) {
            latest = name;
            latestOrder = order;
        }
    }
    return latest;
}

double RunMadeAt(const std::string& name)
{
    const auto order = ReadRunName(name);
    return order ? static_cast<double>(order->first) : 0;
}
