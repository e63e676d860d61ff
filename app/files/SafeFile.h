// Files are never written in place: each is written to a temporary file in
// the same folder and renamed over its final name only when complete, so a
// failure leaves what was on disk untouched and a reader never sees half a
// file.
#pragma once

#include <cstddef>
#include <string>

// A temporary file beside `target`, removed on destruction unless
// committed.
class PendingFile {
public:
    explicit PendingFile(std::string target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Where to write: hidden, in the target's folder, unique per process
    // and call.
    const std::string& TempPath() const { return temp_; }
    // Renames the temporary file over the target; throws Failure naming the
    // target when the rename fails.
    void Commit();

private:
    std::string target_;
    std::string temp_;
    bool committed_ = false;
};

// Writes `size` bytes to `path` safely; throws Failure naming the file.
void WriteFileSafely(const std::string& path, const void* data, std::size_t size);
