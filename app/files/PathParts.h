// A path's folder and name, as veldra's programs split the paths they are
// given: at the last '/', the name taken as it is written (no link
// resolved, no "." or ".." folded).
#pragma once

#include <string>

// The folder `path` names its file in: "." for a bare name, "/" for a
// name at the root. Pictures, runs and temporary files alike are looked
// for there.
std::string FolderOf(const std::string& path);
// The last part of `path`: all of it when it holds no '/'.
std::string NameOf(const std::string& path);
