// Whole numbers as veldra reads them everywhere: option values, frame
// lists, frame numbers in file names, its own records, Slurm's answers and
// the environment.
#pragma once

#include <optional>
#include <string>

// The number `text` writes, when it is an optional sign and decimal digits
// with nothing around them, and lies between `low` and `high`; else
// nothing.
std::optional<long long> ParseInteger(const std::string& text, long long low, long long high);
