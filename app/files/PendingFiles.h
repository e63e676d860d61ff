// The temporary files this process is writing, so that a signal that ends
// the program can remove them. Registration is thread-safe; removal is
// async-signal-safe (it only reads the table and calls unlink).
#pragma once

#include <string>

// Records `path` until the returned slot is released; -1 when the table is
// full (the file is then written without that protection).
int RegisterPendingFile(const std::string& path);
void ReleasePendingFile(int slot);

// Unlinks every registered file; safe inside a signal handler.
void RemovePendingFiles();
