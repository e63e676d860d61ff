#include "core/FloatText.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

std::string FormatFloat(float value)
{
    char text[48];
    // Plain decimals read best ("350", "0.1", "100000000"); the fewest
    // decimals that give the value back exactly.
    if (std::fabs(value) < 1e9f)
        for (int decimals = 0; decimals <= 6; ++decimals) {
            std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(value));
            if (std::strtof(text, nullptr) == value)
                return text;
        }
    // Very large or very small values: nine significant digits always give
    // a float back, fewer usually do.
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
