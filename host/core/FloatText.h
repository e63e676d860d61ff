// How the custom controls show and read a floating-point value as text.
#pragma once

#include <string>

// A short decimal text that reads back as exactly `value`: plain decimals
// where they are short ("10", "0.1", "-12.5", "100000000"), else scientific
// ("1e-07", "3.40282347e+38").
std::string FormatFloat(float value);

// Reads `text` (surrounding blanks allowed) as a finite number; false, with
// *value untouched, when the text is empty, has anything else in it or does
// not fit a float.
bool ParseFloat(const char* text, float* value);
