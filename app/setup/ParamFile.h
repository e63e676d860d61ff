// The parameter file of the setup program: the filter's 20-byte block, byte
// for byte as the filter saves it (layout in filter/RotationParams.h).
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

using ParamBlock = std::array<std::uint8_t, 20>;

// A file that cannot be read or written; what() names the file and the
// problem.
class ParamFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// True when something exists at `path`.
bool ParamFileExists(const std::string& path);

// The block in `path`; throws ParamFileError when the file cannot be read or
// is not exactly 20 bytes long.
ParamBlock ReadParamFile(const std::string& path);

// Replaces `path` with the block as a whole: written to a temporary file
// beside it, then renamed over it, so a failure leaves the old file intact.
// Throws ParamFileError.
void WriteParamFile(const std::string& path, const ParamBlock& block);
