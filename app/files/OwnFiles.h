// Whether a file is the user's own to trust: it belongs to the user running
// veldra and no one else may write to it. A symbolic link must belong to
// the user too, and what it points to is checked (POSIX only).
#pragma once

#include <optional>
#include <string>

struct NotOwn {
    enum class Why { OthersFile, OthersMayWrite } why;
    std::string problem;  // "belongs to uid 1001, not to you (uid 1000)", "others can write to it (mode 0775)"
};

// Why `path` is not the user's own, or nothing when it is; throws
// FileError naming `path` when it cannot be looked at.
std::optional<NotOwn> WhyNotOwn(const std::string& path);
