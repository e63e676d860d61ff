// The names of run folders: the UTC time the run was made, as
// YYYYMMDD-HHMMSS, then -2, -3... for further runs made in the same second.
// A run's name is the one record of when it was made: the latest run of a
// folder is told by it, and the report page counts the time since
// submission from it.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The name of the `sequence`-th run (from 1) made at `madeAt`.
std::string RunNameAt(std::time_t madeAt, int sequence);

// When the run `name` was made, in seconds since the epoch, and its
// sequence number (1 without a suffix); nothing for another name. Pairs
// order as the runs were made.
std::optional<std::pair<std::time_t, long>> ReadRunName(const std::string& name);

// The name of the latest run among `names` (other names are ignored).
std::optional<std::string> LatestRun(const std::vector<std::string>& names);

// When the run `name` was made, in seconds since the epoch; 0 for another
// name.
double RunMadeAt(const std::string& name);
