// Temporary files a render process leaves when it is killed outright (out
// of memory, say), with no chance to remove them itself: its task, and
// later a retry, remove them by the tag the process named them with
// (files/TemporaryNames.h).
#pragma once

#include <string>
#include <vector>

// The tag of the temporary files the render processes of task `task` of
// array job `job` write, in the task's `restart`-th start again: each start
// removes only what its own processes left, while another copy may run.
std::string TemporaryTagOf(const std::string& job, const std::string& task, int restart = 0);

// The folder the files of the output pattern `pattern` are written in,
// links resolved; "" when it cannot be found.
std::string FolderOfPattern(const std::string& pattern);

// Removes from `folder` every temporary file named with one of `tags`;
// returns how many it removed.
int RemoveLeftovers(const std::string& folder, const std::vector<std::string>& tags);
int RemoveLeftovers(const std::string& folder, const std::string& tag);
