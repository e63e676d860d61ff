// Reading an open file at a place, every byte asked for or a reason why
// not (POSIX only).
#pragma once

#include <cstddef>
#include <cstdint>

// Reads `length` bytes at `offset` of `fd` into `buffer`, through
// interrupted and short reads. Returns 0, the error number of a read that
// failed, or -1 when the file ends first.
int ReadAt(int fd, void* buffer, std::size_t length, std::uint64_t offset);
