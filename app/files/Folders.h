// Folders: made, listed and resolved, each failure a FileError naming the
// folder and the cause (POSIX only).
#pragma once

#include <string>
#include <vector>

// `path` with every link and "." or ".." resolved, absolute.
std::string ResolvedPath(const std::string& path);

// Makes the folder `path` when nothing is there; a folder (or anything
// else) already at the path is left as it is.
void EnsureFolder(const std::string& path);
// Makes the folder `path` only when its name is free: false when it is
// taken, even by a maker that got there a moment before.
bool MakeNewFolder(const std::string& path);

// The names in `folder`, sorted, those starting with '.' left out.
std::vector<std::string> NamesInFolder(const std::string& folder);

// True when `path` is a regular file (after following links).
bool IsRegularFile(const std::string& path);
