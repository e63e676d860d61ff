// A file written a piece at a time, as a movie is while it is encoded,
// with the promise WholeFile.h makes for files written whole (and the same
// rules for links, permissions and records, by WriteAs): the bytes go to a
// temporary file created exclusively in the target's folder, every write is
// checked, and only Commit() flushes it to disk and puts it in place. Until
// then the target is as it was; a failure, an object destroyed without
// Commit(), or a signal that ends the program removes the temporary file.
// Files written whole are written through it. POSIX only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "files/WholeFile.h"

class FileBeingWritten {
public:
    // Makes the temporary file; throws FileError naming `path` when it
    // cannot, when `path` is something other than a file, leads through a
    // link not to be followed, or (without `replace`) exists already.
    explicit FileBeingWritten(const std::string& path, WriteAs kind = WriteAs::UserFile, bool replace = true);
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

    // Flushes the file to disk and renames it over the target (without
    // `replace`, links it to the target's name only while that is free).
    // Returns the identity of the file written, taken before it was put in
    // place. Throws FileError naming the target when any step fails; the
    // target is then as it was and the temporary file gone.
    FileIdentity Commit();

private:
    struct Temporary;
    std::string path_;
    bool replace_;
    std::unique_ptr<Temporary> temporary_;
    std::uint64_t position_ = 0;
    std::uint64_t size_ = 0;
};
