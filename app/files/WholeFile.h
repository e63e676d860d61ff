// Files read and written whole, safely on both platforms.
//
// Writing: the bytes go to a temporary file created exclusively under an
// unpredictable name in the target's folder (never through a link), every
// write is checked, the file is flushed to disk and only then renamed over
// the target. A failure of any step removes the temporary file, leaves the
// target as it was and throws FileError naming the target and the cause.
// A replaced file keeps its permissions (and, where allowed, its owner); a
// target that is a symbolic link has the file it points to replaced.
//
// Reading: only regular files (after following links) are read, and never
// more than asked, so a FIFO, a device or a folder fails at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Replaces the contents of `path` with `size` bytes at `data`.
void ReplaceFileContents(const std::string& path, const void* data, std::size_t size);

// The size of `path` when it is a regular file (after following links);
// throws FileError saying what it is otherwise (a folder, a FIFO...).
std::uint64_t RegularFileSize(const std::string& path);

// At most `limit` bytes from the start of the regular file `path`.
std::string ReadFileHead(const std::string& path, std::size_t limit);

// True when anything exists at `path`.
bool PathExists(const std::string& path);
