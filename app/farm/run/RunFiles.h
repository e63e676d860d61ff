// How a run's files are read, trusted and named (farm/run/FarmFolder.h
// shows the run folder): each is read only as a regular file, never
// through a link, without waiting on a FIFO and up to a size no file of a
// run reaches; a run is acted on only when its files are the user's own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// The most bytes a run's manifest or submission may hold (a million frames
// listed one by one fit), and a frame's or task's record.
constexpr std::size_t kMostRunFileBytes = 64 << 20;
constexpr std::size_t kMostRecordBytes = 64 << 10;

// The contents of the run's file `path`, a regular file (no link) of at
// most `limit` bytes; throws Failure naming it.
std::string ReadRunFile(const std::string& path, std::size_t limit = kMostRunFileBytes);

// Throws Failure naming `path` unless it belongs to the user running
// veldra and no one else may write to it (files/OwnFiles.h).
void CheckOwnPath(const std::string& path);

// The number N of a room's file named "N.txt" (as the run writes them:
// no sign but '-', no leading zeros), or nothing for another name.
std::optional<int> NumberOfName(const std::string& name);
