#include "farm/run/KeyValues.h"

#include <climits>
#include <sstream>

#include "messages/Failure.h"
#include "sequence/ParseInteger.h"

std::string FormatKeyValues(const KeyValues& values, const std::string& what)
{
    std::string text;
    for (const auto& [key, value] : values) {
        if (value.find_first_of("\r\n") != std::string::npos)
            throw Failure(what, key + " '" + value + "' holds a line break");
        text += key + '=' + value + '\n';
    }
    return text;
}

KeyValues ParseKeyValues(const std::string& text)
{
    KeyValues values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos)
            continue;
        values.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
    return values;
}

std::string ValueOf(const KeyValues& values, const std::string& key, const std::string& fallback)
{
    for (auto it = values.rbegin(); it != values.rend(); ++it) {
        if (it->first == key)
            return it->second;
    }
    return fallback;
}

int IntegerOf(const KeyValues& values, const std::string& key, const std::string& what)
{
    const std::string text = ValueOf(values, key);
    const auto value = ParseInteger(text, INT_MIN, INT_MAX);
    if (!value)
        throw Failure(what, "bad or missing " + key + " '" + text + "'");
    return static_cast<int>(*value);
}
