// The text of every file in a farm folder: "key=value" lines. A key may
// repeat where a list is stored, unknown keys are ignored, and values never
// hold a line break.
#pragma once

#include <string>
#include <utility>
#include <vector>

using KeyValues = std::vector<std::pair<std::string, std::string>>;

// Text of "key=value" lines, each value checked to be one line; throws
// Failure naming `what` for a value with a line break.
std::string FormatKeyValues(const KeyValues& values, const std::string& what);
// The pairs of such a text; lines without '=' and comments are skipped.
KeyValues ParseKeyValues(const std::string& text);
// The last value of `key`, or `fallback`.
std::string ValueOf(const KeyValues& values, const std::string& key, const std::string& fallback = "");
// The last value of `key` as an int; throws Failure naming `what` when it
// is missing or not a whole number that fits.
int IntegerOf(const KeyValues& values, const std::string& key, const std::string& what);
