// Parameter files: the filter's 20-byte block, byte for byte as the filter
// saves it (layout in filter/RotationParams.h), as `veldra` and the setup
// program read and write it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "files/WholeFile.h"
#include "messages/Failure.h"
#include "filter/RotationParams.h"

constexpr std::size_t kParamBlockSize = 20;
using ParamBlock = std::array<std::uint8_t, kParamBlockSize>;
static_assert(sizeof(RotationParams) == kParamBlockSize, "a parameter file holds one block");

// The fields of a block, and the block of some fields: the one copy
// between the stored bytes and their meaning.
RotationParams ParamsOf(const ParamBlock& block);
ParamBlock BlockOf(const RotationParams& params);

// The block in `path`; throws FileError naming the file when it is not a
// regular file, cannot be read or is not exactly 20 bytes long. Reads at
// most one byte past a block, whatever the file's size.
ParamBlock ReadParamFile(const std::string& path);

// Throws Failure naming `what` (the file or the bytes it came from) unless
// `block` carries the filter's tag.
void CheckParamTag(const std::string& what, const ParamBlock& block);

// Replaces `path` with the block as a whole, as a user's file or a
// program's own record (see WholeFile.h); throws FileError.
void WriteParamFile(const std::string& path, const ParamBlock& block, WriteAs kind = WriteAs::UserFile);
