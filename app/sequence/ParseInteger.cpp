#include "sequence/ParseInteger.h"

#include <cerrno>
#include <cstdlib>

std::optional<long long> ParseInteger(const std::string& text, long long low, long long high)
{
    const std::size_t digitsAt = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (text.size() == digitsAt)
        return std::nullopt;
    for (std::size_t i = digitsAt; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || value < low || value > high)
        return std::nullopt;
    return value;
}
