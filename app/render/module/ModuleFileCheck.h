// A module file looked over before the system loader maps it: the loader
// trusts the file's headers, and a file cut short makes the process crash
// (SIGBUS) when it touches a page past the end.
#pragma once

#include <string>

// Throws Failure naming `path` unless it is a shared object for this
// machine whose headers and every segment lie inside the file.
void CheckModuleFile(const std::string& path);
