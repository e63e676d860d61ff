// Files read and written whole, safely on both platforms.
//
// Writing: the bytes go to a temporary file created exclusively under an
// unpredictable name in the target's folder (never through a link), every
// write is checked, the file is flushed to disk and only then renamed over
// the target, within the folder opened once (so that no folder on the way
// can be swapped between the steps). A failure of any step removes the
// temporary file, leaves the target as it was and throws FileError naming
// the target and the cause.
//
// What is written depends on what the file is for (WriteAs):
// - a user's file (a frame, a parameter file, a contact sheet) is made with
//   the user's umask, and a file it replaces keeps its permissions (and,
//   where allowed, its owner). A symbolic link at the path is followed, so
//   that the file it points to is replaced, only when the link belongs to
//   the user running veldra or to the owner of the folder that holds it (as
//   the kernel's protected-symlinks rule trusts links): anyone else's link
//   is refused, naming it and its owner, and nothing is written. Whoever
//   may write to an output folder can then make a user replace only what
//   that folder holds, never a file a planted link points to.
// - a program's own record (a farm run's files) is never followed through a
//   link: whatever stands at the path (a link, a FIFO; not a folder) is
//   itself replaced. A new record is writable by its owner alone, whatever
//   the umask allows.
// (On Windows, where only the dialog viewer writes parameter files, a link
// at the path is itself replaced, for either kind.)
//
// Reading: only regular files (after following links, unless asked not to)
// are read, without waiting on a FIFO, and never more than asked, so a
// FIFO, a device or a folder fails at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

enum class WriteAs { UserFile, PrivateRecord };

// A file as it stands, enough to tell it from any file that replaces it
// later, whatever the file system's time resolution: a replacement renamed
// into place is another file (device and inode) even when its size and
// time are the same.
struct FileIdentity {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t mtimeNs = 0;  // modification time, nanoseconds since the epoch

    bool operator==(const FileIdentity& other) const
    {
        return device == other.device && inode == other.inode && size == other.size && mtimeNs == other.mtimeNs;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// Replaces the contents of `path` with `size` bytes at `data`; returns the
// identity of the file written, taken from it before it was renamed into
// place (so a file renamed over it since is never taken for it).
FileIdentity ReplaceFileContents(const std::string& path, const void* data, std::size_t size,
                                 WriteAs kind = WriteAs::UserFile);

// Writes a program's own record at `path` as ReplaceFileContents does, but
// only when nothing is there: throws FileError ("exists already") when the
// name is taken, even by a writer that got there a moment before.
void WriteNewFile(const std::string& path, const void* data, std::size_t size);

// The identity of the file at `path` (links followed), or nothing when
// there is none.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// True when `a` and `b` are the same file (or folder).
inline bool SameFile(const std::string& a, const std::string& b)
{
    const auto first = IdentityOf(a), second = IdentityOf(b);
    return first && second && first->device == second->device && first->inode == second->inode;
}

// The size of `path` when it is a regular file (after following links);
// throws FileError saying what it is otherwise (a folder, a FIFO...).
std::uint64_t RegularFileSize(const std::string& path);

// Whether a read follows a symbolic link at the path.
enum class Links { Follow, Refuse };

// At most `limit` bytes from the start of the regular file `path`. With
// Links::Refuse a symbolic link at `path` is refused as not a file.
std::string ReadFileHead(const std::string& path, std::size_t limit, Links links = Links::Follow);

// True when anything exists at `path`.
bool PathExists(const std::string& path);
