// A file written a piece at a time, as a movie is while it is encoded,
// with the promise WholeFile.h makes for files written whole: the bytes go
// to a temporary file created exclusively beside the target, every write is
// checked, and only Commit() flushes it to disk and renames it into place.
// Until then the target is as it was; a failure, an object destroyed
// without Commit(), or a signal that ends the program removes the
// temporary file. A replaced file keeps its permissions (and, where
// allowed, its owner); a target that is a symbolic link has the file it
// points to replaced. POSIX only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class FileBeingWritten {
public:
    // Makes the temporary file; throws FileError naming `path` when it
    // cannot, or when `path` is something other than a file.
    explicit FileBeingWritten(const std::string& path);
    ~FileBeingWritten();
    FileBeingWritten(const FileBeingWritten&) = delete;
    FileBeingWritten& operator=(const FileBeingWritten&) = delete;

    // Writes `size` bytes at the current position and moves past them;
    // throws FileError naming the target and the cause (a full disk...).
    void Write(const void* data, std::size_t size);
    // Moves the position, within or past the bytes written.
    void Seek(std::uint64_t position) { position_ = position; }
    std::uint64_t Position() const { return position_; }
    // The bytes the file holds: the end of the furthest write.
    std::uint64_t Size() const { return size_; }

    // Flushes the file to disk and renames it over the target. Throws
    // FileError naming the target when any step fails; the target is then
    // as it was and the temporary file gone.
    void Commit();

private:
    struct Temporary;
    std::string path_;
    std::string target_;
    std::unique_ptr<Temporary> temporary_;
    std::uint64_t position_ = 0;
    std::uint64_t size_ = 0;
};
