#include "files/ParamFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

ParamBlock ReadParamFile(const std::string& path)
{
    // One byte more than a block tells a longer file from a block.
    const std::string bytes = ReadFileHead(path, kParamBlockSize + 1);
    if (bytes.size() != kParamBlockSize)
        throw FileError(path, "not a parameter file: " +
                                  (bytes.size() > kParamBlockSize ? std::string("longer than")
                                                                  : std::to_string(bytes.size()) + " bytes, not") +
                                  " " + std::to_string(kParamBlockSize) + " bytes");
    ParamBlock block;
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return block;
}

void CheckParamTag(const std::string& what, const ParamBlock& block)
{
    const std::uint32_t tag = ParamsOf(block).tag;
    if (tag == VELDRA_TAG)
        return;
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(tag));
    throw Failure(what, std::string("not a parameter block of this filter (tag ") + text + ")", FailureKind::Data);
}

void WriteParamFile(const std::string& path, const ParamBlock& block, WriteAs kind)
{
    ReplaceFileContents(path, block.data(), block.size(), kind);
}

RotationParams ParamsOf(const ParamBlock& block)
{
    RotationParams params;
    std::memcpy(&params, block.data(), sizeof params);
    return params;
}

ParamBlock BlockOf(const RotationParams& params)
{
    ParamBlock block;
    std::memcpy(block.data(), &params, sizeof params);
    return block;
}
