#include "files/WholeFile.h"

#include <cerrno>
#include <climits>
#include <memory>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "messages/Failure.h"
#include "files/FileBeingWritten.h"
#include "files/PendingFiles.h"
#include "files/ReadAt.h"
#include "files/TestFaults.h"

namespace {

std::string Cause(int error) { return std::strerror(error); }

std::string KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

FileError NotAFile(const std::string& path, mode_t mode)
{
    return FileError(path, "is " + KindOf(mode) + ", not a file");
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a chain of symbolic links at `path` ends in (`path` itself when
// it is not a link), so that replacing it keeps the links.
std::string FinalTarget(const std::string& path)
{
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return target;
        std::string link(PATH_MAX, '\0');
        const ssize_t length = readlink(target.c_str(), &link[0], link.size());
        if (length < 0)
            throw FileError(path, "cannot follow the link: " + Cause(errno));
        link.resize(static_cast<std::size_t>(length));
        target = link[0] == '/' ? link : FolderOf(target) + "/" + link;
    }
    throw FileError(path, "cannot follow the link: " + Cause(ELOOP));
}

// Writes everything at `offset`, or returns the error number of the write
// that failed. A simulated full disk counts from the file's start.
int WriteAll(int fd, const char* data, std::size_t size, std::uint64_t offset)
{
    const std::uint64_t room = SimulatedDiskBytes();
    const std::size_t allowed = offset >= room         ? 0
                                : size < room - offset ? size
                                                       : static_cast<std::size_t>(room - offset);
    std::size_t done = 0;
    while (done < allowed) {
        const ssize_t written = pwrite(fd, data + done, allowed - done, static_cast<off_t>(offset + done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(written);
    }
    return allowed < size ? ENOSPC : 0;
}

// TemporaryNamePrefix() (files/PendingFiles.h) and 16 hexadecimal digits,
// random unless a test asks for predictable names (files/TestFaults.h).
std::string RandomName(const std::string& target)
{
    unsigned char bytes[8] = {};
    const long long predictable = PredictableNameNumber();
    if (predictable >= 0) {
        for (int i = 0; i < 8; ++i)
            bytes[7 - i] = static_cast<unsigned char>(predictable >> (8 * i));
    } else if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        throw FileError(target, "cannot make a temporary name: " + Cause(errno));
    }
    static const char digits[] = "0123456789abcdef";
    std::string name = TemporaryNamePrefix(TemporaryNameTag());
    for (const unsigned char byte : bytes) {
        name += digits[byte >> 4];
        name += digits[byte & 15];
    }
    return name + ".tmp";
}

// A temporary file in `folder`, made exclusively (O_EXCL refuses an
// existing name and a planted link), and registered for removal on a
// signal. Removes itself unless Commit() succeeds.
class TemporaryFile {
public:
    TemporaryFile(const std::string& target, const std::string& folder)
    {
        for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
            path_ = folder + "/" + RandomName(target);
            slot_ = RegisterPendingFile(path_);
            fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd_ < 0) {
                const int error = errno;
                ReleasePendingFile(slot_);
                if (error != EEXIST)
                    throw FileError(target, "cannot write: " + Cause(error));
            }
        }
        if (fd_ < 0)
            throw FileError(target, "cannot write: " + Cause(EEXIST));
    }
    ~TemporaryFile()
    {
        if (fd_ >= 0)
            close(fd_);
        if (!committed_)
            unlink(path_.c_str());
        ReleasePendingFile(slot_);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int Descriptor() const { return fd_; }
    const std::string& Path() const { return path_; }

    // Closes the file; the error number when closing fails, else 0.
    int Close()
    {
        const int result = close(fd_);
        fd_ = -1;
        if (InjectedFailure("close"))
            return EIO;
        return result == 0 ? 0 : errno;
    }
    void Committed() { committed_ = true; }

private:
    std::string path_;
    int fd_ = -1;
    int slot_ = -1;
    bool committed_ = false;
};

// fsync and rename, each returning the error number or 0.
int SyncToDisk(int fd)
{
    if (InjectedFailure("fsync"))
        return EIO;
    return fsync(fd) == 0 ? 0 : errno;
}

int Rename(const std::string& from, const std::string& to)
{
    if (InjectedFailure("rename"))
        return EIO;
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Gives the new file the permissions and owner of the one it replaces.
// Owner first: changing it clears set-id bits that the mode then restores.
// Only the superuser may give a file away, so a refused owner is no error.
void KeepAttributes(int fd, const struct stat& old)
{
    if (old.st_uid != geteuid() || old.st_gid != getegid()) {
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Keep the group at least when the owner cannot be kept.
            (void)!fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        }
    }
    (void)!fchmod(fd, old.st_mode & 07777);
}

}  // namespace

struct FileBeingWritten::Temporary : TemporaryFile {
    using TemporaryFile::TemporaryFile;
};

FileBeingWritten::FileBeingWritten(const std::string& path) : path_(path), target_(FinalTarget(path))
{
    struct stat old {};
    const bool replacing = stat(target_.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode))
        throw NotAFile(path, old.st_mode);
    temporary_ = std::make_unique<Temporary>(path, FolderOf(target_));
    if (replacing)
        KeepAttributes(temporary_->Descriptor(), old);
}

FileBeingWritten::~FileBeingWritten() = default;

void FileBeingWritten::Write(const void* data, std::size_t size)
{
    const int error = WriteAll(temporary_->Descriptor(), static_cast<const char*>(data), size, position_);
    if (error)
        throw FileError(path_, "cannot write: " + Cause(error));
    position_ += size;
    if (position_ > size_)
        size_ = position_;
}

void FileBeingWritten::Commit()
{
    StallWhenAsked(path_);
    int error = SyncToDisk(temporary_->Descriptor());
    const int closeError = temporary_->Close();
    if (!error)
        error = closeError;
    if (!error)
        error = Rename(temporary_->Path(), target_);
    if (error)
        throw FileError(path_, "cannot write: " + Cause(error));
    temporary_->Committed();

    // The rename itself reaches the disk only with the folder's entry.
    // Some file systems cannot sync a folder; the file is in place either way.
    const int folderFd = open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        (void)!fsync(folderFd);
        close(folderFd);
    }
}

void ReplaceFileContents(const std::string& path, const void* data, std::size_t size)
{
    FileBeingWritten file(path);
    file.Write(data, size);
    file.Commit();
}

std::uint64_t RegularFileSize(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        throw FileError(path, "cannot open: " + Cause(errno));
    if (!S_ISREG(info.st_mode))
        throw NotAFile(path, info.st_mode);
    return static_cast<std::uint64_t>(info.st_size);
}

std::string ReadFileHead(const std::string& path, std::size_t limit)
{
    RegularFileSize(path);
    // Non-blocking: should a FIFO take the file's place after the check,
    // opening it does not wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw FileError(path, "cannot open: " + Cause(errno));
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        throw NotAFile(path, info.st_mode);
    }
    std::string bytes(limit, '\0');
    std::size_t done = 0;
    while (done < limit) {
        const ssize_t got = read(fd, &bytes[done], limit - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            close(fd);
            throw FileError(path, "cannot read: " + Cause(error));
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    close(fd);
    bytes.resize(done);
    return bytes;
}

bool PathExists(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

int ReadAt(int fd, void* buffer, std::size_t length, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = pread(fd, static_cast<char*>(buffer) + done, length - done,
                                  static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? errno : -1;
        done += static_cast<std::size_t>(got);
    }
    return 0;
}
