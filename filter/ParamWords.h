// The words for the axis and pivot codes, as the programs show and take
// them (command-line values, file names, labels): x, y, z and lower,
// center, upper, in code order.
#pragma once

#include <cstdint>

#include "filter/RotationParams.h"

struct AxisWord {
    AxisCode code;
    const char* word;
};

struct PivotWord {
    PivotCode code;
    const char* word;
};

constexpr AxisWord kAxisWords[] = {{AxisX, "x"}, {AxisY, "y"}, {AxisZ, "z"}};
constexpr PivotWord kPivotWords[] = {{PivotLower, "lower"}, {PivotCenter, "center"}, {PivotUpper, "upper"}};

// The word for a stored code, or null for a code that is none of the three.
constexpr const char* AxisWordOf(std::int32_t code)
{
    for (const AxisWord& axis : kAxisWords)
        if (axis.code == code)
            return axis.word;
    return nullptr;
}

constexpr const char* PivotWordOf(std::int32_t code)
{
    for (const PivotWord& pivot : kPivotWords)
        if (pivot.code == code)
            return pivot.word;
    return nullptr;
}
