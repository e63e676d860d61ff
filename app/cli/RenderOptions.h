// What `veldra render`'s options and operands take (its option table, with
// farm submit's and every other command's, is cli/CommandOptions.cpp): the
// values read from their words, and INPUT and OUTPUT checked together with
// the options.
#pragma once

#include <cstdint>
#include <string>

#include "cli/Arguments.h"
#include "cli/WordReader.h"

// INPUT and OUTPUT from the operands `command` read, and the options
// checked together; throws Failure when they do not fit.
void TakeRenderOperands(const std::string& command, const std::vector<std::string>& operands, RenderRequest& render);

// The values render's options take, each read from its word as the option
// reads it and failing with the option's message naming `option`, for
// callers that take the same settings from elsewhere (the Python package).
std::int32_t AxisValue(const std::string& option, const std::string& word);    // x, y, z: the axis code
std::int32_t PivotValue(const std::string& option, const std::string& word);   // lower, center (centre), upper
AlphaMode AlphaValue(const std::string& option, const std::string& word);      // filter, keep
ChannelFormat DepthValue(const std::string& option, const std::string& word);  // uint8, uint16, half, float
int JobsValue(const std::string& option, const std::string& word);             // 1 to 1024
int FrameValue(const std::string& option, const std::string& word);            // any int
MovieCodec CodecValue(const std::string& option, const std::string& word);     // prores4444, ..., h264
FrameRate RateValue(const std::string& option, const std::string& word);       // 24, 24000/1001, 29.97
Timecode TimecodeValue(const std::string& option, const std::string& word);    // HH:MM:SS:FF, HH:MM:SS;FF
int QualityValue(const std::string& option, const std::string& word);          // 0 to 51
