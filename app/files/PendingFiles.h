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

// Temporary files are named ".veldra-" and 16 hexadecimal digits ".tmp".
// After SetTemporaryNameTag(TAG) they are named ".veldra-TAG-" and the
// digits, so that when a process is killed outright, with no chance to
// remove its files, the process that started it can find what it left.
// TAG holds letters, digits and '_' only; set it before any file is made.
void SetTemporaryNameTag(const std::string& tag);
// The start of a temporary file's name: ".veldra-" or ".veldra-TAG-".
std::string TemporaryNamePrefix(const std::string& tag = "");
const std::string& TemporaryNameTag();
