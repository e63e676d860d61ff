// Where this process's own output goes.
#pragma once

#include <string>

// Makes standard output and error go to the end of the file `path`
// (created when missing) unless standard output is that file already.
// Throws Failure naming the file when it cannot be opened.
void KeepOutputIn(const std::string& path);
