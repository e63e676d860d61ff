// How veldra shows an angle, in every message and listing.
#pragma once

#include <string>

// The shortest decimal that reads back as the same float (0.1, not
// 0.100000001; 123456792, not 1.23457e+08).
std::string DegreesText(float angle);
