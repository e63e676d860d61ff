// The words for the settings a user chooses (axis, pivot, alpha, depth), as
// every host takes and shows them: the command line, the farm's run files
// and the Python package alike. A word read here fails with the same
// message wherever it came from, naming the option or argument it was
// given for.
#pragma once

#include <cstdint>
#include <string>

#include "image/ChannelFormat.h"
#include "render/AlphaKeep.h"

// x, y, z: the axis code.
std::int32_t AxisValue(const std::string& option, const std::string& word);
// lower, center (or centre), upper: the pivot code.
std::int32_t PivotValue(const std::string& option, const std::string& word);
// filter, keep.
AlphaMode AlphaValue(const std::string& option, const std::string& word);
// uint8, uint16, half, float.
ChannelFormat DepthValue(const std::string& option, const std::string& word);

// The word for each setting, as AlphaValue and DepthValue read it back.
const char* AlphaWord(AlphaMode mode);
const char* DepthWord(ChannelFormat depth);
