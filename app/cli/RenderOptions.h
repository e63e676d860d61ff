// The options of `veldra render` (and the few `demo` shares), as one table
// for the word reader: what each takes, and whether a farm task gets it as
// given. A task is given its frames, the shot's range, the settled block
// and the module's absolute path by the farm itself, and runs quietly with
// as many frames at once as it has CPUs, so those options, --save-params
// and --dry-run are not handed on.
#pragma once

#include <cstdint>
#include <string>

#include "cli/Arguments.h"
#include "cli/WordReader.h"

// Every option of render: the request's, and --save-params, --dry-run,
// --module, --jobs and --quiet.
void ReadRenderOptions(WordReader& reader, Arguments& arguments);

// --module, --jobs and --quiet: how the program runs.
void ReadRunOptions(WordReader& reader, Arguments& arguments);
// --module alone.
void ReadModuleOption(WordReader& reader, Arguments& arguments);
// --alpha.
void ReadAlphaOption(WordReader& reader, RenderRequest& render);
// --codec, --fps, --timecode and --quality: a movie output's.
void ReadMovieOptions(WordReader& reader, MovieRequest& movie);

// INPUT and OUTPUT from the operands `command` read, and the options
// checked together; throws Failure when they do not fit.
void TakeRenderOperands(const std::string& command, const std::vector<std::string>& operands, RenderRequest& render);

// The values render's options take, each read from its word as the option
// reads it and failing with the option's message naming `option`, for
// callers that take the same settings from elsewhere (the Python package);
// the settings' words are render/SettingWords.h's.
int JobsValue(const std::string& option, const std::string& word);           // 1 to 1024
int FrameValue(const std::string& option, const std::string& word);          // any int
MovieCodec CodecValue(const std::string& option, const std::string& word);   // prores4444, ..., h264
FrameRate RateValue(const std::string& option, const std::string& word);     // 24, 24000/1001, 29.97
Timecode TimecodeValue(const std::string& option, const std::string& word);  // HH:MM:SS:FF, HH:MM:SS;FF
int QualityValue(const std::string& option, const std::string& word);        // 0 to 51
