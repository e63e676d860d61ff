// How the custom controls show and read a floating-point value as text.
#pragma once

#include <string>

// The shortest decimal text that reads back as exactly `value` ("10",
// "0.1", "-12.5", "1e+08").
std::string FormatFloat(float value);

// Reads `text` (surrounding blanks allowed) as a finite number; false, with
// *value untouched, when the text is empty, has anything else in it or does
// not fit a float.
bool ParseFloat(const char* text, float* value);
