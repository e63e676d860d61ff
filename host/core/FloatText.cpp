#include "core/FloatText.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string FormatFloat(float value)
{
    char text[32];
    // Nine significant digits always round-trip a float; fewer usually do
    // and read better.
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value)
            break;
    }
    return text;
}

bool ParseFloat(const char* text, float* value)
{
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (end == text)
        return false;
    while (std::isspace(static_cast<unsigned char>(*end)))
        ++end;
    if (*end != '\0' || !std::isfinite(parsed) || std::fabs(parsed) > 3.4028234663852886e38)
        return false;
    *value = static_cast<float>(parsed);
    return true;
}
