// `veldra params FILE`: a stored parameter block in words.
#include <cstdio>

#include "commands/Commands.h"
#include "files/ParamFile.h"
#include "filter/ParamWords.h"
#include "filter/RotationParams.h"
#include "messages/Failure.h"

namespace {

std::string AxisName(std::int32_t code)
{
    const char* word = AxisWordOf(code);
    return word ? word : "none (unknown code: frames pass unchanged)";
}

std::string PivotName(std::int32_t code)
{
    const char* word = PivotWordOf(code);
    return word ? word : "unknown code";
}

}  // namespace

int RunParams(const Arguments& arguments)
{
    const RotationParams params = ParamsOf(ReadParamFile(arguments.blockFile));
    if (params.tag != VELDRA_TAG) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "0x%08X", static_cast<unsigned>(params.tag));
        throw Failure(arguments.blockFile, std::string("not a parameter block of this filter (tag ") + tag + ")");
    }

    std::printf("tag:          0x%08X\n", static_cast<unsigned>(params.tag));
    std::printf("axis:         %s (%d)\n", AxisName(params.axis).c_str(), static_cast<int>(params.axis));
    std::printf("pivot:        %s (%d)\n", PivotName(params.pivot).c_str(), static_cast<int>(params.pivot));
    std::printf("start angle:  %.9g degrees\n", static_cast<double>(params.startAngle));
    std::printf("end angle:    %.9g degrees\n", static_cast<double>(params.endAngle));
    return 0;
}
