#include "messages/Warnings.h"

#include <cstdio>

void Warn(const std::string& text) { std::fprintf(stderr, "veldra: warning: %s\n", text.c_str()); }
