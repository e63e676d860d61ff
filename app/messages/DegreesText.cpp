#include "DegreesText.h"

#include <charconv>

std::string DegreesText(float angle)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, angle).ptr;
    return std::string(text, end);
}
