// `veldra params FILE`: a stored parameter block in words.
#include <cstdio>

#include "commands/Commands.h"
#include "files/ParamFile.h"
#include "filter/ParamWords.h"
#include "filter/RotationParams.h"
#include "messages/DegreesText.h"

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
    const ParamBlock block = ReadParamFile(arguments.blockFile);
    CheckParamTag(arguments.blockFile, block);
    const RotationParams params = ParamsOf(block);

    std::printf("tag:          0x%08X\n", static_cast<unsigned>(params.tag));
    std::printf("axis:         %s (%d)\n", AxisName(params.axis).c_str(), static_cast<int>(params.axis));
    std::printf("pivot:        %s (%d)\n", PivotName(params.pivot).c_str(), static_cast<int>(params.pivot));
    std::printf("start angle:  %s degrees\n", DegreesText(params.startAngle).c_str());
    std::printf("end angle:    %s degrees\n", DegreesText(params.endAngle).c_str());
    return 0;
}
