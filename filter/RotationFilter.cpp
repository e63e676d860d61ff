#include "filter/RotationFilter.h"

#include <cstring>

RotationFilter::RotationFilter() : params(kDefaultRotationParams) {}

std::uint32_t RotationFilter::EvaluateConfigure() { return sizeof(RotationParams); }

int RotationFilter::LoadConfigure(void* block)
{
    if (!block)
        return 0;
    std::uint32_t tag;
    std::memcpy(&tag, block, sizeof tag);
    if (tag != params.tag)
        return 0;
    std::memcpy(&params, block, sizeof params);
    return 1;
}

int RotationFilter::SaveConfigure(void* block)
{
    if (!block)
        return 0;
    std::memcpy(block, &params, sizeof params);
    return 1;
}
